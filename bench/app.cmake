# Data box: a refresh of a long downloaded text costs what changed, not the whole text.
if(TARGET kestrion_app)
  add_executable(app_bench ${CMAKE_CURRENT_LIST_DIR}/DataBoxBench.cpp)
  target_link_libraries(app_bench PRIVATE kestrion_app benchmark::benchmark)
  target_include_directories(app_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  kestrion_warnings(app_bench)
endif()
