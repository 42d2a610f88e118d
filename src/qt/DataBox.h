// The Qt host's multi-line box: a plain-text box without line wrapping, whose text the dialog edits in place.
#pragma once

#include <QPlainTextEdit>

namespace kestrion {

class DataBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit DataBox(QWidget* parent = nullptr);

  // The text as the dialog reads it: one '\n' per line break, every other character as it is (the box's own
  // plain text would also turn a no-break space into a blank).
  QString Text() const;
  // Positions `start` to `end` become `text`, as a change that cannot be undone.
  void ReplaceRange(qsizetype start, qsizetype end, const QString& text);

 protected:
  // Tab, Shift+Tab and Ctrl+Tab leave the box for the next or previous control, as from any control of a dialog;
  // the key never types a tab (one that came from the line or a file stays as it is).
  bool event(QEvent* event) override;
};

}  // namespace kestrion
