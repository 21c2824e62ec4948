#pragma once

#include <QString>
#include <initializer_list>

#include "config/settings_list.h"
#include "config/settings_target.h"

namespace velmar {

class KeyStore;

// Reads the settings file (or makes the defaults) and applies every line to
// the running meter; writes the file back on request.
class SettingsLoader {
 public:
  static constexpr int kDefaultWidth = 281;
  static constexpr int kDefaultHeight = 496;

  // `store` may be null when no key store could be opened; the steps that
  // need it are then skipped as for a key that cannot be opened.
  SettingsLoader(SettingsList& list, SettingsTarget& target, KeyStore* store, QString filePath,
                 QString executablePath, QString autostartEntryPath);

  void SetStore(KeyStore* store) { store_ = store; }

  // Reads the file when `readFile`, else makes the defaults (a reset), then
  // applies every line. Raises on a failure that ends the routine part-way;
  // the lines applied until then stay applied.
  void LoadSettings(bool readFile);

  // Step 11 of LoadSettings on its own, for the setup dialogs: the proxy
  // of lines 8, 9 and 14 to the HTTP client; a port of 0 switches it off.
  void ApplyProxy();
  // For the setup dialogs: the proxy the lines say now replaces the one in
  // use, so a proxy switched off (or its host removed) goes at once and
  // downloads go direct.
  void ReplaceProxy();

  // Writes the list whole or not at all. Raises saying why it failed.
  void SaveSettings();

  // Writes `lines` as they stand now into the file as last saved, leaving
  // every other unsaved change unsaved: for what the meter itself learns
  // (where the chosen interface is now), which the user never has to save
  // and must not be asked about. Raises as SaveSettings does.
  void SaveOwnLines(std::initializer_list<SettingsLine> lines);

  // Whether the list holds changes that neither came from the file nor went
  // into it. The running total (line 7) and the Spy/Generate mode (line 4)
  // are the meter's own running state, not settings, and do not count.
  bool HasUnsavedChanges() const;

  // The four hints of the main speed displays for a kilobit of `bits`.
  static QString DownHint(int bits);
  static QString DownAvgHint(int bits);
  static QString UpHint(int bits);
  static QString UpAvgHint(int bits);
  // The main window's adapter caption for an adapter of that name.
  static QString AdapterCaption(const QString& adapter) {
    return QStringLiteral("Network Adapter: ") + adapter;
  }
  // ... for entry `index` of the list, with no name when there is none.
  static QString AdapterCaption(const QStringList& adapters, int index) {
    return AdapterCaption(index >= 0 && index < adapters.size() ? adapters[index] : QString());
  }
  // All four, for the kilobit setting `kilobitMode`, handed to `target`.
  static void ShowSpeedHints(SettingsTarget& target, uint8_t kilobitMode);

  // The file's bytes for a list: every line ended by CR LF.
  static QByteArray Serialise(const SettingsList& list);

 private:
  void UseDefaults(bool replacingUnusableFile);
  void ApplyAutostart();
  void ApplyProductKey();

  SettingsList& list_;
  SettingsTarget& target_;
  KeyStore* store_;
  QString filePath_;
  QString executablePath_;
  QString autostartEntryPath_;
  // The lines as last read, made or written.
  QStringList savedLines_;
};

}  // namespace velmar
