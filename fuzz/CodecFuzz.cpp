// The display codec on arbitrary bytes: what a data box shows must give back the very same bytes, and showing
// those bytes again must give the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "app/DisplayCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const kestrion::DisplayCodec& codec = kestrion::DisplayCodec::Instance();
  const QString shown = codec.Decode(bytes);
  const std::string back = codec.Encode(shown);
  fuzzing::Check(back == bytes);
  fuzzing::Check(codec.Decode(back) == shown);
  return 0;
}
