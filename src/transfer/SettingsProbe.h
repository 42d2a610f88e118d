// The probe of the line settings: once the judgement says the settings look wrong, which of the settings that
// the lists offer explains what arrived? A receiver at the wrong rate does not read random bytes: each pair
// of a sent and a read setting turns survey text into a byte pattern of its own. The probe learns these
// patterns by running a built-in corpus of typical records through the line model, once per setting of the
// port, and ranks the 24 offered settings by the likelihood of the bytes that arrived, byte by byte. Settings
// at rates that instruments use and the lists lack (1200, 2400, 57600, 115200) are ranked beside them.
//
// It names a rate only when that rate is clearly more likely than every other offered rate (a hundred times),
// and a format (data bits and parity) only when it is far more likely than the other formats at that rate.
// When a rate the lists lack is clearly the likeliest, or no setting explains the bytes at all, the
// instrument may use a rate the lists lack.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "serial/SerialPort.h"
#include "transfer/LineModel.h"

namespace kestrion {

// The settings the lists offer: 4800, 9600, 19200 and 38400 baud, 7 or 8 data bits, no, odd or even parity;
// two stop bits, as the port uses.
inline constexpr std::size_t kOfferedCount = 24;
const std::array<LineSettings, kOfferedCount>& OfferedSettings();

struct SettingsSuggestion {
  enum class Kind {
    None,           // nothing to name
    Rate,           // the instrument seems to send at `baudRate`
    RateAndFormat,  // ... with `dataBits` and `parity`
    UnlistedRate,   // no offered setting explains the bytes: a rate the lists lack
  };
  Kind kind = Kind::None;
  int baudRate = 0;
  int dataBits = 0;
  Parity parity = Parity::None;
  friend bool operator==(const SettingsSuggestion&, const SettingsSuggestion&) = default;
};

// What arrived, counted per byte value: the probe looks at each byte alone, so where it stood does not
// matter.
class ArrivalCounts {
 public:
  // One symbol per byte value and mark (damaged or not), and one for a break.
  static constexpr std::size_t kSymbols = 513;
  static constexpr std::size_t kBreakSymbol = 512;

  // `marks` is empty, or holds one mark per byte (the marks in place, a break as a zero byte with its mark).
  void Add(std::string_view bytes, std::span<const LineMark> marks = {});
  // Zero bytes that a read took out of its bytes.
  void AddDroppedZeros(std::uint64_t count);
  // Where the marks are not in place: the parity and framing errors and the breaks counted since the start.
  void SetCountedErrors(std::uint64_t damaged, std::uint64_t breaks);
  std::uint64_t Bytes() const { return m_nBytes; }
  const std::array<std::uint32_t, kSymbols>& Marked() const { return m_marked; }
  const std::array<std::uint32_t, 256>& Plain() const { return m_plain; }
  std::uint64_t CountedErrors() const { return m_nDamaged + m_nBreaks; }
  void Reset() { *this = ArrivalCounts{}; }

 private:
  std::array<std::uint32_t, kSymbols> m_marked{};  // bytes that came with their marks in place
  std::array<std::uint32_t, 256> m_plain{};        // bytes that came without
  std::uint64_t m_nBytes = 0;
  std::uint64_t m_nDamaged = 0;
  std::uint64_t m_nBreaks = 0;
};

namespace detail {
struct ProbeTables;
}

class SettingsProbe {
 public:
  // Fewer bytes than this bring no suggestion.
  static constexpr std::uint64_t kMinimumBytes = 100;

  SettingsProbe();
  ~SettingsProbe();
  SettingsProbe(SettingsProbe&&) noexcept;
  SettingsProbe& operator=(SettingsProbe&&) noexcept;

  // What the counts say about the instrument's settings, read at `port`. The port's own rate is never named:
  // when it ranks first, the format is the judgement's 7-bit hint to give.
  SettingsSuggestion Suggest(const ArrivalCounts& counts, const LineSettings& port);
  // During an upload's wait the instrument's text is known: `arrived` (zero bytes dropped) is compared with
  // what its start word becomes under each setting. Here the port's own rate may come back, with the format
  // that the caller tells as its 7-bit hint.
  SettingsSuggestion SuggestFromRequests(std::string_view arrived, const LineSettings& port);
  // The log-likelihood of the counts under each offered setting, in the order of OfferedSettings().
  std::array<double, kOfferedCount> Scores(const ArrivalCounts& counts, const LineSettings& port);
  // Learns what the offered settings make of the corpus at `port`, unless this program learned it already
  // (the first call for a setting of the port does it; it takes some milliseconds).
  void Learn(const LineSettings& port);
  // Learns it again all the same (what the benchmark measures).
  void Relearn(const LineSettings& port);

 private:
  std::shared_ptr<const detail::ProbeTables> m_tables;
};

}  // namespace kestrion
