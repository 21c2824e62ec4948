#pragma once

#include <QColor>
#include <cstdio>
#include <string>

namespace velmar::test {

// A colour as "#rrggbb", for messages that show which pixel differs.
inline std::string Hex(QRgb rgb) {
  char text[16];
  std::snprintf(text, sizeof text, "#%06x", rgb & 0xffffffu);
  return text;
}

}  // namespace velmar::test
