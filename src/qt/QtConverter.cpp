#include "qt/QtConverter.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <mutex>

namespace kestrion {
namespace {

class QtConverter : public Cp936Converter {
 public:
  bool IsAvailable() const override {
    return QStringDecoder("GBK").isValid() && QStringEncoder("GBK").isValid();
  }

  // A blank follows the bytes so that the converter never holds a byte back for the next call, and a converter
  // that reported an error is made anew, since resetting it does not always clear what it holds.
  std::u16string DecodeOne(std::string_view bytes) const override {
    std::lock_guard lock(m_lock);
    QByteArray probe(bytes.data(), static_cast<qsizetype>(bytes.size()));
    probe.append(' ');
    const QString text = m_decoder.decode(probe);
    const bool error = m_decoder.hasError();
    if (error) m_decoder = QStringDecoder("GBK", QStringDecoder::Flag::Stateless);
    if (error || text.size() < 2 || text.back() != QLatin1Char(' ')) return {};
    const QString character = text.first(text.size() - 1);
    const bool one = character.size() == 1 || (character.size() == 2 && character[0].isHighSurrogate());
    return one ? character.toStdU16String() : std::u16string();
  }

  std::string EncodeOne(std::u16string_view character) const override {
    std::lock_guard lock(m_lock);
    const QByteArray bytes =
        m_encoder.encode(QStringView(character.data(), static_cast<qsizetype>(character.size())));
    const bool error = m_encoder.hasError();
    if (error) m_encoder = QStringEncoder("GBK", QStringEncoder::Flag::Stateless);
    if (error) return {};
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }

 private:
  mutable std::mutex m_lock;
  mutable QStringDecoder m_decoder{"GBK", QStringDecoder::Flag::Stateless};
  mutable QStringEncoder m_encoder{"GBK", QStringEncoder::Flag::Stateless};
};

}  // namespace

const Cp936Converter& QtGbkConverter() {
  static const QtConverter converter;
  return converter;
}

}  // namespace kestrion
