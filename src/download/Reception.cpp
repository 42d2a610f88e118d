#include "download/Reception.h"

#include <algorithm>
#include <array>
#include <cstring>


namespace kestrion {
namespace {

int Length(const char* word) { return static_cast<int>(std::strlen(word)); }

// Start of the text's last character, or 0 for an empty text. Unlike the end itself, this stays a character
// start whatever is appended: a lone lead byte at the end takes the next byte as its second.
int LastCharStart(const CString& data) { return data.IsEmpty() ? 0 : data.CharStartAtOrBefore(data.GetLength() - 1); }

// A position near the end before which no occurrence of a `wordLength`-byte word can begin, now or after any
// append, once the text from an earlier such position to the end has been searched without a find: an occurrence
// beginning before it lies wholly in the searched text.
int PastWholeWords(const CString& data, int wordLength) {
  return data.CharStartAtOrBefore(std::max(0, data.GetLength() - (wordLength - 1)));
}

// Positions of the occurrences of `word` from `from` on, as Replace would take them (left to right, no overlap).
std::vector<int> Occurrences(const CString& data, const CString& word, int from) {
  std::vector<int> found;
  for (int at = data.Find(word, from); at >= 0; at = data.Find(word, at + word.GetLength())) found.push_back(at);
  return found;
}

}  // namespace

int ChunkCharStart(const CString& data) {
  if (data.IsEmpty()) return 0;
  const int last = data.GetLength() - 1;
  const auto lastByte = static_cast<unsigned char>(data.View()[static_cast<std::size_t>(last)]);
  return LastCharStart(data) == last && IsLeadByte(lastByte) ? 1 : 0;
}

// A "Finish" that the text already holds counts as seen: only one that a read brings (one cut over the old end
// included) reports the end of a download.
void Reception::ExamineFromStart(const CString& data) {
  m_arrMarkerFrom.fill(0);
  m_nEndWordFrom = 0;
  m_nFinishFrom = PastWholeWords(data, Length(kWordFinish));
  m_bKnown = true;
}

// Carries the remembered positions over a replacement made at `matches`: a position after a replaced occurrence
// moves with the text, one inside it goes to where it began. Character starts stay character starts, since only
// whole one-byte characters and ASCII words are ever replaced.
void Reception::MoveAcross(const std::vector<int>& matches, int oldSize, int newSize) {
  if (matches.empty()) return;
  const auto moved = [&](int pos) {
    const auto before = std::lower_bound(matches.begin(), matches.end(), pos) - matches.begin();
    if (before > 0) {
      const int last = matches[static_cast<std::size_t>(before - 1)];
      if (pos < last + oldSize) return last + static_cast<int>(before - 1) * (newSize - oldSize);
    }
    return pos + static_cast<int>(before) * (newSize - oldSize);
  };
  for (int& from : m_arrMarkerFrom) from = moved(from);
  m_nEndWordFrom = moved(m_nEndWordFrom);
  m_nFinishFrom = moved(m_nFinishFrom);
}

void Reception::KeepWithin(int limit) {
  for (int& from : m_arrMarkerFrom) from = std::min(from, limit);
  m_nEndWordFrom = std::min(m_nEndWordFrom, limit);
  m_nFinishFrom = std::min(m_nFinishFrom, limit);
}

// Every remembered position is kept at or before the start of the text's last character, so appending never
// leaves one inside a character. The checks then look only at the text from their position on: for a poll in
// the middle of a download, that is the chunk and a few bytes before it.
ReceptionStep Reception::Step(CString& data, CString& lastMarker, const CString& chunk) {
  if (!m_bKnown || data.ContentId() != m_nTextId) ExamineFromStart(data);  // not the text we left: it was changed

  ReceptionStep result;
  result.changedFrom = data.GetLength();
  CString piece = chunk;
  const int ownStart = ChunkCharStart(data);
  result.marker = FindFirstMarker(ownStart == 0 ? piece : piece.Mid(ownStart));
  if (result.marker != nullptr) {
    piece.Remove('\r');
    piece.Remove('\n');
  }
  data += piece;

  if (result.marker != nullptr) {
    const auto index = static_cast<std::size_t>(result.marker - kMarkerTable.data());
    const CString marker(std::string_view(&result.marker->marker, 1));
    const CString lineEnd(kLineEnd);
    const std::vector<int> matches = Occurrences(data, marker, m_arrMarkerFrom[index]);
    if (!matches.empty()) result.changedFrom = std::min(result.changedFrom, matches.front());
    data.Replace(marker, lineEnd, m_arrMarkerFrom[index]);
    MoveAcross(matches, marker.GetLength(), lineEnd.GetLength());
    lastMarker = marker;
  }

  const int safeEnd = LastCharStart(data);
  for (std::size_t k = 0; k < kMarkerTable.size(); ++k) {
    // An occurrence left by an earlier poll (its kind not handled then) is found at once and kept.
    const int at = data.Find(kMarkerTable[k].marker, m_arrMarkerFrom[k]);
    m_arrMarkerFrom[k] = at >= 0 ? at : safeEnd;
  }
  const CString endWord(kWordDownloadFinish);
  const int endWordAt = data.Find(endWord, m_nEndWordFrom);
  m_nEndWordFrom = endWordAt >= 0 ? endWordAt : PastWholeWords(data, endWord.GetLength());

  result.finished = data.Find(kWordFinish, m_nFinishFrom) >= 0;
  if (result.finished) {
    const std::vector<int> matches = Occurrences(data, endWord, m_nEndWordFrom);
    if (!matches.empty()) result.changedFrom = std::min(result.changedFrom, matches.front());
    data.Replace(endWord, CString(), m_nEndWordFrom);
    MoveAcross(matches, endWord.GetLength(), 0);
    // Removing a word joins the text on both sides of it, which may spell the word again across the seam.
    if (!matches.empty()) {
      m_nEndWordFrom = data.CharStartAtOrBefore(std::max(0, matches.front() - (endWord.GetLength() - 1)));
    }
    data.TrimRight();
    result.changedFrom = std::min(result.changedFrom, data.GetLength());
    KeepWithin(LastCharStart(data));
    data += kLineEnd;
  }
  m_nFinishFrom = PastWholeWords(data, Length(kWordFinish));

  m_nTextId = data.ContentId();
  return result;
}

}  // namespace kestrion
