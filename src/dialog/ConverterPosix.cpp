// iconv's GBK, as the C library has it.
#include <errno.h>
#include <iconv.h>

#include <mutex>

#include "dialog/Converter.h"

namespace kestrion {
namespace {

class IconvConverter : public Cp936Converter {
 public:
  IconvConverter()
      : m_decode(iconv_open("UTF-16LE", "CP936")), m_encode(iconv_open("CP936", "UTF-16LE")) {
    // Some C libraries know the code page only by its older name.
    if (m_decode == kNone) m_decode = iconv_open("UTF-16LE", "GBK");
    if (m_encode == kNone) m_encode = iconv_open("GBK", "UTF-16LE");
  }
  ~IconvConverter() override {
    if (m_decode != kNone) iconv_close(m_decode);
    if (m_encode != kNone) iconv_close(m_encode);
  }
  IconvConverter(const IconvConverter&) = delete;
  IconvConverter& operator=(const IconvConverter&) = delete;

  bool IsAvailable() const override { return m_decode != kNone && m_encode != kNone; }

  std::u16string DecodeOne(std::string_view bytes) const override {
    if (!IsAvailable() || bytes.empty() || bytes.size() > 2) return {};
    char out[16];
    const std::size_t produced = Convert(m_decode, bytes, out, sizeof out);
    if (produced == 0 || produced % 2 != 0) return {};
    std::u16string text;
    for (std::size_t i = 0; i < produced; i += 2) {
      text += static_cast<char16_t>(static_cast<unsigned char>(out[i]) |
                                    static_cast<unsigned char>(out[i + 1]) << 8);
    }
    // One character: one unit or one surrogate pair.
    const bool one = text.size() == 1 || (text.size() == 2 && text[0] >= 0xD800 && text[0] <= 0xDBFF);
    return one ? text : std::u16string();
  }

  std::string EncodeOne(std::u16string_view character) const override {
    if (!IsAvailable() || character.empty() || character.size() > 2) return {};
    std::string in;
    for (const char16_t c : character) {
      in += static_cast<char>(c & 0xFF);
      in += static_cast<char>(c >> 8);
    }
    char out[16];
    const std::size_t produced = Convert(m_encode, in, out, sizeof out);
    return std::string(out, produced);
  }

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

  // The whole of `in` converted, or 0 bytes when any of it does not convert exactly.
  std::size_t Convert(iconv_t cd, std::string_view in, char* out, std::size_t room) const {
    std::lock_guard lock(m_lock);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* outPtr = out;
    std::size_t outLeft = room;
    const std::size_t irreversible = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    // A character iconv could only approximate counts as not converted.
    if (irreversible != 0 || inLeft != 0) return 0;
    std::size_t flushLeft = outLeft;
    if (iconv(cd, nullptr, nullptr, &outPtr, &flushLeft) == static_cast<std::size_t>(-1)) return 0;
    return room - flushLeft;
  }

  iconv_t m_decode;
  iconv_t m_encode;
  mutable std::mutex m_lock;
};

}  // namespace

const Cp936Converter& SystemConverter() {
  static const IconvConverter converter;
  return converter;
}

}  // namespace kestrion
