// Placeholder until the main window lands: shows that the program starts.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QLabel label(QStringLiteral("Kestrion"));
  label.setWindowTitle(QStringLiteral("Kestrion"));
  label.resize(400, 200);
  label.show();
  return QApplication::exec();
}
