#pragma once

#include <QApplication>
#include <QImage>
#include <QWidget>

namespace velmar::test {

// What the widget shows, in a format whose pixels compare exactly.
inline QImage Grab(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Lets pending update requests turn into paint events.
inline void Settle() {
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
  }
}

}  // namespace velmar::test
