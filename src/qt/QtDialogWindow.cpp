#include "qt/QtDialogWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimerEvent>
#include <QVariant>

#include "qt/AppIcon.h"
#include "qt/DataBox.h"
#include "qt/DialogUnits.h"
#include "qt/PortComboBox.h"
#include "qt/QtConverter.h"
#include "qt/RoadListBox.h"

namespace kestrion {
namespace {

QString ToQt(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string FromQt(const QString& text) {
  return text.toStdU16String();
}

QRect ToQRect(const DialogRect& r) {
  return QRect(r.x, r.y, r.width, r.height);
}

}  // namespace

QtDialogWindow::QtDialogWindow(CDialog& dialog, QWidget* parent)
    : QDialog(parent), m_dialog(dialog), m_prompter(this) {
  Build();
  m_dialog.Attach(*this, m_prompter);
  // The window exists from here on, so it is initialised here rather than when it is first shown.
  m_dialog.OnInitDialog();
}

QtDialogWindow::~QtDialogWindow() {
  for (auto& [id, timer] : m_timers) timer.stop();
  m_dialog.Detach();
}

void QtDialogWindow::Build() {
  const DialogTemplate& dialogTemplate = m_dialog.GetTemplate();
  setWindowTitle(ToQt(dialogTemplate.caption));
  // A fixed dialog frame: title bar, system menu and close box, no minimise or maximise box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setSizeGripEnabled(false);
  setProperty(kDialogUnitsProperty, ToQRect(dialogTemplate.rect));

  QButtonGroup* radioGroup = nullptr;
  QWidget* previousTabStop = nullptr;
  for (const ControlRow& row : dialogTemplate.controls) {
    QWidget* widget = nullptr;
    const QString caption = ToQt(row.caption);
    const int id = row.id;
    switch (row.kind) {
      case ControlKind::PushButton:
      case ControlKind::DefaultPushButton: {
        auto* button = new QPushButton(caption, this);
        const bool isDefault = row.kind == ControlKind::DefaultPushButton;
        button->setAutoDefault(isDefault);
        button->setDefault(isDefault);
        connect(button, &QPushButton::clicked, this, [this, id] { m_dialog.OnCommand(id, Notification::Clicked); });
        widget = button;
        break;
      }
      case ControlKind::RadioButton: {
        auto* radio = new QRadioButton(caption, this);
        if ((row.styles & style::kGroup) != 0 || radioGroup == nullptr) radioGroup = new QButtonGroup(this);
        radioGroup->addButton(radio);
        connect(radio, &QRadioButton::clicked, this, [this, id] { m_dialog.OnCommand(id, Notification::Clicked); });
        // As in a dialog of the platform, the tab stop of a radio group is its checked radio: it moves with the
        // check, however the check is set. The arrows move the check within the group, as a click does.
        radio->setFocusPolicy(Qt::ClickFocus);
        connect(radio, &QRadioButton::toggled, radio,
                [radio](bool checked) { radio->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus); });
        widget = radio;
        break;
      }
      case ControlKind::ComboBox: {
        auto* combo = new PortComboBox(this);
        combo->setEditable(false);
        connect(combo, &PortComboBox::droppingDown, this, [this, id] { m_dialog.OnCommand(id, Notification::DropDown); });
        widget = combo;
        break;
      }
      case ControlKind::Edit:
        widget = new QLineEdit(this);
        break;
      case ControlKind::MultiLineEdit:
        widget = new DataBox(this);
        break;
      case ControlKind::ListBox: {
        auto* list = new RoadListBox(this);
        list->setSortingEnabled(false);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        widget = list;
        break;
      }
      case ControlKind::GroupBox: {
        auto* group = new QGroupBox(caption, this);
        group->setFocusPolicy(Qt::NoFocus);
        widget = group;
        break;
      }
      case ControlKind::Label: {
        auto* label = new QLabel(caption, this);
        label->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignTop);
        widget = label;
        break;
      }
      case ControlKind::Icon: {
        auto* label = new QLabel(this);
        label->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignTop);
        // An icon control shows the icon at its own size, from its top left corner.
        label->setPixmap(ApplicationIcon().pixmap(QSize(32, 32)));
        widget = label;
        break;
      }
      case ControlKind::StatusLine: {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setFocusPolicy(Qt::NoFocus);
        widget = label;
        break;
      }
    }
    // A group of radios ends at the next control that starts a group.
    if (row.kind != ControlKind::RadioButton && (row.styles & style::kGroup) != 0) radioGroup = nullptr;
    widget->setObjectName(QString::fromLatin1(row.name.data(), static_cast<qsizetype>(row.name.size())));
    widget->setProperty(kDialogUnitsProperty, ToQRect(row.rect));
    if ((row.styles & style::kTabStop) != 0) {
      if (previousTabStop != nullptr) setTabOrder(previousTabStop, widget);
      previousTabStop = widget;
    }
    if (id != 0) m_controls[id] = widget;
  }
  PlaceByDialogUnits(*this);
}

