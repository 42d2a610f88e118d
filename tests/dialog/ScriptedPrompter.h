// A prompter for tests: answers from a script and records every question it was asked.
#pragma once

#include <deque>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dialog/Dialog.h"
#include "dialog/Prompter.h"

namespace kestrion::testing_support {

class ScriptedPrompter : public Prompter {
 public:
  struct Message {
    std::u16string text;
    Icon icon;
    Buttons buttons;
  };
  struct Chooser {
    std::vector<std::u16string> labels;
    std::vector<std::u16string> patterns;
    bool mayNotExist;
  };
  struct Modal {
    int templateId;
    std::u16string caption;
  };

  // Answers to give, in order; when none is left a message box answers Ok (or No) and a chooser cancels.
  std::deque<Answer> answers;
  std::deque<std::optional<std::filesystem::path>> chosenFiles;

  std::vector<Message> messages;
  std::vector<Chooser> choosers;
  std::vector<Modal> modals;

  Answer MessageBox(std::u16string_view text, Icon icon, Buttons buttons = Buttons::Ok) override {
    messages.push_back(Message{std::u16string(text), icon, buttons});
    if (answers.empty()) return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::optional<std::filesystem::path> ChooseOpenFile(std::span<const FileFilter> filters,
                                                      bool mayNotExist = false) override {
    Chooser chooser{{}, {}, mayNotExist};
    for (const FileFilter& filter : filters) {
      chooser.labels.emplace_back(filter.label);
      chooser.patterns.emplace_back(filter.pattern);
    }
    choosers.push_back(chooser);
    if (chosenFiles.empty()) return std::nullopt;
    std::optional<std::filesystem::path> chosen = chosenFiles.front();
    chosenFiles.pop_front();
    return chosen;
  }

  // Records the dialog instead of running it; its result is a cancel.
  int RunModal(CDialog& dialog) override {
    modals.push_back(Modal{dialog.GetTemplate().id, std::u16string(dialog.GetTemplate().caption)});
    return kIdCancel;
  }
};

}  // namespace kestrion::testing_support
