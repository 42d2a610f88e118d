# The display codec: Qt's GBK converter with stand-ins for what it cannot show. It is the window's, so it is
# built here from its own source with Qt Core only, when Qt is installed.
find_package(Qt6 QUIET COMPONENTS Core)
if(Qt6Core_FOUND)
  kestrion_add_fuzzer(fuzz_codec CodecFuzz.cpp ${PROJECT_SOURCE_DIR}/src/app/DisplayCodec.cpp)
  target_link_libraries(fuzz_codec PRIVATE Qt6::Core)
endif()
