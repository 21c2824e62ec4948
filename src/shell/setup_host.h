#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>

#include "config/settings_line.h"

namespace velmar {

class KeyStore;
class SettingsList;

// What the two setup dialogs read and change in the running meter. The
// main window implements it.
class SetupHost {
 public:
  virtual ~SetupHost() = default;

  virtual SettingsList& Settings() = 0;
  virtual const QStringList& AdapterNames() const = 0;
  virtual bool AnalysisRunning() const = 0;

  virtual uint8_t KilobitMode() const = 0;
  virtual void SetKilobitMode(uint8_t mode) = 0;
  // The four speed displays' hints for a kilobit of 1000 + 24 * mode bits.
  virtual void SetSpeedHintsFor(uint8_t kilobitMode) = 0;
  virtual void SetAveragingMode(uint8_t mode) = 0;
  virtual int16_t AdapterIndex() const = 0;
  virtual void SetAdapterIndex(int16_t index) = 0;
  virtual void SetAdapterLabel(const QString& caption) = 0;
  virtual void ShowTip(Tip tip) = 0;
  // Window style and the tray item "Stay on &Top" together.
  virtual void SetStayOnTop(bool onTop) = 0;
  // The proxy of lines 8, 9 and 14 to the HTTP client, as LoadSettings
  // applies it (a port of 0 switches it off and sets line 14 to "0"),
  // replacing the one in use: none when the lines switch it off.
  virtual void ApplyProxyFromSettings() = 0;
  virtual void SetUrl(const QString& url) = 0;
  // Clears the list and runs LoadSettings with readFile true.
  virtual void ReloadSettings() = 0;
  // Loads the agent for the source the settings now choose (this computer
  // or a device on the network) and lists its interfaces.
  virtual void ChangeSource() {}
  // Starts or stops the history's volumes per program as settings line 65
  // now says.
  virtual void RecordPrograms() {}
  // Writes or removes the autostart value (and its desktop entry);
  // enabling raises when it cannot be written.
  virtual void WriteAutostart(bool enabled) = 0;
  // The application's error report.
  virtual void ReportError(const std::exception& error) = 0;
};

}  // namespace velmar
