# The string operations and the line splitter against character-walking references.
kestrion_add_fuzzer(fuzz_text TextFuzz.cpp)
