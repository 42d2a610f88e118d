# Marker recognition in received bytes.
kestrion_add_fuzzer(fuzz_markers MarkersFuzz.cpp)
