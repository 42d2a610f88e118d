// The output file laid out from arbitrary data text, under the marker that the first byte picks, against a plain
// layout made from the character-walking references; the closing-text cut and the base name on the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "datafiles/LineForms.h"
#include "download/Output.h"
#include "serial/Framing.h"

namespace {

using fuzzing::Check;
using kestrion::CString;
using kestrion::MarkerInfo;
namespace ref = fuzzing::ref;

const std::string kEnd = kestrion::kFileLineEnd;

std::string Header(std::string_view name, std::string_view value) {
  return std::string(kestrion::kHeaderPrefix) + std::string(name) + kestrion::kHeaderSeparator + std::string(value) +
         kEnd;
}

// The line as the branch writes it: trailing CRs, then trailing LFs, then its marker's trailing run.
std::string Trimmed(std::string_view line, const MarkerInfo* row) {
  std::string trimmed = ref::TrimRight(ref::TrimRight(line, '\r'), '\n');
  return row == nullptr ? trimmed : ref::TrimRight(trimmed, row->marker);
}

std::string Plain(const std::vector<std::string>& lines, const MarkerInfo* row) {
  std::string out;
  for (const std::string& line : lines) out += Trimmed(line, row) + kEnd;
  return out;
}

std::string SingleRoad(const std::vector<std::string>& lines, const MarkerInfo* row) {
  std::string out = std::string(kestrion::kOpeningLine) + kEnd;
  out += Header(kestrion::kDefaultRoadName, std::to_string(lines.size()));
  out += Plain(lines, row);
  return out + kestrion::kEndWord + kEnd;
}

// Runs of records with one TLN name, in order; a line without a comma is no record.
std::string Tln(const std::vector<std::string>& lines, const MarkerInfo* row) {
  std::vector<std::string> names;
  std::vector<std::string> blocks;
  std::vector<std::size_t> counts;
  for (const std::string& line : lines) {
    const std::string record = Trimmed(line, row);
    const long comma = ref::Find(record, std::string_view(&kestrion::kHeaderSeparator, 1));
    if (comma < 0) continue;
    const std::string name = record.substr(0, static_cast<std::size_t>(comma));
    if (names.empty() || names.back() != name) {
      names.push_back(name);
      blocks.emplace_back();
      counts.push_back(0);
    }
    blocks.back() += record.substr(static_cast<std::size_t>(comma) + 1) + kEnd;
    ++counts.back();
  }
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) out += Header(names[i], std::to_string(counts[i])) + blocks[i];
  return out;
}

// Groups by field 1 with the value of field 2; a line of fewer than nine fields is no record. Equal names are
// merged the plain way: each later group, from the last back, is appended to the first one and dropped.
std::string Obs(const std::vector<std::string>& lines, const MarkerInfo* row) {
  std::vector<std::string> names;
  std::vector<std::string> values;
  std::vector<std::string> blocks;
  for (const std::string& line : lines) {
    const std::vector<std::string> fields = ref::Split(Trimmed(line, row), kestrion::kFieldSeparator);
    if (fields.size() < 9) continue;
    if (names.empty() || names.back() != fields[1]) {
      names.push_back(fields[1]);
      values.push_back(fields[2]);
      blocks.emplace_back();
    }
    std::string record = fields[0];
    for (const std::size_t field : {4U, 5U, 6U, 7U, 8U}) record += kestrion::kFieldSeparator + fields[field];
    blocks.back() += record + kEnd;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    for (std::size_t j = names.size() - 1; j > i; --j) {
      if (names[j] != names[i]) continue;
      blocks[i] += blocks[j];
      names.erase(names.begin() + static_cast<std::ptrdiff_t>(j));
      values.erase(values.begin() + static_cast<std::ptrdiff_t>(j));
      blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(j));
    }
  }
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) out += Header(names[i], values[i]) + blocks[i];
  // Every group is headed once.
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  Check(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end());
  return out;
}

