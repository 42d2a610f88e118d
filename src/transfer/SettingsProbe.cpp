#include "transfer/SettingsProbe.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transfer/SurveyCorpus.h"

namespace kestrion {
namespace {

constexpr std::array<int, 4> kRates{4800, 9600, 19200, 38400};
constexpr std::size_t kFormats = kOfferedCount / kRates.size();
// Rates that instruments use and the lists lack, each with its commonest formats: when one of them explains
// the bytes far better than every offered rate, the instrument may use a rate the lists lack.
constexpr std::array<int, 4> kOtherRates{1200, 2400, 57600, 115200};
constexpr std::size_t kOtherFormats = 2;  // 8 data bits without parity, 7 with even parity
constexpr std::size_t kCandidates = kOfferedCount + kOtherRates.size() * kOtherFormats;
constexpr std::size_t kAllRates = kRates.size() + kOtherRates.size();

// Records sent back to back in one burst while learning; instruments pause between records or not.
constexpr std::size_t kBurstRecords = 3;
// Added to every count, so that a byte the corpus never made under a setting is unlikely there, not
// impossible.
constexpr double kSmoothing = 0.5;
// The bytes of a stream are not independent (a record's digits come in runs, its pattern repeats), so each
// byte is taken as this fraction of the evidence that independent bytes would be.
constexpr double kEvidencePerByte = 0.25;
// "Clearly more likely": a rate a hundred times more likely than every other. Formats differ in fewer bytes
// than rates, and some differ only in the few bytes where a parity or a stop bit falls, so a format needs far
// more (e to the 30th, weighed as above).
const double kClearly = std::log(100.0);
constexpr double kFormatClearly = 30;
// The best setting explains the bytes when they are, per byte, at most this much less likely under it than
// its own output is (in nats): the instrument's text is not the corpus, but it is survey text.
constexpr double kExplainedMargin = 3;
// A start word read at a wrong setting is judged once this many bytes came; when none of the offered settings
// makes anything like it of the word, this many say that the instrument uses another rate.
constexpr std::size_t kMinimumRequestBytes = 3;
constexpr std::size_t kUnexplainedRequestBytes = 16;

// The offered settings, then the others.
const std::array<LineSettings, kCandidates>& Candidates() {
  static const std::array<LineSettings, kCandidates> all = [] {
    std::array<LineSettings, kCandidates> c{};
    std::copy(OfferedSettings().begin(), OfferedSettings().end(), c.begin());
    std::size_t i = kOfferedCount;
    for (const int rate : kOtherRates) {
      c[i++] = LineSettings{rate, 8, Parity::None, true, 2};
      c[i++] = LineSettings{rate, 7, Parity::Even, true, 2};
    }
    return c;
  }();
  return all;
}

// Which of all rates a candidate sends at: the offered ones first.
std::size_t RateOf(std::size_t candidate) {
  return candidate < kOfferedCount ? candidate / kFormats
                                   : kRates.size() + (candidate - kOfferedCount) / kOtherFormats;
}

std::size_t SymbolOf(const ReadByte& byte) {
  if (byte.mark == LineMark::Break) return ArrivalCounts::kBreakSymbol;
  return std::size_t{byte.value} * 2 + (byte.mark == LineMark::None ? 0 : 1);
}

std::string WithoutZeros(std::string bytes) {
  bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
  return bytes;
}

// The fewest edits that turn `word` into some stretch of `text` (Sellers' approximate matching).
std::size_t DistanceWithin(std::string_view word, std::string_view text) {
  std::vector<std::size_t> column(word.size() + 1);
  for (std::size_t i = 0; i <= word.size(); ++i) column[i] = i;
  std::size_t best = column.back();
  for (const char ch : text) {
    std::size_t diagonal = 0;  // a match may start anywhere in the text
    column[0] = 0;
    for (std::size_t i = 1; i <= word.size(); ++i) {
      const std::size_t above = column[i];
      column[i] = std::min({above + 1, column[i - 1] + 1, diagonal + (word[i - 1] == ch ? 0 : 1)});
      diagonal = above;
    }
    best = std::min(best, column.back());
  }
  return best;
}

// The log of the mean of the exponentials: a rate's likelihood, its formats equally likely.
double LogMeanExp(std::span<const double> values) {
  const double top = *std::max_element(values.begin(), values.end());
  double sum = 0;
  for (const double v : values) sum += std::exp(v - top);
  return top + std::log(sum / static_cast<double>(values.size()));
}

}  // namespace

const std::array<LineSettings, kOfferedCount>& OfferedSettings() {
  static const std::array<LineSettings, kOfferedCount> settings = [] {
    std::array<LineSettings, kOfferedCount> all{};
    std::size_t i = 0;
    for (const int rate : kRates) {
      for (const int dataBits : {7, 8}) {
        for (const Parity parity : {Parity::None, Parity::Odd, Parity::Even}) {
          all[i++] = LineSettings{rate, dataBits, parity, true, 2};
        }
      }
    }
    return all;
  }();
  return settings;
}

void ArrivalCounts::Add(std::string_view bytes, std::span<const LineMark> marks) {
  const bool marked = marks.size() == bytes.size() && !bytes.empty();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto value = static_cast<unsigned char>(bytes[i]);
    if (marked) {
      ++m_marked[SymbolOf(ReadByte{value, marks[i]})];
    } else {
      ++m_plain[value];
    }
  }
  m_nBytes += bytes.size();
}

