// Data exchange between a dialog's controls and its fields, one function per kind of binding. Each follows the
// exchange's direction: into the field when it saves and validates, into the control otherwise.
#pragma once

#include <span>

#include "dialog/ByteTextBox.h"
#include "dialog/Controls.h"
#include "dialog/Dialog.h"
#include "text/CString.h"

namespace kestrion {

// Attaches the handle to control `id` by the first exchange; later exchanges do nothing.
void DDX_Control(CDataExchange& dx, int id, CComboBox& combo);
void DDX_Control(CDataExchange& dx, int id, CListBox& list);
void DDX_Control(CDataExchange& dx, int id, CByteTextBox& box);
// The whole text of a byte text box; `change` as CByteTextBox::SetBytes takes it.
void DDX_Text(CDataExchange& dx, CByteTextBox& box, CString& field, const TextChange* change = nullptr);
// A path box: the field holds the path's platform bytes (UTF-8 where the system's names are UTF-16), not code
// page 936 text.
void DDX_PathText(CDataExchange& dx, int id, CString& field);
// Into the field: the bytes of the selected entry (empty when none is selected). Into the control: selects
// the first entry that begins with the field's text, ignoring the case of single-byte letters; when none
// does, or the text is empty, the selection stays.
void DDX_CBString(CDataExchange& dx, CComboBox& combo, CString& field);
// Into the field: the index of the checked radio of `group` (-1 when none is). Into the controls: checks the
// radio of that index and unchecks the others.
void DDX_Radio(CDataExchange& dx, std::span<const int> group, int& field);

// True when `text` begins with `prefix`, ignoring the case of single-byte letters; two-byte characters match
// exactly.
bool BeginsWithIgnoringCase(const CString& text, const CString& prefix);

}  // namespace kestrion
