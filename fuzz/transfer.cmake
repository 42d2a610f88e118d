# The line's judgement and the probe of the settings over arbitrary reads, marks and upload status texts.
kestrion_add_fuzzer(fuzz_line TransferFuzz.cpp)