int QtDialogWindow::DoModal() {
  return exec() == QDialog::Accepted ? kIdOk : kIdCancel;
}

QWidget* QtDialogWindow::GetDlgItem(int id) const {
  const auto found = m_controls.find(id);
  return found != m_controls.end() ? found->second : nullptr;
}

void QtDialogWindow::SysCommand(unsigned command) {
  if (m_dialog.OnSysCommand(command)) return;
  switch (command & 0xFFF0) {
    case CDialog::kScClose:
      close();
      break;
    case CDialog::kScMinimize:
      showMinimized();
      break;
    default:
      break;
  }
}

std::u16string QtDialogWindow::GetText(int id) const {
  QWidget* widget = GetDlgItem(id);
  if (auto* box = qobject_cast<DataBox*>(widget)) return FromQt(box->Text());
  if (auto* line = qobject_cast<QLineEdit*>(widget)) return FromQt(line->text());
  if (auto* label = qobject_cast<QLabel*>(widget)) return FromQt(label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return FromQt(button->text());
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return FromQt(combo->currentText());
  return {};
}

std::size_t QtDialogWindow::GetTextLength(int id) const {
  if (auto* box = qobject_cast<DataBox*>(GetDlgItem(id))) {
    return static_cast<std::size_t>(box->document()->characterCount() - 1);
  }
  return GetText(id).size();
}

void QtDialogWindow::SetText(int id, std::u16string_view text) {
  QWidget* widget = GetDlgItem(id);
  if (auto* box = qobject_cast<DataBox*>(widget)) {
    box->setPlainText(ToQt(text));
  } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    line->setText(ToQt(text));
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(ToQt(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(ToQt(text));
  }
}

void QtDialogWindow::ReplaceText(int id, std::size_t start, std::size_t end, std::u16string_view text) {
  if (auto* box = qobject_cast<DataBox*>(GetDlgItem(id))) {
    box->ReplaceRange(static_cast<qsizetype>(start), static_cast<qsizetype>(end), ToQt(text));
  }
}

bool QtDialogWindow::GetModify(int id) const {
  if (auto* box = qobject_cast<DataBox*>(GetDlgItem(id))) return box->document()->isModified();
  if (auto* line = qobject_cast<QLineEdit*>(GetDlgItem(id))) return line->isModified();
  return false;
}

void QtDialogWindow::SetModify(int id, bool modified) {
  if (auto* box = qobject_cast<DataBox*>(GetDlgItem(id))) box->document()->setModified(modified);
  if (auto* line = qobject_cast<QLineEdit*>(GetDlgItem(id))) line->setModified(modified);
}

void QtDialogWindow::EnableWindow(int id, bool enable) {
  if (QWidget* widget = GetDlgItem(id)) widget->setEnabled(enable);
}

bool QtDialogWindow::IsWindowEnabled(int id) const {
  QWidget* widget = GetDlgItem(id);
  return widget != nullptr && widget->isEnabled();
}

void QtDialogWindow::CheckButton(int id, bool checked) {
  auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
  if (button == nullptr) return;
  // An exclusive group refuses to uncheck its last checked radio, which unchecking every radio asks for.
  QButtonGroup* group = button->group();
  const bool exclusive = group != nullptr && group->exclusive();
  if (exclusive) group->setExclusive(false);
  const bool autoExclusive = button->autoExclusive();
  button->setAutoExclusive(false);
  button->setChecked(checked);
  button->setAutoExclusive(autoExclusive);
  if (exclusive) group->setExclusive(true);
}

bool QtDialogWindow::IsButtonChecked(int id) const {
  auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
  return button != nullptr && button->isChecked();
}

void QtDialogWindow::SetToolTip(int id, std::u16string_view text) {
  if (QWidget* widget = GetDlgItem(id)) widget->setToolTip(ToQt(text));
}

void QtDialogWindow::SetDescription(int id, std::u16string_view text) {
  if (QWidget* widget = GetDlgItem(id)) widget->setAccessibleDescription(ToQt(text));
}

void QtDialogWindow::ResetContent(int id) {
  QWidget* widget = GetDlgItem(id);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) combo->clear();
  if (auto* list = qobject_cast<QListWidget*>(widget)) list->clear();
}

void QtDialogWindow::AddString(int id, std::u16string_view text) {
  QWidget* widget = GetDlgItem(id);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) combo->addItem(ToQt(text));
  if (auto* list = qobject_cast<QListWidget*>(widget)) list->addItem(ToQt(text));
}

