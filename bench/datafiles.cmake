# Loading upload sources against a bare line-by-line read of the same files.
add_executable(datafiles_bench ${CMAKE_CURRENT_LIST_DIR}/LoadBench.cpp)
target_link_libraries(datafiles_bench PRIVATE kestrion_core benchmark::benchmark_main)
kestrion_warnings(datafiles_bench)
