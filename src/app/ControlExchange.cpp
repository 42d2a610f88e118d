#include "app/ControlExchange.h"

#include <QButtonGroup>
#include <QByteArray>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>

#include "app/DataBox.h"
#include "app/DisplayCodec.h"
#include "app/PathText.h"

namespace kestrion {
namespace {

constexpr int kBytesRole = Qt::UserRole;

char FoldCase(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

CString FromQByteArray(const QByteArray& bytes) {
  return CString(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QByteArray ToQByteArray(const std::string& bytes) {
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

void ExchangeText(bool intoField, DataBox& box, CString& field) {
  if (intoField) {
    box.CopyBytesTo(field);
  } else {
    box.SetBytes(field);
  }
}

void ExchangePath(bool intoField, QLineEdit& box, CString& field) {
  if (intoField) {
    field = NameBytes(box.text());
  } else {
    // Setting the same text again would only move the operator's cursor to the end.
    const QString shown = NameText(field);
    if (box.text() != shown) box.setText(shown);
  }
}

void ExchangeComboText(bool intoField, QComboBox& combo, CString& field) {
  if (intoField) {
    field = ComboEntry(combo, combo.currentIndex());
    return;
  }
  if (field.IsEmpty()) return;
  for (int i = 0; i < combo.count(); ++i) {
    if (BeginsWithIgnoringCase(ComboEntry(combo, i), field)) {
      combo.setCurrentIndex(i);
      return;
    }
  }
}

void ExchangeRadio(bool intoField, QRadioButton* const* group, int count, int& field) {
  if (intoField) {
    field = -1;
    for (int i = 0; i < count; ++i) {
      if (group[i]->isChecked()) {
        field = i;
        return;
      }
    }
    return;
  }
  // An exclusive group refuses to uncheck its last checked radio, which an index out of range asks for.
  QButtonGroup* buttonGroup = count > 0 ? group[0]->group() : nullptr;
  const bool exclusive = buttonGroup != nullptr && buttonGroup->exclusive();
  if (exclusive) buttonGroup->setExclusive(false);
  for (int i = 0; i < count; ++i) {
    const bool autoExclusive = group[i]->autoExclusive();
    group[i]->setAutoExclusive(false);
    group[i]->setChecked(i == field);
    group[i]->setAutoExclusive(autoExclusive);
  }
  if (exclusive) buttonGroup->setExclusive(true);
}

void AddComboEntry(QComboBox& combo, const CString& entry) {
  combo.addItem(DisplayCodec::Instance().Decode(entry.View()), ToQByteArray(entry.Bytes()));
}

void AddPortEntry(QComboBox& combo, const std::string& portName) {
  combo.addItem(NameText(CString(portName)), ToQByteArray(portName));
}

CString ComboEntry(const QComboBox& combo, int index) {
  if (index < 0 || index >= combo.count()) return CString();
  return FromQByteArray(combo.itemData(index, kBytesRole).toByteArray());
}

bool BeginsWithIgnoringCase(const CString& text, const CString& prefix) {
  if (prefix.GetLength() > text.GetLength()) return false;
  for (int pos = 0; pos < prefix.GetLength();) {
    const bool twoBytes = IsLeadByte(static_cast<unsigned char>(prefix[pos])) && pos + 1 < prefix.GetLength();
    if (twoBytes) {
      // The text's character here must be the same pair, not a lead byte whose trail merely agrees.
      if (prefix[pos] != text[pos] || prefix[pos + 1] != text[pos + 1]) return false;
      pos += 2;
    } else {
      if (IsLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.GetLength()) return false;
      if (FoldCase(prefix[pos]) != FoldCase(text[pos])) return false;
      pos += 1;
    }
  }
  return true;
}

}  // namespace kestrion
