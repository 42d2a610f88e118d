#include "qt/QtPrompter.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

#include "app/Messages.h"
#include "qt/QtDialogWindow.h"

namespace kestrion {
namespace {

QString ToQt(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon ToQt(Prompter::Icon icon) {
  switch (icon) {
    case Prompter::Icon::Information:
      return QMessageBox::Information;
    case Prompter::Icon::Exclamation:
      return QMessageBox::Warning;
    case Prompter::Icon::Stop:
      return QMessageBox::Critical;
    case Prompter::Icon::Question:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

// "*.*" means every file where the filters come from; on POSIX a name need not hold a dot.
QString PlatformPattern(std::u16string_view pattern) {
  return pattern == u"*.*" ? QStringLiteral("*") : ToQt(pattern);
}

}  // namespace

std::filesystem::path PathOfChosen(const QString& chosen) {
  const QString absolute = QFileInfo(chosen).absoluteFilePath();
#ifdef _WIN32
  return std::filesystem::path(absolute.toStdWString());
#else
  const QByteArray bytes = QFile::encodeName(absolute);
  return std::filesystem::path(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
#endif
}

Prompter::Answer QtPrompter::MessageBox(std::u16string_view text, Icon icon, Buttons buttons) {
  const QMessageBox::StandardButtons shown =
      buttons == Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
  QMessageBox box(ToQt(icon), ToQt(messages::kApplicationName), ToQt(text), shown, m_parent);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    default:
      // Esc or the close box on a Yes/No question means No.
      return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
  }
}

std::optional<std::filesystem::path> QtPrompter::ChooseOpenFile(std::span<const FileFilter> filters,
                                                                bool mayNotExist) {
  QFileDialog chooser(m_parent);
  chooser.setAcceptMode(QFileDialog::AcceptOpen);
  chooser.setFileMode(mayNotExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  chooser.setOption(QFileDialog::HideNameFilterDetails);
  QStringList names;
  for (const FileFilter& filter : filters) {
    names << ToQt(filter.label) + QStringLiteral(" (") + PlatformPattern(filter.pattern) + QLatin1Char(')');
  }
  chooser.setNameFilters(names);
  if (!names.isEmpty()) chooser.selectNameFilter(names.first());
  if (chooser.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = chooser.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return PathOfChosen(chosen.first());
}

int QtPrompter::RunModal(CDialog& dialog) {
  QtDialogWindow window(dialog, m_parent);
  return window.DoModal();
}

}  // namespace kestrion
