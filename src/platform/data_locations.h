#pragma once

#include <QString>
#include <functional>

namespace velmar {

// Where the files a person keeps live: the settings file, the report
// profiles (Profiles/) and the history backups (HistoryBackups/).
//
// A meter run from a folder of its own (the build folder, a portable copy)
// keeps them beside the executable, as it always has. An installed meter
// (bin/velmar beside share/velmar/), or one whose folder cannot be written,
// keeps them in $XDG_CONFIG_HOME/velmar. A settings file already beside the
// executable always wins, so nobody's settings are left behind. The key
// store lives in $XDG_DATA_HOME/velmar in every case.
class DataLocations {
 public:
  struct Folders {
    QString executableDir;
    QString configHome;  // $XDG_CONFIG_HOME, or ~/.config
    QString dataHome;    // $XDG_DATA_HOME, or ~/.local/share
    bool installedTree = false;
  };
  // Whether the user can create files in a folder; tests replace it (a
  // test running as root can write anywhere).
  using WritableProbe = std::function<bool(const QString& folder)>;

  static constexpr const char* kSettingsFileName = "Velmarsettings.ini";

  explicit DataLocations(Folders folders, const WritableProbe& writable = IsWritableFolder);
  // The running meter's locations, from its executable and environment.
  static DataLocations Current();

  // True when the files stay beside the executable.
  bool BesideExecutable() const { return besideExecutable_; }
  // The folder holding the settings file, Profiles/ and HistoryBackups/.
  const QString& Folder() const { return folder_; }
  QString SettingsFile() const;
  QString ProfilesFolder() const;
  QString BackupsFolder() const;
  // $XDG_DATA_HOME/velmar: the key store's folder.
  QString DataFolder() const;

  // The XDG base folders of this process (a relative value is ignored, as
  // the XDG rules say).
  static QString ConfigHome();
  static QString DataHome();
  static bool IsWritableFolder(const QString& folder);

 private:
  QString folder_;
  QString dataHome_;
  bool besideExecutable_ = true;
};

}  // namespace velmar
