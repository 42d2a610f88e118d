// Widget tests run without a desktop and look the same everywhere: the offscreen platform unless one is set,
// a fixed resolution and a fixed font.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <cstdlib>

#if defined(__SANITIZE_THREAD__)
// Qt's libraries are not built for the thread sanitizer. A shown window that paints hands work to Qt's own
// thread pool (smooth scaling of the style's pixmaps), which allocates on one thread and frees on another
// with synchronisation the sanitizer cannot see; only the calls made from such libraries are left unchecked,
// every access of our own code still is.
extern "C" const char* __tsan_default_options() {
  return "ignore_noninstrumented_modules=1";
}
#endif

int main(int argc, char* argv[]) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QT_FONT_DPI", "96", 1);
  setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
  QApplication application(argc, argv);
  QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
