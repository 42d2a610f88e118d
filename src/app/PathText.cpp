#include "app/PathText.h"

#include <QFile>
#include <QFileInfo>

namespace kestrion {
namespace {

QByteArray ToBytes(const std::string& bytes) {
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

#ifdef _WIN32

std::filesystem::path PathOfChosen(const QString& chosen) {
  return std::filesystem::path(QFileInfo(chosen).absoluteFilePath().toStdWString());
}

QString PathText(const std::filesystem::path& path) {
  return QString::fromStdWString(path.native());
}

CString PathBytes(const std::filesystem::path& path) {
  return NameBytes(PathText(path));
}

CString NameBytes(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return CString(std::string(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

QString NameText(const CString& bytes) {
  return QString::fromUtf8(ToBytes(bytes.Bytes()));
}

#else

std::filesystem::path PathOfChosen(const QString& chosen) {
  const QByteArray bytes = QFile::encodeName(QFileInfo(chosen).absoluteFilePath());
  return std::filesystem::path(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QString PathText(const std::filesystem::path& path) {
  return QFile::decodeName(ToBytes(path.native()));
}

CString PathBytes(const std::filesystem::path& path) {
  return CString(path.native());
}

CString NameBytes(const QString& text) {
  const QByteArray bytes = QFile::encodeName(text);
  return CString(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QString NameText(const CString& bytes) {
  return QFile::decodeName(ToBytes(bytes.Bytes()));
}

#endif

}  // namespace kestrion
