#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/AboutDlg.h"
#include "app/DialogUnits.h"

namespace kestrion {
namespace {

TEST(AboutDlg, ShowsIconNameAndVersionWithOkAsDefault) {
  CAboutDlg about;
  EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Kestrion"));
  EXPECT_EQ(about.size(), DialogUnitsToPixels(QRect(0, 0, 235, 55), BaseUnitsOf(about.font())).size());
  auto* version = about.findChild<QLabel*>(QStringLiteral("versionLabel"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->text(), QStringLiteral("Kestrion 1.1 版"));
  auto* icon = about.findChild<QLabel*>(QStringLiteral("iconLabel"));
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull());
  auto* ok = about.findChild<QPushButton*>(QStringLiteral("IDOK"));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), QStringLiteral("确定"));
  EXPECT_TRUE(ok->isDefault());
}

TEST(AboutDlg, EnterEndsItThroughOk) {
  CAboutDlg about;
  about.show();
  QTest::keyClick(&about, Qt::Key_Return);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace kestrion
