// Widget tests run without a desktop and look the same everywhere: the offscreen platform unless one is set,
// a fixed resolution and a fixed font.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <cstdlib>

int main(int argc, char* argv[]) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QT_FONT_DPI", "96", 1);
  setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
  QApplication application(argc, argv);
  QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
