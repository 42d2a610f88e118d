// A download as a sequence of reads, fed to the remembering Reception, to the whole-text NaiveReception and to a
// character-walking model of the same rules; all three must agree after every step. Between reads the operator
// may edit the data text, after which both receptions are told to start over.
//
// Input: a sequence of operations, each led by a byte. Below 0xF0 it is the length of the next read, whose bytes
// follow (a read ends at its first zero byte, as a read into a zeroed buffer does); from 0xF0 on it is an edit of
// the data text, with its position and bytes after it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "download/Reception.h"
#include "reference/NaiveReception.h"
#include "serial/Framing.h"

namespace {

using fuzzing::Check;
using kestrion::CString;
using kestrion::MarkerInfo;
namespace ref = fuzzing::ref;

constexpr std::uint8_t kFirstEdit = 0xF0;

// The reception rules on the whole text, step by step.
class Model {
 public:
  kestrion::ReceptionStep Step(std::string_view chunk) {
    kestrion::ReceptionStep result;
    const long finishesBefore = ref::Count(m_data, kestrion::kWordFinish);
    // The chunk's marker is one that begins a character of the joined text within the chunk.
    const std::string joined = m_data + std::string(chunk);
    for (const MarkerInfo& row : kestrion::kMarkerTable) {
      if (ref::Find(joined, std::string_view(&row.marker, 1), static_cast<long>(m_data.size())) >= 0) {
        result.marker = &row;
        break;
      }
    }
    if (result.marker != nullptr) {
      const std::string marker(1, result.marker->marker);
      m_data += ref::Replace(ref::Replace(chunk, "\r", "").first, "\n", "").first;
      m_data = ref::Replace(m_data, marker, kestrion::kLineEnd).first;
      m_lastMarker = marker;
    } else {
      m_data += chunk;
    }
    result.finished = ref::Count(m_data, kestrion::kWordFinish) > finishesBefore;
    if (result.finished) {
      m_data = ref::TrimRight(ref::Replace(m_data, kestrion::kWordDownloadFinish, "").first) + kestrion::kLineEnd;
    }
    return result;
  }

  // A "Finish" in the new text counts as seen.
  void Restart(std::string data) { m_data = std::move(data); }

  const std::string& Data() const { return m_data; }
  const std::string& LastMarker() const { return m_lastMarker; }

 private:
  std::string m_data;
  std::string m_lastMarker;
};

// What the operator might do to the data text between two reads.
std::string Edited(std::string text, std::uint8_t kind, fuzzing::FuzzInput& input) {
  const auto at = [&] { return static_cast<std::size_t>(input.Byte()) * (text.size() + 1) / 256; };
  switch (kind % 7U) {
    case 0:  // nothing changed, and the window says so anyway
      break;
    case 1:
      text.resize(at());
      break;
    case 2: {
      const std::size_t from = at();
      text.erase(from, input.Byte() % 32U);
      break;
    }
    case 3: {
      const std::size_t from = at();
      text.insert(from, fuzzing::WithoutZeros(input.Bytes(input.Byte() % 16U)));
      break;
    }
    case 4: {
      const std::size_t from = at();
      const auto byte = static_cast<char>(input.Byte());
      if (from < text.size() && byte != '\0') text[from] = byte;
      break;
    }
    case 5:
      text.clear();
      break;
    default:
      text += fuzzing::WithoutZeros(input.Bytes(input.Byte() % 16U));
      break;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput input(data, size);
  kestrion::Reception fast;
  kestrion::NaiveReception naive;
  Model model;
  CString fastData;
  CString fastMarker;
  CString naiveData;
  CString naiveMarker;

  while (!input.Empty()) {
    const std::uint8_t lead = input.Byte();
    if (lead >= kFirstEdit) {
      const std::string edited = Edited(std::string(model.Data()), lead - kFirstEdit, input);
      fastData = CString(edited);
      naiveData = fastData;
      model.Restart(edited);
      fast.Restart();
      naive.Restart();
      continue;
    }
    const std::string_view read = input.Bytes(lead);
    const CString chunk = CString::FromBuffer(read.data(), read.size());

    const kestrion::ReceptionStep fastStep = fast.Step(fastData, fastMarker, chunk);
    const kestrion::ReceptionStep naiveStep = naive.Step(naiveData, naiveMarker, chunk);
    const kestrion::ReceptionStep modelStep = model.Step(chunk.View());

    Check(fastStep.marker == naiveStep.marker && naiveStep.marker == modelStep.marker);
    Check(fastStep.finished == naiveStep.finished && naiveStep.finished == modelStep.finished);
    Check(fastData == naiveData && naiveData.View() == model.Data());
    Check(fastMarker == naiveMarker && naiveMarker.View() == model.LastMarker());

    // The handled marker is gone from the whole text, wherever a character begins.
    if (fastStep.marker != nullptr) {
      Check(ref::Find(fastData.View(), std::string_view(&fastStep.marker->marker, 1)) < 0);
    }
    if (fastStep.finished) Check(fastData.View().ends_with(kestrion::kLineEnd));
  }
  return 0;
}
