# Peak memory of a 10 MB download: reception, the data box and the window (each in a child process).
if(TARGET kestrion_qt)
  add_executable(faults_bench ${CMAKE_CURRENT_LIST_DIR}/FaultsMemoryBench.cpp)
  target_link_libraries(faults_bench PRIVATE kestrion_qt benchmark::benchmark_main)
  kestrion_warnings(faults_bench)
endif()
