# Upload worker: how soon a line follows the instrument's request, against a worker that sleeps a whole period.
add_executable(upload_bench ${CMAKE_CURRENT_LIST_DIR}/UploadBench.cpp)
target_link_libraries(upload_bench PRIVATE kestrion_core benchmark::benchmark_main)
# The pseudo-terminal that plays the instrument is shared with the tests.
target_include_directories(upload_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
kestrion_warnings(upload_bench)
