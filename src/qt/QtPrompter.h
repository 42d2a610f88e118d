// The Qt host's message boxes, file chooser and modal sub-windows.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <filesystem>

#include "dialog/Prompter.h"

namespace kestrion {

// A chooser's answer as a path: the file system's own bytes on Linux, the wide name on Windows.
std::filesystem::path PathOfChosen(const QString& chosen);

// QMessageBox, QFileDialog, and a QtDialogWindow for each dialog run modally, parented to `parent`.
class QtPrompter : public Prompter {
 public:
  explicit QtPrompter(QWidget* parent = nullptr) : m_parent(parent) {}

  Answer MessageBox(std::u16string_view text, Icon icon, Buttons buttons = Buttons::Ok) override;
  std::optional<std::filesystem::path> ChooseOpenFile(std::span<const FileFilter> filters,
                                                      bool mayNotExist = false) override;
  int RunModal(CDialog& dialog) override;

 private:
  QPointer<QWidget> m_parent;
};

}  // namespace kestrion
