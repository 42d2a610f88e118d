// Data exchange between the main window's controls and its fields, one function per kind of binding.
// Each takes a direction: `intoField` true copies the control's content into the field, false the other way.
#pragma once

#include <string>

#include "text/CString.h"

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace kestrion {

class DataBox;

// The whole text of a data box.
void ExchangeText(bool intoField, DataBox& box, CString& field);
// A path box: the field holds the path's platform bytes (UTF-8 on Linux), not code page 936 text.
void ExchangePath(bool intoField, QLineEdit& box, CString& field);
// Into the field: the bytes of the selected entry (empty when none is selected). Into the control: selects
// the first entry that begins with the field's text, ignoring the case of single-byte letters; when none
// does, or the text is empty, the selection stays.
void ExchangeComboText(bool intoField, QComboBox& combo, CString& field);
// Into the field: the index of the checked radio of `group` (-1 when none is). Into the controls: checks the
// radio of that index and unchecks the others.
void ExchangeRadio(bool intoField, QRadioButton* const* group, int count, int& field);

// Combo entries keep their bytes beside the shown text, so that what the exchange hands over is byte-exact.
// A code page 936 entry, shown through the display codec.
void AddComboEntry(QComboBox& combo, const CString& entry);
// A port name: the platform's bytes of a device name or path, shown as a file name.
void AddPortEntry(QComboBox& combo, const std::string& portName);
CString ComboEntry(const QComboBox& combo, int index);

// True when `text` begins with `prefix`, ignoring the case of single-byte letters; two-byte characters match
// exactly.
bool BeginsWithIgnoringCase(const CString& text, const CString& prefix);

}  // namespace kestrion
