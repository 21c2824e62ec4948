#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QTimer>

namespace velmar {

// Whether the session bus has a tray for StatusNotifierItems, the D-Bus
// tray of today's desktops (and the only one on Wayland): a
// StatusNotifierWatcher with a host registered. Watched, so that a panel
// that starts after the meter, or restarts, is noticed.
class StatusNotifierWatch : public QObject {
  Q_OBJECT

 public:
  static const QString kWatcherService;

  explicit StatusNotifierWatch(QDBusConnection bus = QDBusConnection::sessionBus());

  bool HostPresent() const { return present_; }

 Q_SIGNALS:
  // HostPresent changed.
  void HostChanged(bool present);

 private:
  void Check();
  void Set(bool present);

  QDBusConnection bus_;
  QDBusServiceWatcher services_;
  // The watcher's "a host registered" signal lands on this timer's start
  // slot (D-Bus signals need a slot by name); its timeout asks again.
  QTimer hostSignal_;
  bool present_ = false;
};

}  // namespace velmar
