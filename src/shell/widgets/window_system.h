#pragma once

#include <QGuiApplication>
#include <QString>

namespace velmar {

// What the window system lets the meter do. On Wayland the compositor alone
// places windows and decides which is on top, and there is no beep.
inline bool OnWayland() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// The tip of every "on top" control where there is no such thing.
inline const QString kNoStayOnTopTip =
    QStringLiteral("Not on Wayland: there the desktop alone decides which window is on top.");

}  // namespace velmar
