// Every message box, file chooser and modal sub-window of a dialog goes through a Prompter, so that a test can
// answer them without a real modal window.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

namespace kestrion {

class CDialog;

// A chooser's file-type filter: its label and its pattern ("*.*" for every file).
struct FileFilter {
  std::u16string_view label;
  std::u16string_view pattern;
};

class Prompter {
 public:
  enum class Icon { Information, Exclamation, Stop, Question };
  enum class Buttons { Ok, YesNo };
  enum class Answer { Ok, Yes, No };

  virtual ~Prompter() = default;

  // A modal message box captioned with the application's name. Esc or the close box on a question means No.
  virtual Answer MessageBox(std::u16string_view text, Icon icon, Buttons buttons = Buttons::Ok) = 0;
  // A chooser of one file to open, offering `filters` in that order with the first selected. With
  // `mayNotExist` the operator may also name a file that does not exist yet. The chosen file's full path, or
  // nullopt when cancelled.
  virtual std::optional<std::filesystem::path> ChooseOpenFile(std::span<const FileFilter> filters,
                                                              bool mayNotExist = false) = 0;
  // Runs `dialog` modally in a window of the host and returns its result.
  virtual int RunModal(CDialog& dialog) = 0;
};

}  // namespace kestrion
