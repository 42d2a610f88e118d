// Downloads as an instrument sends them, for the tests of the judgement and the probe: framed records of
// every file kind with Chinese names now and then, made from a seed so that no two tests see the same text
// (and none sees the probe's own corpus).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "serial/SerialPort.h"

namespace kestrion::testing_support {

// `bytes` as the reads of the download poll take them: at most 254 at a time, zero bytes dropped and counted.
inline std::vector<ChunkRead> ChunkReads(std::string_view bytes) {
  std::vector<ChunkRead> reads;
  for (std::size_t at = 0; at < bytes.size(); at += kMaxReadBytes) {
    ChunkRead read{true, CString(), 0};
    for (const char ch : bytes.substr(at, kMaxReadBytes)) {
      if (ch == '\0') {
        ++read.zeroBytes;
      } else {
        read.chunk += ch;
      }
    }
    reads.push_back(std::move(read));
  }
  return reads;
}

enum class SurveyKind { Cpt, Hln, Vln, Tln, Obs, Txt };
inline constexpr SurveyKind kSurveyKinds[] = {SurveyKind::Cpt, SurveyKind::Hln, SurveyKind::Vln,
                                              SurveyKind::Tln, SurveyKind::Obs, SurveyKind::Txt};

// Names in code page 936: common characters, a rare one (0x8140) and one whose trail is the marker '@'.
inline const std::vector<std::string>& SurveyNames() {
  static const std::vector<std::string> names = {
      "\xCB\xAE\xBE\xAE",
      "\xD1\xA7\xB8\xAE\xC2\xB7",
      "GP07",
      "\xB1\xF5\xBD\xAD\xB4\xF3\xB5\xC0",
      "\x81\x40\xB4\xE5",
      "BM2",
      "\xB9\xE3\xB3\xA1\x8C\x40",
      "T5",
  };
  return names;
}

class SurveyWriter {
 public:
  // Without `names`, the records hold ASCII only.
  explicit SurveyWriter(std::uint32_t seed, bool names = true)
      : m_state(seed * 2654435761u + 1), m_bNames(names) {}

  // `count` records of `kind`, framed with its marker, each followed by CR LF; then the end word when
  // `finish`.
  std::string Download(SurveyKind kind, int count, bool finish = true) {
    std::string text;
    for (int i = 0; i < count; ++i) text += Framed(kind, Record(kind));
    if (finish) text += "Download Finish\r\n";
    return text;
  }

 private:
  std::uint32_t Next() {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
  }
  std::string Number(int whole, int decimals) {
    std::string text = std::to_string(whole + static_cast<int>(Next() % 1000));
    if (decimals > 0) {
      text += '.';
      for (int i = 0; i < decimals; ++i) text += static_cast<char>('0' + Next() % 10);
    }
    return text;
  }
  std::string Name() {
    const std::vector<std::string>& names = SurveyNames();
    // Every third record a Chinese name; point numbers otherwise.
    if (m_bNames && Next() % 3 == 0) return names[Next() % names.size()];
    return Join({"P", std::to_string(Next() % 500)});
  }
  // Appended piece by piece, in the order written: GCC 12 at -O3 takes a chain of std::string + for an
  // overlapping copy (-Wrestrict).
  static std::string Join(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) text += part;
    return text;
  }
  std::string Record(SurveyKind kind) {
    switch (kind) {
      case SurveyKind::Cpt:
        return Join({Name(), ",", Number(3051000, 3), ",", Number(502000, 3), ",", Number(10, 3)});
      case SurveyKind::Hln:
        return Join({Number(0, 3), ",", Number(3051000, 3), ",", Number(502000, 3), ",", Number(40, 6)});
      case SurveyKind::Vln:
        return Join({Number(0, 3), ",", Number(10, 3), ",", std::to_string(Next() % 5 * 500)});
      case SurveyKind::Tln:
        return Join({Name(), ",K0+", std::to_string(Next() % 900 + 100), ",", Number(3, 3), ",2.0"});
      case SurveyKind::Obs:
        return Join({std::to_string(Next() % 40), ",", Name(), ",1.520,FS,", Number(0, 5), ",", Number(89, 5),
                     ",", Number(40, 3), ",1.600,", Name()});
      case SurveyKind::Txt:
        return Join({Name(), " ", Number(100, 2), " ", Number(200, 2)});
    }
    return {};
  }
  static std::string Framed(SurveyKind kind, const std::string& record) {
    const char marker = "&$@^#("[static_cast<int>(kind)];
    return Join({std::string_view(&marker, 1), record, std::string_view(&marker, 1), "\r\n"});
  }

  std::uint32_t m_state;
  bool m_bNames;
};

}  // namespace kestrion::testing_support
