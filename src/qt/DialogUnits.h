// Dialog units: the windows are drawn in units of their font, so that they keep their proportions whatever
// the font and the screen's resolution. One horizontal unit is a quarter of the font's average character
// width, one vertical unit an eighth of its character height.
#pragma once

#include <QRect>

class QFont;
class QWidget;

namespace kestrion {

struct DialogBaseUnits {
  int charWidth = 0;   // average width of a letter, in pixels
  int charHeight = 0;  // height of a line of text, in pixels
};

DialogBaseUnits BaseUnitsOf(const QFont& font);
QRect DialogUnitsToPixels(const QRect& dialogUnits, DialogBaseUnits base);

// The property that carries a control's place in dialog units (a QRect: x, y, width, height).
inline constexpr char kDialogUnitsProperty[] = "dialogUnits";

// Sizes `dialog` (fixed) and places every child that carries kDialogUnitsProperty, through the dialog's font.
// A combo box takes its own closed height; the rest of its height becomes the number of entries its list
// shows. Group boxes go to the back so that they never cover the controls drawn in them.
void PlaceByDialogUnits(QWidget& dialog);

}  // namespace kestrion
