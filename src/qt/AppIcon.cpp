#include "qt/AppIcon.h"

#include <QSize>
#include <QString>

// The resources live in a static library: referencing their initialiser keeps the linker from dropping them.
static void InitKestrionResources() {
  Q_INIT_RESOURCE(kestrion);
}

namespace kestrion {

QIcon ApplicationIcon() {
  InitKestrionResources();
  const QString drawing = QStringLiteral(":/kestrion/kestrion.svg");
  QIcon icon;
  for (const int side : {16, 32, 48}) icon.addFile(drawing, QSize(side, side));
  return icon;
}

}  // namespace kestrion
