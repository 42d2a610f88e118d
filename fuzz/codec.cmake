# The display codec over the system's converter, with stand-ins for what it cannot show.
kestrion_add_fuzzer(fuzz_codec CodecFuzz.cpp)
target_link_libraries(fuzz_codec PRIVATE kestrion_dialog)
