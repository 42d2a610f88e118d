// Random downloads: the incremental reception must leave byte for byte the text, the last marker and the end
// reports that the whole-text reference leaves.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "download/Reception.h"
#include "reference/NaiveReception.h"

namespace kestrion {
namespace {

constexpr int kDownloads = 1500;

// Pieces that a read may bring, heavy on what trips the bookkeeping: every marker, lone CRs and LFs, the end
// words whole and cut, lead bytes before '@' and '^', and long runs of two-byte characters.
std::string RandomPiece(std::mt19937& rng) {
  static const std::vector<std::string> kPieces = {
      "&", "$", "@", "^", "(", ")", "#", "!", "\r", "\n", "\r\n", "Finish", "Download Finish", "Download ",
      "Fin", "ish", "h", "F", "\x81", "\xB5", "\xFE", "\x81@", "\x81^", "\xB5\xC0", " ", "\t", ",", "A1,2",
      "x", "Download Download FinishFinish"};
  return kPieces[std::uniform_int_distribution<std::size_t>(0, kPieces.size() - 1)(rng)];
}

// A read cuts the instrument's stream anywhere, inside a word or a two-byte character too.
std::string RandomChunk(std::mt19937& rng) {
  std::string stream;
  const int pieces = std::uniform_int_distribution<int>(0, 12)(rng);
  for (int i = 0; i < pieces; ++i) stream += RandomPiece(rng);
  const auto cut = std::uniform_int_distribution<std::size_t>(0, stream.size())(rng);
  return std::uniform_int_distribution<int>(0, 1)(rng) == 0 ? stream.substr(0, cut) : stream.substr(cut);
}

// What an operator may do to the data text between polls.
void RandomEdit(std::mt19937& rng, CString& data) {
  switch (std::uniform_int_distribution<int>(0, 3)(rng)) {
    case 0: data.Empty(); break;
    case 1: data += CString(RandomPiece(rng)); break;
    case 2: data = CString(RandomPiece(rng)) + data; break;
    default: data = data.Left(data.GetLength() / 2); break;
  }
}

int CountFinish(const CString& text) {
  int count = 0;
  for (int at = text.Find(kWordFinish); at >= 0; at = text.Find(kWordFinish, at + 1)) ++count;
  return count;
}

TEST(ReceptionProperties, IncrementalMatchesWholeTextReference) {
  std::mt19937 rng(4711);
  for (int download = 0; download < kDownloads; ++download) {
    Reception fast;
    NaiveReception naive;
    CString fastData;
    CString naiveData;
    if (download % 3 == 0) {
      fastData = CString(RandomChunk(rng));  // a text already in the box: a loaded file, an earlier download
      naiveData = fastData;
    }
    CString fastMarker;
    CString naiveMarker;
    std::vector<std::string> chunks;
    const int polls = std::uniform_int_distribution<int>(1, 60)(rng);
    for (int poll = 0; poll < polls; ++poll) {
      if (std::uniform_int_distribution<int>(0, 19)(rng) == 0) {
        RandomEdit(rng, naiveData);
        fastData = naiveData;
        fast.Restart();
        naive.Restart();
        chunks.push_back("<edit>");
      }
      const std::string chunk = RandomChunk(rng);
      chunks.push_back(chunk);
      const ReceptionStep a = fast.Step(fastData, fastMarker, CString(chunk));
      const ReceptionStep b = naive.Step(naiveData, naiveMarker, CString(chunk));
      ASSERT_EQ(fastData.Bytes(), naiveData.Bytes()) << testing::PrintToString(chunks);
      ASSERT_EQ(fastMarker.Bytes(), naiveMarker.Bytes()) << testing::PrintToString(chunks);
      ASSERT_EQ(a.marker, b.marker) << testing::PrintToString(chunks);
      ASSERT_EQ(a.finished, b.finished) << testing::PrintToString(chunks);
    }
  }
}

// The departure from reporting at every poll while the text holds "Finish": a report comes exactly when a poll
// brings a "Finish" the text did not hold before.
TEST(ReceptionProperties, EndReportedOncePerNewFinish) {
  std::mt19937 rng(99);
  for (int download = 0; download < kDownloads; ++download) {
    Reception reception;
    CString data;
    CString lastMarker;
    const int polls = std::uniform_int_distribution<int>(1, 40)(rng);
    for (int poll = 0; poll < polls; ++poll) {
      const int before = CountFinish(data);
      const std::string chunk = RandomChunk(rng);
      CString appended = data;
      const MarkerInfo* marker = FindFirstMarker(CString(chunk).Mid(ChunkCharStart(data)));
      CString piece(chunk);
      if (marker != nullptr) {
        piece.Remove('\r');
        piece.Remove('\n');
      }
      appended += piece;
      if (marker != nullptr) appended.Replace(marker->marker, kLineEnd);
      const ReceptionStep step = reception.Step(data, lastMarker, CString(chunk));
      ASSERT_EQ(step.finished, CountFinish(appended) > before) << testing::PrintToString(chunk);
      if (!step.finished) {
        ASSERT_EQ(data.Bytes(), appended.Bytes());
      }
    }
  }
}

}  // namespace
}  // namespace kestrion
