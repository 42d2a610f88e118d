#include "qt/DataBox.h"

#include <QKeyEvent>
#include <QTextCursor>
#include <QTextDocument>

namespace kestrion {

DataBox::DataBox(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  // Otherwise every change of a shown box lays out the blocks at its end to size the scroll bar, and a block
  // keeps its layout for good: a download of short records would hold one per record, more than its text.
  // This way the scroll range counts lines, so the last line can also be scrolled to the top.
  setCenterOnScroll(true);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTabChangesFocus(true);
}

bool DataBox::event(QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      const bool backwards = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier) != 0;
      focusNextPrevChild(!backwards);
      return true;
    }
  }
  return QPlainTextEdit::event(event);
}

QString DataBox::Text() const {
  // The document separates its blocks by U+2029.
  QString text = document()->toRawText();
  text.replace(QChar(0x2029), QLatin1Char('\n'));
  return text;
}

void DataBox::ReplaceRange(qsizetype start, qsizetype end, const QString& text) {
  const bool undo = document()->isUndoRedoEnabled();
  document()->setUndoRedoEnabled(false);
  QTextCursor cursor(document());
  cursor.setPosition(static_cast<int>(start));
  cursor.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
  if (text.isEmpty()) {
    cursor.removeSelectedText();
  } else {
    cursor.insertText(text);
  }
  document()->setUndoRedoEnabled(undo);
}

}  // namespace kestrion
