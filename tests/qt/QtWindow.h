// The main window in the Qt host, as the host's tests hold it: the prompter, the dialog and its Qt window.
#pragma once

#include <QWidget>

#include "ScriptedPrompter.h"
#include "app/ControlTable.h"
#include "app/TransferDlg.h"
#include "qt/QtDialogWindow.h"

namespace kestrion::testing_support {

struct QtWindow {
  template <typename T>
  T* Item(int id) const {
    return qobject_cast<T*>(window.GetDlgItem(id));
  }

  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
  QtDialogWindow window{dlg};
};

}  // namespace kestrion::testing_support
