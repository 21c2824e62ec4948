#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace velmar {

// What applying the settings touches in the running meter: the main window
// (or the headless runner, or a test) implements it, so the settings code
// stays below the window, the HTTP client and the displays.
class SettingsTarget {
 public:
  virtual ~SettingsTarget() = default;

  virtual void SetProgramSection(uint8_t section) = 0;
  virtual void SetWindowSize(int width, int height) = 0;
  // "All" followed by every interface name, as BuildAdapterList makes it.
  virtual QStringList BuildAdapterList() = 0;
  virtual void SetAdapterList(const QStringList& adapters) = 0;
  virtual void SetKilobitMode(uint8_t mode) = 0;
  virtual void SetSpeedHints(const QString& down, const QString& downAvg, const QString& up,
                             const QString& upAvg) = 0;
  virtual void SetAveragingMode(uint8_t mode) = 0;
  virtual void SetTotalDisplay(int value) = 0;
  virtual void SetStayOnTop(bool onTop) = 0;
  virtual void SetAdapterIndex(int16_t index) = 0;
  virtual void SetAdapterLabel(const QString& caption) = 0;
  // The HTTP client's proxy and URL.
  virtual void SetProxy(const QString& host) = 0;
  virtual void SetProxyPort(uint16_t port) = 0;
  virtual void SetUrl(const QString& url) = 0;
  virtual void SetWebPageAddress(const QString& address) = 0;
};

}  // namespace velmar
