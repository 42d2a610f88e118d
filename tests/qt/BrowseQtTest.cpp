// The Qt host's road list: a single-selection list box whose selection Ctrl+click, Ctrl+Space and a click below
// the entries move or keep but never empty, so Upload always sends a road once one is listed.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "QtWindow.h"
#include "common/ScratchDir.h"

namespace kestrion {
namespace {

using testing_support::QtWindow;
using testing_support::ScratchDir;

TEST(QtBrowse, RoadSelectionCannotBeEmptied) {
  ScratchDir dir;
  QtWindow qt;
  qt.prompter.chosenFiles.emplace_back(dir.Write("roads.HLN", "BeginRoad,1\r\n>>R1,1\r\na\r\n>>R2,1\r\nb\r\nEndRoad\r\n"));
  qt.Item<QPushButton>(kIdBrowse)->click();
  QListWidget& roads = *qt.Item<QListWidget>(kIdRoads);
  ASSERT_EQ(roads.selectedItems().size(), 1);
  EXPECT_EQ(qt.window.focusWidget(), &roads);
  const auto clickRow = [&](int row, Qt::KeyboardModifiers modifiers) {
    QTest::mouseClick(roads.viewport(), Qt::LeftButton, modifiers, roads.visualItemRect(roads.item(row)).center());
  };
  clickRow(0, Qt::ControlModifier);
  ASSERT_EQ(roads.selectedItems().size(), 1);
  EXPECT_EQ(qt.dlg.m_lbRoads.GetCurSel(), 0);
  clickRow(1, Qt::ControlModifier);
  ASSERT_EQ(roads.selectedItems().size(), 1);
  EXPECT_EQ(qt.dlg.m_lbRoads.GetCurSel(), 1);
  QTest::keyClick(&roads, Qt::Key_Space, Qt::ControlModifier);
  EXPECT_EQ(roads.selectedItems().size(), 1);
  for (const Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::KeyboardModifiers()}) {
    QTest::mouseClick(roads.viewport(), Qt::LeftButton, modifiers, QPoint(2, roads.viewport()->height() - 2));
  }
  ASSERT_EQ(roads.selectedItems().size(), 1);
  EXPECT_EQ(qt.dlg.m_lbRoads.GetCurSel(), 1);
}

}  // namespace
}  // namespace kestrion
