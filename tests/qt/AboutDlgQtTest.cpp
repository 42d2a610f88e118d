// The About box as the Qt host builds it from template 100.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/AboutDlg.h"
#include "qt/DialogUnits.h"
#include "qt/QtDialogWindow.h"

namespace kestrion {
namespace {

TEST(QtAboutDlg, ShowsIconNameAndVersionWithOkAsDefault) {
  CAboutDlg about;
  QtDialogWindow window(about);
  EXPECT_EQ(window.windowTitle(), QStringLiteral("关于 Kestrion"));
  EXPECT_EQ(window.size(), DialogUnitsToPixels(QRect(0, 0, 235, 55), BaseUnitsOf(window.font())).size());
  auto* version = window.findChild<QLabel*>(QStringLiteral("versionLabel"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->text(), QStringLiteral("Kestrion 1.1 版"));
  auto* icon = window.findChild<QLabel*>(QStringLiteral("iconLabel"));
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull());
  auto* ok = window.findChild<QPushButton*>(QStringLiteral("IDOK"));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), QStringLiteral("确定"));
  EXPECT_TRUE(ok->isDefault());
}

TEST(QtAboutDlg, EnterEndsItThroughOk) {
  CAboutDlg about;
  QtDialogWindow window(about);
  window.show();
  QTest::keyClick(&window, Qt::Key_Return);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace kestrion
