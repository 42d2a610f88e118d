# The line's judgement and the probe of the settings: a poll's cost on the window's thread, and the learning.
add_executable(transfer_bench ${CMAKE_CURRENT_LIST_DIR}/TransferBench.cpp)
target_link_libraries(transfer_bench PRIVATE kestrion_core benchmark::benchmark_main)
# The survey text that the probe never learned from is shared with the tests.
target_include_directories(transfer_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
kestrion_warnings(transfer_bench)
