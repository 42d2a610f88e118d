#include "app/Prompter.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace kestrion {
namespace {

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
QString PlatformPattern(QStringView pattern) {
  return pattern == u"*.*" ? QStringLiteral("*") : pattern.toString();
}

}  // namespace

Prompter::Answer WidgetPrompter::MessageBox(const QString& text, Icon icon, Buttons buttons) {
  const QMessageBox::StandardButtons shown =
      buttons == Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
  QMessageBox box(ToQt(icon), messages::kApplicationName.toString(), text, shown, m_parent);
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

std::optional<QString> WidgetPrompter::ChooseOpenFile(std::span<const messages::FileFilter> filters,
                                                      bool mayNotExist) {
  QFileDialog chooser(m_parent);
  chooser.setAcceptMode(QFileDialog::AcceptOpen);
  chooser.setFileMode(mayNotExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  chooser.setOption(QFileDialog::HideNameFilterDetails);
  QStringList names;
  for (const messages::FileFilter& filter : filters) {
    names << filter.label.toString() + QStringLiteral(" (") + PlatformPattern(filter.pattern) +
                 QLatin1Char(')');
  }
  chooser.setNameFilters(names);
  if (!names.isEmpty()) chooser.selectNameFilter(names.first());
  if (chooser.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = chooser.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.first();
}

int WidgetPrompter::RunModal(QDialog& dialog) {
  return dialog.exec();
}

}  // namespace kestrion
