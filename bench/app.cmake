# The window: a refresh of a long downloaded text costs what changed, not the whole text; the whole download
# poll through the Qt host.
if(TARGET kestrion_qt)
  add_executable(app_bench ${CMAKE_CURRENT_LIST_DIR}/DataBoxBench.cpp)
  target_link_libraries(app_bench PRIVATE kestrion_qt benchmark::benchmark)
  target_include_directories(app_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  kestrion_warnings(app_bench)
endif()