void ArrivalCounts::AddDroppedZeros(std::uint64_t count) {
  m_plain[0] += static_cast<std::uint32_t>(count);
  m_nBytes += count;
}

void ArrivalCounts::SetCountedErrors(std::uint64_t damaged, std::uint64_t breaks) {
  m_nDamaged = damaged;
  m_nBreaks = breaks;
}

struct detail::ProbeTables {
  LineSettings port;
  // Per candidate: the log-likelihood of each symbol, of each value whatever its mark, and of a byte being
  // damaged (or a break) or not.
  std::array<std::array<double, ArrivalCounts::kSymbols>, kCandidates> logMarked{};
  std::array<std::array<double, 256>, kCandidates> logPlain{};
  std::array<double, kCandidates> logDamaged{};
  std::array<double, kCandidates> logUndamaged{};
  // The mean log-likelihood of a byte of the candidate's own output.
  std::array<double, kCandidates> ownMarked{};
  std::array<double, kCandidates> ownPlain{};
  // What the start word becomes, zero bytes dropped.
  std::array<std::vector<std::string>, kCandidates> requests{};
};

namespace {

using detail::ProbeTables;

// What the corpus becomes under one candidate.
void LearnCandidate(ProbeTables& t, std::size_t c, const std::vector<std::string>& bursts,
                    std::vector<ReadByte>& read) {
  std::array<double, ArrivalCounts::kSymbols> counts{};
  // With two stop bits, as the port sends: a sender of one stop bit reads the same while it pauses between
  // bytes, and much the same at most pairs of rates otherwise.
  const LineSettings& sent = Candidates()[c];
  read.clear();
  for (const std::string& burst : bursts) ReadAs(burst, sent, t.port, {}, read);
  for (const ReadByte& byte : read) counts[SymbolOf(byte)] += 1;
  for (const std::string& word : RequestCorpus()) {
    for (const int stopBits : {1, 2}) {
      LineSettings variant = sent;
      variant.stopBits = stopBits;
      std::string request = WithoutZeros(ValuesOf(ReadAs(word, variant, t.port)));
      std::vector<std::string>& known = t.requests[c];
      if (std::find(known.begin(), known.end(), request) == known.end()) known.push_back(std::move(request));
    }
  }
  double total = 0;
  double damaged = 0;
  std::array<double, 256> plain{};
  for (std::size_t k = 0; k < ArrivalCounts::kSymbols; ++k) {
    total += counts[k];
    plain[k == ArrivalCounts::kBreakSymbol ? 0 : k / 2] += counts[k];
    if (k % 2 == 1 || k == ArrivalCounts::kBreakSymbol) damaged += counts[k];
  }
  const auto logOf = [total](double count, std::size_t symbols) {
    return std::log((count + kSmoothing) / (total + kSmoothing * static_cast<double>(symbols)));
  };
  for (std::size_t k = 0; k < counts.size(); ++k) {
    t.logMarked[c][k] = logOf(counts[k], counts.size());
    t.ownMarked[c] += counts[k] / total * t.logMarked[c][k];
  }
  for (std::size_t v = 0; v < plain.size(); ++v) {
    t.logPlain[c][v] = logOf(plain[v], plain.size());
    t.ownPlain[c] += plain[v] / total * t.logPlain[c][v];
  }
  t.logDamaged[c] = logOf(damaged, 2);
  t.logUndamaged[c] = logOf(total - damaged, 2);
}

double PlainBytes(const ArrivalCounts& counts) {
  double n = 0;
  for (const std::uint32_t count : counts.Plain()) n += count;
  return n;
}

// Counted errors belong to the plain bytes: the marked ones carry their own.
double CountedDamage(const ArrivalCounts& counts) {
  return std::min(PlainBytes(counts), static_cast<double>(counts.CountedErrors()));
}

// The log-likelihood of the bytes under every candidate, without the counted errors' term. A poll's counts
// hold a few dozen of the symbols, so only those are looked up.
std::array<double, kCandidates> ByteScores(const ProbeTables& t, const ArrivalCounts& counts) {
  std::array<std::pair<std::uint16_t, std::uint32_t>, ArrivalCounts::kSymbols> marked{};
  std::array<std::pair<std::uint16_t, std::uint32_t>, 256> plain{};
  std::size_t nMarked = 0;
  std::size_t nPlain = 0;
  for (std::size_t k = 0; k < ArrivalCounts::kSymbols; ++k) {
    if (counts.Marked()[k] != 0) marked[nMarked++] = {static_cast<std::uint16_t>(k), counts.Marked()[k]};
  }
  for (std::size_t v = 0; v < 256; ++v) {
    if (counts.Plain()[v] != 0) plain[nPlain++] = {static_cast<std::uint16_t>(v), counts.Plain()[v]};
  }
  std::array<double, kCandidates> scores{};
  for (std::size_t c = 0; c < kCandidates; ++c) {
    double score = 0;
    for (std::size_t i = 0; i < nMarked; ++i) score += marked[i].second * t.logMarked[c][marked[i].first];
    for (std::size_t i = 0; i < nPlain; ++i) score += plain[i].second * t.logPlain[c][plain[i].first];
    scores[c] = score;
  }
  return scores;
}

// A port that counts errors marks them: how many bytes came damaged is evidence too.
std::array<double, kCandidates> WithCountedErrors(const ProbeTables& t, const ArrivalCounts& counts,
                                                  std::array<double, kCandidates> scores) {
  const double damaged = CountedDamage(counts);
  if (damaged > 0) {
    const double plain = PlainBytes(counts);
    for (std::size_t c = 0; c < kCandidates; ++c) {
      scores[c] += damaged * t.logDamaged[c] + (plain - damaged) * t.logUndamaged[c];
    }
  }
  return scores;
}

// Whether the candidate explains the bytes about as well as it explains its own output.
bool Explains(const ProbeTables& t, std::size_t c, const ArrivalCounts& counts, double byteScore) {
  double marked = 0;
  for (const std::uint32_t n : counts.Marked()) marked += n;
  const double expected = marked * t.ownMarked[c] + PlainBytes(counts) * t.ownPlain[c];
  return byteScore >= expected - kExplainedMargin * static_cast<double>(counts.Bytes());
}

}  // namespace

