// The first record marker of arbitrary bytes, against a search of the marker table in its order that looks only
// at character starts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "serial/Framing.h"

namespace {

using fuzzing::Check;
namespace ref = fuzzing::ref;

const kestrion::MarkerInfo* ExpectedMarker(std::string_view text) {
  for (const kestrion::MarkerInfo& row : kestrion::kMarkerTable) {
    if (ref::Find(text, std::string_view(&row.marker, 1)) >= 0) return &row;
  }
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const kestrion::CString text(fuzzing::WithoutZeros(
      std::string_view(reinterpret_cast<const char*>(data), size)));
  const kestrion::MarkerInfo* found = kestrion::FindFirstMarker(text);
  Check(found == ExpectedMarker(text.View()));
  if (found != nullptr) Check(kestrion::MarkerByChar(found->marker) == found);
  return 0;
}
