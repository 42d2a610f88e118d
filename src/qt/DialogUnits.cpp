#include "qt/DialogUnits.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QWidget>
#include <algorithm>

namespace kestrion {
namespace {

// x * numerator / denominator, rounded half away from zero.
int Scale(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogBaseUnits{(letters / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const QRect& dialogUnits, DialogBaseUnits base) {
  return QRect(Scale(dialogUnits.x(), base.charWidth, 4), Scale(dialogUnits.y(), base.charHeight, 8),
               Scale(dialogUnits.width(), base.charWidth, 4),
               Scale(dialogUnits.height(), base.charHeight, 8));
}

void PlaceByDialogUnits(QWidget& dialog) {
  const DialogBaseUnits base = BaseUnitsOf(dialog.font());
  const QVariant own = dialog.property(kDialogUnitsProperty);
  if (own.canConvert<QRect>()) dialog.setFixedSize(DialogUnitsToPixels(own.toRect(), base).size());

  for (QWidget* child : dialog.findChildren<QWidget*>()) {
    const QVariant place = child->property(kDialogUnitsProperty);
    if (!place.canConvert<QRect>()) continue;
    QRect pixels = DialogUnitsToPixels(place.toRect(), base);
    if (auto* combo = qobject_cast<QComboBox*>(child)) {
      const int closed = std::min(combo->sizeHint().height(), pixels.height());
      const int entryHeight = std::max(1, combo->fontMetrics().height() + 2);
      combo->setMaxVisibleItems(std::max(1, (pixels.height() - closed) / entryHeight));
      pixels.setHeight(closed);
    }
    child->setGeometry(pixels);
    if (qobject_cast<QGroupBox*>(child) != nullptr) child->lower();
  }
}

}  // namespace kestrion
