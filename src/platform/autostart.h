#pragma once

#include <QString>

namespace velmar {

class KeyStore;

// Start with the desktop session: the "Velmar2000" value under the Run key
// of KeyRoot::kMachine, mirrored to the XDG autostart entry so a Linux
// desktop really starts the meter. Both exist exactly when enabled.
class Autostart {
 public:
  static const QString kRunKey;
  static const QString kValueName;

  // `store` may be null when no key store could be opened.
  explicit Autostart(KeyStore* store, QString desktopEntryPath = DefaultDesktopEntryPath());

  // Writes or removes both. False, with nothing changed, when the Run key
  // cannot be opened; raises when a write fails after that.
  bool Apply(bool enabled, const QString& executablePath);

  // As the setup dialogs need it: enabling raises "Failed to set data for
  // 'Velmar2000'" when the Run key cannot be opened or written; a disabling
  // that cannot be done passes silently.
  void Write(bool enabled, const QString& executablePath);

  // $XDG_CONFIG_HOME/autostart/velmar.desktop (~/.config by default).
  static QString DefaultDesktopEntryPath();
  static QString DesktopEntry(const QString& executablePath);

 private:
  KeyStore* store_;
  QString desktopEntryPath_;
};

}  // namespace velmar