int QtDialogWindow::GetCount(int id) const {
  QWidget* widget = GetDlgItem(id);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->count();
  if (auto* list = qobject_cast<QListWidget*>(widget)) return list->count();
  return 0;
}

int QtDialogWindow::GetCurSel(int id) const {
  QWidget* widget = GetDlgItem(id);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentIndex();
  if (auto* list = qobject_cast<QListWidget*>(widget)) {
    // The current row of a list may be one that is not selected.
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.front());
  }
  return -1;
}

void QtDialogWindow::SetCurSel(int id, int index) {
  QWidget* widget = GetDlgItem(id);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) combo->setCurrentIndex(index);
  if (auto* list = qobject_cast<QListWidget*>(widget)) {
    if (index < 0 || index >= list->count()) {
      list->clearSelection();
      list->setCurrentRow(-1);
    } else {
      list->setCurrentRow(index);
    }
  }
}

std::u16string QtDialogWindow::GetItemText(int id, int index) const {
  QWidget* widget = GetDlgItem(id);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return FromQt(combo->itemText(index));
  if (auto* list = qobject_cast<QListWidget*>(widget)) {
    if (QListWidgetItem* item = list->item(index)) return FromQt(item->text());
  }
  return {};
}

void QtDialogWindow::SetFocus(int id) {
  if (QWidget* widget = GetDlgItem(id)) widget->setFocus();
}

int QtDialogWindow::GetFocus() const {
  QWidget* focused = focusWidget();
  for (const auto& [id, widget] : m_controls) {
    if (widget == focused) return id;
  }
  return 0;
}

void QtDialogWindow::AppendSystemMenu(unsigned command, std::u16string_view text) {
  if (m_pSystemMenu == nullptr) m_pSystemMenu = new QMenu(this);
  if (command == 0) {
    m_pSystemMenu->addSeparator();
    return;
  }
  QAction* action = m_pSystemMenu->addAction(ToQt(text));
  action->setData(command);
  connect(action, &QAction::triggered, this, [this, command] { SysCommand(command); });
}

void QtDialogWindow::SetIcon(int) {
  // The one icon resource carries the big and the small image.
  setWindowIcon(ApplicationIcon());
}

void QtDialogWindow::StartTimer(int id, std::chrono::milliseconds period) {
  m_timers[id].start(static_cast<int>(period.count()), this);
}

void QtDialogWindow::StopTimer(int id) {
  const auto found = m_timers.find(id);
  if (found != m_timers.end()) found->second.stop();
}

void QtDialogWindow::timerEvent(QTimerEvent* event) {
  for (auto& [id, timer] : m_timers) {
    if (timer.isActive() && timer.timerId() == event->timerId()) {
      m_dialog.OnTimer(id);
      return;
    }
  }
  QDialog::timerEvent(event);
}

void QtDialogWindow::EndDialog(int result) {
  done(result == kIdOk ? QDialog::Accepted : QDialog::Rejected);
}

void QtDialogWindow::Minimize() {
  showMinimized();
}

const Cp936Converter& QtDialogWindow::Converter() const {
  return QtGbkConverter();
}

void QtDialogWindow::accept() {
  m_dialog.OnOK();
}

void QtDialogWindow::reject() {
  m_dialog.OnCancel();
}

void QtDialogWindow::done(int result) {
  QDialog::done(result);
  m_dialog.OnDestroy();
}

void QtDialogWindow::contextMenuEvent(QContextMenuEvent* event) {
  if (m_pSystemMenu != nullptr && !m_pSystemMenu->isEmpty()) {
    m_pSystemMenu->exec(event->globalPos());
    event->accept();
    return;
  }
  QDialog::contextMenuEvent(event);
}

void QtDialogWindow::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  // Ctrl+Tab walks the tab order as Tab does (Ctrl+Shift+Tab backwards), from every control.
  if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
    if ((event->modifiers() & Qt::ControlModifier) != 0) {
      focusNextPrevChild(event->key() == Qt::Key_Tab && (event->modifiers() & Qt::ShiftModifier) == 0);
      event->accept();
      return;
    }
  }
  if (enter && plain) {
    // The multi-line boxes keep Enter for themselves; here it reaches the window from anywhere else: a focused
    // push button is clicked, and anywhere else it is OK.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      if (button->isEnabled()) button->click();
    } else {
      m_dialog.OnCommand(kIdOk, Notification::Clicked);
    }
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace kestrion
