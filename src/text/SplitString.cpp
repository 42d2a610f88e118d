#include "text/SplitString.h"

namespace kestrion {

void SplitString(CString text, CStringArray& list, CString delimiter) {
  if (text.IsEmpty()) {
    list.RemoveAll();
    return;
  }
  text.TrimLeft();
  text.TrimCrsThenLfs();
  list.RemoveAll();
  int start = 0;
  for (;;) {
    const int at = delimiter.IsEmpty() ? -1 : text.Find(delimiter, start);
    const int end = at < 0 ? text.GetLength() : at;
    if (end > start) list.Add(text.Mid(start, end - start));
    if (at < 0) break;
    start = at + delimiter.GetLength();
  }
}

}  // namespace kestrion
