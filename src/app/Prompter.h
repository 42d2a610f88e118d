// Every message box, file chooser and modal sub-window of the main window goes through a Prompter, so that a
// test can answer them without a real modal window.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <optional>
#include <span>

#include "app/Messages.h"

class QDialog;

namespace kestrion {

class Prompter {
 public:
  enum class Icon { Information, Exclamation, Stop, Question };
  enum class Buttons { Ok, YesNo };
  enum class Answer { Ok, Yes, No };

  virtual ~Prompter() = default;

  // A modal message box captioned with the application's name.
  virtual Answer MessageBox(const QString& text, Icon icon, Buttons buttons = Buttons::Ok) = 0;
  // A chooser of one file to open, offering `filters` in that order with the first selected. With
  // `mayNotExist` the operator may also name a file that does not exist yet. nullopt when cancelled.
  virtual std::optional<QString> ChooseOpenFile(std::span<const messages::FileFilter> filters,
                                                bool mayNotExist = false) = 0;
  // Runs `dialog` modally and returns its result.
  virtual int RunModal(QDialog& dialog) = 0;
};

// The real one: QMessageBox, QFileDialog and QDialog::exec, parented to `parent`.
class WidgetPrompter : public Prompter {
 public:
  explicit WidgetPrompter(QWidget* parent) : m_parent(parent) {}

  Answer MessageBox(const QString& text, Icon icon, Buttons buttons = Buttons::Ok) override;
  std::optional<QString> ChooseOpenFile(std::span<const messages::FileFilter> filters,
                                        bool mayNotExist = false) override;
  int RunModal(QDialog& dialog) override;

 private:
  QPointer<QWidget> m_parent;
};

}  // namespace kestrion
