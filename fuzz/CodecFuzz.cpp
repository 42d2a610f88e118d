// The display codec on arbitrary bytes: what a data box shows must give back the very same bytes, and showing
// those bytes again must give the same text, with either kind of line break.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "dialog/DisplayCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const kestrion::DisplayCodec& codec = kestrion::DisplayCodec::Of(kestrion::SystemConverter());
  for (const kestrion::LineBreak lineBreak : {kestrion::LineBreak::Lf, kestrion::LineBreak::CrLf}) {
    const std::u16string shown = codec.Decode(bytes, lineBreak);
    const std::string back = codec.Encode(shown);
    fuzzing::Check(back == bytes);
    fuzzing::Check(codec.Decode(back, lineBreak) == shown);
    fuzzing::Check(codec.ShownLength(bytes, lineBreak) == shown.size());
  }
  return 0;
}