void CheckOutput(const CString& data, const CString& lastMarker) {
  const MarkerInfo* row = lastMarker.GetLength() == 1 ? kestrion::MarkerByChar(lastMarker[0]) : nullptr;
  const kestrion::OutputPlan plan = kestrion::BuildOutput(data, lastMarker);
  const std::string_view bytes = plan.bytes.View();
  Check(bytes.empty() || bytes.ends_with(kEnd));
  Check(plan.extension == (row != nullptr ? row->outputExtension : kestrion::kUnmarkedExtension));

  const std::vector<std::string> lines = ref::Split(data.View(), '\n');
  const kestrion::RecordType type = row != nullptr ? row->type : kestrion::RecordType::Txt;
  switch (type) {
    case kestrion::RecordType::Hln:
    case kestrion::RecordType::Vln:
      Check(plan.layout == kestrion::OutputLayout::SingleRoad);
      Check(bytes == SingleRoad(lines, row));
      break;
    case kestrion::RecordType::Tln:
      Check(plan.layout == kestrion::OutputLayout::Tln);
      Check(bytes == Tln(lines, row));
      break;
    case kestrion::RecordType::Obs:
      Check(plan.layout == kestrion::OutputLayout::Obs);
      Check(bytes == Obs(lines, row));
      break;
    case kestrion::RecordType::Cpt:
    case kestrion::RecordType::Txt:
      Check(plan.layout == kestrion::OutputLayout::Plain);
      Check(bytes == Plain(lines, row));
      break;
  }
}

// The cut takes only a tail of closing characters, leaves no closing blank or line end at the end, and a second
// cut takes nothing more.
void CheckCut(const CString& data) {
  const CString cut = kestrion::CutClosingText(data);
  const std::string_view whole = data.View();
  Check(whole.starts_with(cut.View()));
  const std::string_view closing(kestrion::kWordDownloadFinish);
  for (const char byte : whole.substr(cut.View().size())) {
    Check(closing.find(byte) != std::string_view::npos || byte == '\r' || byte == '\n');
  }
  const std::vector<std::string_view> chars = ref::Characters(cut.View());
  Check(chars.empty() || chars.back().size() != 1 || std::string_view(" \r\n").find(chars.back()[0]) == std::string_view::npos);
  Check(kestrion::CutClosingText(cut) == cut);
}

// The base name is the chosen path less at most two extensions of its file name.
void CheckBaseName(const std::string& bytes) {
  const std::filesystem::path chosen(bytes);
  const std::filesystem::path base = kestrion::OutputBaseName(chosen);
  Check(chosen.native().starts_with(base.native()));
  const std::string_view removed = std::string_view(chosen.native()).substr(base.native().size());
  Check(removed.find('/') == std::string_view::npos);
  Check(removed.empty() || removed.front() == '.');
  const std::string name = chosen.filename().native();
  const auto dots = std::count(name.begin(), name.end(), '.');
  Check(std::count(removed.begin(), removed.end(), '.') == std::min<std::ptrdiff_t>(dots, 2));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput input(data, size);
  // Every marker of the table, none, and a text that is no marker.
  const std::uint8_t pick = input.Byte() % (kestrion::kMarkerTable.size() + 2);
  CString lastMarker;
  if (pick < kestrion::kMarkerTable.size()) {
    lastMarker = CString(std::string_view(&kestrion::kMarkerTable[pick].marker, 1));
  } else if (pick == kestrion::kMarkerTable.size() + 1) {
    lastMarker = CString(std::string(2, kestrion::kMarkerTable[0].marker));
  }
  const std::string bytes = fuzzing::WithoutZeros(input.Rest());
  const CString text(bytes);

  CheckOutput(text, lastMarker);
  CheckOutput(kestrion::CutClosingText(text), lastMarker);
  CheckCut(text);
  CheckBaseName(bytes);
  return 0;
}
