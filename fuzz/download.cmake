# Reception of a download read by read, and the output file laid out from arbitrary data text.
kestrion_add_fuzzer(fuzz_reception ReceptionFuzz.cpp)
target_link_libraries(fuzz_reception PRIVATE kestrion_reference)
kestrion_add_fuzzer(fuzz_output OutputFuzz.cpp)
