// Arbitrary bytes loaded as an upload source under an extension chosen by the first byte, and read line by
// line with a buffer size chosen by the second byte, against a plain in-memory reading of the same bytes.
#include <stdlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/TextLineReader.h"
#include "serial/Framing.h"
#include "upload/UploadSource.h"

namespace {

using kestrion::CString;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

const std::filesystem::path& Dir() {
  static const std::filesystem::path dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrion-fuzz-XXXXXX").string();
    Check(::mkdtemp(pattern.data()) != nullptr);
    return std::filesystem::path(pattern);
  }();
  return dir;
}

// What a text-mode line read gives: the bytes up to the first 0x1A, cut at each LF, zero bytes dropped and
// one CR before the LF taken as part of the line end.
std::vector<std::string> ExpectedLines(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\x1A'));
  std::vector<std::string> lines;
  while (!bytes.empty()) {
    const std::size_t newline = bytes.find('\n');
    std::string line;
    for (const char byte : bytes.substr(0, newline)) {
      if (byte != '\0') line += byte;
    }
    if (newline != std::string_view::npos && !line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    bytes.remove_prefix(newline == std::string_view::npos ? bytes.size() : newline + 1);
  }
  return lines;
}

void CheckReader(const std::filesystem::path& file, std::size_t chunk, std::string_view bytes) {
  kestrion::TextLineReader reader(chunk);
  Check(reader.Open(file));
  std::vector<std::string> lines;
  CString line;
  kestrion::ReadStatus status;
  while ((status = reader.ReadLine(line)) == kestrion::ReadStatus::Line) lines.push_back(line.Bytes());
  Check(status == kestrion::ReadStatus::End);
  Check(lines == ExpectedLines(bytes));
}

// Every line of a road buffer is marker + record + marker + CR LF.
void CheckFramed(const CString& buffer, char marker) {
  std::string_view text = buffer.View();
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    Check(newline != std::string_view::npos && newline >= 3);
    Check(text[0] == marker && text[newline - 2] == marker && text[newline - 1] == '\r');
    text.remove_prefix(newline + 1);
  }
}

constexpr std::array<const char*, 8> kNames{"f.HLN", "f.hln", "f.VLN", "f.TLN",
                                            "f.cpt", "f.txt", "f.OBS", "f"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::filesystem::path file = Dir() / kNames[data[0] % kNames.size()];
  const std::size_t chunk = 1 + data[1] % 16;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  CheckReader(file, chunk, bytes);

  kestrion::UploadSource source;
  const kestrion::LoadResult result = kestrion::LoadUploadSource(file, source);
  Check(result.opened && !result.readError);
  Check(static_cast<std::size_t>(source.roadNames.GetSize()) == source.roadData.size());
  Check(source.data.View().find('\0') == std::string_view::npos);
  const kestrion::MarkerInfo* row =
      kestrion::MarkerForUploadExtension(kestrion::UploadExtension(file).View());
  const bool roadFile =
      row != nullptr && (row->type == kestrion::RecordType::Hln || row->type == kestrion::RecordType::Vln);
  if (roadFile) {
    for (const CString& buffer : source.roadData) CheckFramed(buffer, row->marker);
  } else {
    Check(source.roadData.empty());
  }
  if (row == nullptr || roadFile) Check(source.data.View().ends_with("\r\n"));
  return 0;
}