SettingsProbe::SettingsProbe() = default;
SettingsProbe::~SettingsProbe() = default;
SettingsProbe::SettingsProbe(SettingsProbe&&) noexcept = default;
SettingsProbe& SettingsProbe::operator=(SettingsProbe&&) noexcept = default;

namespace {

std::shared_ptr<const ProbeTables> LearnTables(const LineSettings& port) {
  auto tables = std::make_shared<ProbeTables>();
  tables->port = port;
  const std::vector<std::string>& corpus = SurveyCorpus();
  std::vector<std::string> bursts;
  for (std::size_t i = 0; i < corpus.size(); i += kBurstRecords) {
    std::string burst;
    for (std::size_t j = i; j < std::min(corpus.size(), i + kBurstRecords); ++j) burst += corpus[j];
    bursts.push_back(std::move(burst));
  }
  std::vector<ReadByte> read;
  for (std::size_t c = 0; c < kCandidates; ++c) LearnCandidate(*tables, c, bursts, read);
  return tables;
}

// What was learned for each setting of the port, kept for the whole program: a port opened again with the
// same settings, and every other probe, learn nothing twice.
struct LearnedTables {
  std::mutex lock;
  std::vector<std::shared_ptr<const ProbeTables>> tables;  // under lock
};

LearnedTables& Learned() {
  static LearnedTables learned;
  return learned;
}

}  // namespace

void SettingsProbe::Learn(const LineSettings& port) {
  if (m_tables && m_tables->port == port) return;
  LearnedTables& learned = Learned();
  std::lock_guard lock(learned.lock);
  for (const auto& tables : learned.tables) {
    if (tables->port == port) {
      m_tables = tables;
      return;
    }
  }
  m_tables = LearnTables(port);
  learned.tables.push_back(m_tables);
}

void SettingsProbe::Relearn(const LineSettings& port) {
  m_tables = LearnTables(port);
}

std::array<double, kOfferedCount> SettingsProbe::Scores(const ArrivalCounts& counts,
                                                        const LineSettings& port) {
  Learn(port);
  const std::array<double, kCandidates> all =
      WithCountedErrors(*m_tables, counts, ByteScores(*m_tables, counts));
  std::array<double, kOfferedCount> offered{};
  std::copy(all.begin(), all.begin() + kOfferedCount, offered.begin());
  return offered;
}

