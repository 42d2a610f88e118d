# Data box: a refresh of a long downloaded text costs what changed, not the whole text.
if(TARGET kestrion_app)
  add_executable(app_bench ${CMAKE_CURRENT_LIST_DIR}/DataBoxBench.cpp)
  target_link_libraries(app_bench PRIVATE kestrion_app benchmark::benchmark)
  kestrion_warnings(app_bench)
endif()
