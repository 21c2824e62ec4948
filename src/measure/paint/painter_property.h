#pragma once

#include <QColor>

namespace velmar {

// The display controls draw without transparency.
inline QColor Opaque(const QColor& color) {
  return QColor(color.rgb());
}

// A property setter's common part: stores `value` and tells whether it
// differed, so the picture is only redrawn after a real change.
template <typename T>
bool StoreIfChanged(T& field, const T& value) {
  if (field == value) {
    return false;
  }
  field = value;
  return true;
}

// Colours compare by their opaque RGB value, whatever colour spec they came in.
inline bool StoreIfChanged(QColor& field, const QColor& value) {
  const QColor opaque = Opaque(value);
  if (opaque.rgb() == field.rgb()) {
    return false;
  }
  field = opaque;
  return true;
}

// The same, marking the picture stale when the value changed.
template <typename T>
bool StoreIfChanged(T& field, const T& value, bool& stale) {
  const bool changed = StoreIfChanged(field, value);
  stale = stale || changed;
  return changed;
}

}  // namespace velmar
