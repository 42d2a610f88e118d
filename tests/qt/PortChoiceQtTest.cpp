// The port list in the Qt host: its real popup reads the ports afresh, and long port names are shown whole.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QFontMetrics>
#include <filesystem>

#include "ScriptedPrompter.h"
#include "app/ControlTable.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/StationHarness.h"
#include "qt/PortComboBox.h"
#include "qt/QtDialogWindow.h"
#include "serial/PortNames.h"

namespace kestrion {
namespace {

using testing_support::PseudoTerminal;
using testing_support::ScriptedPrompter;

TEST(PortComboBox, RealPopupReadsThePortsAfreshAndShowsWholeNames) {
  testing_support::ScopedRuntimeDir runtime;
  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
  QtDialogWindow window{dlg};
  window.show();
  auto* combo = qobject_cast<PortComboBox*>(window.GetDlgItem(kIdPort));
  ASSERT_NE(combo, nullptr);
  combo->setCurrentIndex(1);
  const int atStart = combo->count();

  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  const std::filesystem::path link = VirtualPortDirectory() / "station";
  std::filesystem::create_directories(link.parent_path());
  std::filesystem::create_symlink(pty.SlavePath(), link);
  const QString linkText = QString::fromStdString(link.string());

  combo->showPopup();
  ASSERT_EQ(combo->count(), atStart + 1);
  EXPECT_EQ(dlg.m_cbPort.GetCount(), atStart + 1);
  EXPECT_EQ(combo->itemText(atStart), linkText);
  EXPECT_EQ(combo->currentIndex(), 1) << "COM2 stays selected";
  EXPECT_GT(combo->fontMetrics().horizontalAdvance(linkText), combo->width()) << "a name the box cuts";
  EXPECT_GE(combo->view()->width(), combo->fontMetrics().horizontalAdvance(linkText))
      << "the list shows it whole";
  combo->hidePopup();

  // The operator picks the station; then it goes away, and stays selected.
  combo->setCurrentIndex(atStart);
  EXPECT_EQ(combo->toolTip(), linkText) << "the whole name, which the box cuts";
  std::filesystem::remove(link);
  combo->showPopup();
  combo->hidePopup();
  EXPECT_EQ(combo->currentIndex(), atStart);
  EXPECT_EQ(combo->toolTip(), linkText);
  combo->setCurrentIndex(0);
  EXPECT_EQ(combo->toolTip(), combo->itemText(0));
}

}  // namespace
}  // namespace kestrion
