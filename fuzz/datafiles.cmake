# Loading upload sources from arbitrary bytes under every extension.
kestrion_add_fuzzer(fuzz_load LoadFuzz.cpp)