SettingsSuggestion SettingsProbe::Suggest(const ArrivalCounts& counts, const LineSettings& port) {
  if (counts.Bytes() < kMinimumBytes) return {};
  Learn(port);
  const ProbeTables& t = *m_tables;
  const std::array<double, kCandidates> byteScores = ByteScores(t, counts);
  const std::array<double, kCandidates> scores = WithCountedErrors(t, counts, byteScores);
  const auto best = static_cast<std::size_t>(std::max_element(scores.begin(), scores.end()) - scores.begin());
  const SettingsSuggestion unlisted{SettingsSuggestion::Kind::UnlistedRate, 0, 0, Parity::None};
  if (!Explains(t, best, counts, byteScores[best])) return unlisted;

  // Each rate's likelihood, its formats equally likely, weighed as the evidence of dependent bytes.
  std::array<double, kAllRates> byRate{};
  for (std::size_t r = 0; r < kAllRates; ++r) {
    std::vector<double> formats;
    for (std::size_t c = 0; c < kCandidates; ++c) {
      if (RateOf(c) == r) formats.push_back(scores[c] * kEvidencePerByte);
    }
    byRate[r] = LogMeanExp(formats);
  }
  // A rate the lists lack only when it is clearly more likely than every offered one; where such a rate reads
  // much like an offered one, the offered one is the likelier setting of an instrument.
  const auto offeredEnd = byRate.begin() + static_cast<std::ptrdiff_t>(kRates.size());
  const auto rate = static_cast<std::size_t>(std::max_element(byRate.begin(), offeredEnd) - byRate.begin());
  const double bestOther = *std::max_element(offeredEnd, byRate.end());
  if (bestOther - byRate[rate] >= kClearly) return unlisted;
  for (std::size_t r = 0; r < kRates.size(); ++r) {
    if (r != rate && byRate[rate] - byRate[r] < kClearly) return {};
  }
  if (kRates[rate] == port.baudRate) return {};

  SettingsSuggestion suggestion{SettingsSuggestion::Kind::Rate, kRates[rate], 0, Parity::None};
  if (RateOf(best) != rate) return suggestion;
  for (std::size_t c = rate * kFormats; c < (rate + 1) * kFormats; ++c) {
    if (c != best && (scores[best] - scores[c]) * kEvidencePerByte < kFormatClearly) return suggestion;
  }
  const LineSettings& named = Candidates()[best];
  return {SettingsSuggestion::Kind::RateAndFormat, named.baudRate, named.dataBits, named.parity};
}

SettingsSuggestion SettingsProbe::SuggestFromRequests(std::string_view arrived, const LineSettings& port) {
  if (arrived.size() < kMinimumRequestBytes) return {};
  Learn(port);
  const ProbeTables& t = *m_tables;
  // Per candidate, the fewest edits between what its start word becomes and some stretch of what came; a
  // candidate fits when at most one edit in five was needed.
  constexpr std::size_t kNoFit = ~std::size_t{0};
  std::array<std::size_t, kCandidates> distance{};
  std::size_t nearest = kNoFit;
  for (std::size_t c = 0; c < kCandidates; ++c) {
    distance[c] = kNoFit;
    for (const std::string& request : t.requests[c]) {
      if (request.size() < kMinimumRequestBytes) continue;
      const std::size_t d = DistanceWithin(request, arrived);
      if (d <= request.size() / 5) distance[c] = std::min(distance[c], d);
    }
    nearest = std::min(nearest, distance[c]);
  }
  const SettingsSuggestion unlisted{SettingsSuggestion::Kind::UnlistedRate, 0, 0, Parity::None};
  if (nearest == kNoFit) return arrived.size() >= kUnexplainedRequestBytes ? unlisted : SettingsSuggestion{};
  // One rate alone at the nearest, every other rate two edits further at least.
  std::size_t rate = kAllRates;
  for (std::size_t c = 0; c < kCandidates; ++c) {
    if (distance[c] != nearest) continue;
    if (rate != kAllRates && rate != RateOf(c)) return {};
    rate = RateOf(c);
  }
  for (std::size_t c = 0; c < kCandidates; ++c) {
    if (RateOf(c) != rate && distance[c] != kNoFit && distance[c] < nearest + 2) return {};
  }
  if (rate >= kRates.size()) return unlisted;
  SettingsSuggestion suggestion{SettingsSuggestion::Kind::Rate, kRates[rate], 0, Parity::None};
  std::size_t format = kCandidates;
  for (std::size_t c = rate * kFormats; c < (rate + 1) * kFormats; ++c) {
    if (distance[c] != nearest) continue;
    if (format != kCandidates) return suggestion;  // two formats read the same
    format = c;
  }
  const LineSettings& named = Candidates()[format];
  return {SettingsSuggestion::Kind::RateAndFormat, named.baudRate, named.dataBits, named.parity};
}

}  // namespace kestrion
