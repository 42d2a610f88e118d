# Download reception: cost of one poll, incremental against the whole-text reference.
add_executable(download_bench ${CMAKE_CURRENT_LIST_DIR}/ReceptionBench.cpp)
target_link_libraries(download_bench PRIVATE kestrion_core kestrion_reference benchmark::benchmark_main)
kestrion_warnings(download_bench)
