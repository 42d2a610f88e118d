// A prompter for tests: answers from a script and records every question it was asked.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "app/Prompter.h"

namespace kestrion::testing_support {

class ScriptedPrompter : public Prompter {
 public:
  struct Message {
    QString text;
    Icon icon;
    Buttons buttons;
  };
  struct Chooser {
    QStringList labels;
    QStringList patterns;
    bool mayNotExist;
  };
  struct Modal {
    QString className;
    QString title;
  };

  // Answers to give, in order; when none is left a message box answers Ok (or No) and a chooser cancels.
  std::deque<Answer> answers;
  std::deque<std::optional<QString>> chosenFiles;

  std::vector<Message> messages;
  std::vector<Chooser> choosers;
  std::vector<Modal> modals;

  Answer MessageBox(const QString& text, Icon icon, Buttons buttons = Buttons::Ok) override {
    messages.push_back(Message{text, icon, buttons});
    if (answers.empty()) return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::optional<QString> ChooseOpenFile(std::span<const messages::FileFilter> filters,
                                        bool mayNotExist = false) override {
    Chooser chooser{{}, {}, mayNotExist};
    for (const messages::FileFilter& filter : filters) {
      chooser.labels << filter.label.toString();
      chooser.patterns << filter.pattern.toString();
    }
    choosers.push_back(chooser);
    if (chosenFiles.empty()) return std::nullopt;
    const bool chosen = chosenFiles.front().has_value();
    const QString file = chosen ? *chosenFiles.front() : QString();
    chosenFiles.pop_front();
    if (!chosen) return std::nullopt;
    return file;
  }

  // Records the window instead of running it; its result is a cancel.
  int RunModal(QDialog& dialog) override {
    modals.push_back(Modal{QString::fromLatin1(dialog.metaObject()->className()), dialog.windowTitle()});
    return QDialog::Rejected;
  }
};

}  // namespace kestrion::testing_support
