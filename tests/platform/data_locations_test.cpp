#include "platform/data_locations.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/app_paths.h"

namespace velmar {
namespace {

void Touch(const QString& path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

// A tree like /usr: bin/ with the executable, share/velmar/ when installed.
struct Tree {
  QTemporaryDir root;
  QString bin() const { return root.filePath("usr/bin"); }
  QString config() const { return root.filePath("home/.config"); }
  QString data() const { return root.filePath("home/.local/share"); }
  DataLocations Locations(bool installed, bool writable) const {
    return DataLocations({bin(), config(), data(), installed},
                         [writable](const QString&) { return writable; });
  }
};

TEST(DataLocationsTest, ThePortableCopyKeepsItsFilesUnlessItCannotOrIsInstalled) {
  Tree t;
  QDir().mkpath(t.bin());
  const QString xdg = t.config() + "/velmar";

  // A build folder or portable copy that can be written: beside it.
  DataLocations portable = t.Locations(false, true);
  EXPECT_TRUE(portable.BesideExecutable());
  EXPECT_EQ(portable.SettingsFile(), t.bin() + "/Velmarsettings.ini");
  EXPECT_EQ(portable.ProfilesFolder(), t.bin() + "/Profiles");
  EXPECT_EQ(portable.BackupsFolder(), t.bin() + "/HistoryBackups");

  // A folder that cannot be written, or an installed tree even where bin/
  // could be written (root, a prefix in the home): the XDG folder.
  for (const auto& [installed, writable] : {std::pair{false, false}, {true, true}, {true, false}}) {
    DataLocations l = t.Locations(installed, writable);
    EXPECT_FALSE(l.BesideExecutable()) << installed << writable;
    EXPECT_EQ(l.Folder(), xdg);
    EXPECT_EQ(l.SettingsFile(), xdg + "/Velmarsettings.ini");
    EXPECT_EQ(l.ProfilesFolder(), xdg + "/Profiles");
    EXPECT_EQ(l.BackupsFolder(), xdg + "/HistoryBackups");
  }
  EXPECT_EQ(t.Locations(true, true).DataFolder(), t.data() + "/velmar");

  // A settings file already beside the executable is never left behind,
  // writable folder or not, installed or not.
  Touch(t.bin() + "/Velmarsettings.ini");
  for (const auto& [installed, writable] : {std::pair{false, false}, {true, true}, {true, false}}) {
    EXPECT_EQ(t.Locations(installed, writable).SettingsFile(), t.bin() + "/Velmarsettings.ini");
  }
}

TEST(DataLocationsTest, XdgFoldersAndTheWritableProbe) {
  const QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME"),
                   data = qgetenv("XDG_DATA_HOME");
  qputenv("HOME", "/home/tester");
  qunsetenv("XDG_CONFIG_HOME");
  qunsetenv("XDG_DATA_HOME");
  EXPECT_EQ(DataLocations::ConfigHome(), "/home/tester/.config");
  EXPECT_EQ(DataLocations::DataHome(), "/home/tester/.local/share");
  qputenv("XDG_CONFIG_HOME", "relative/config");  // ignored, as the XDG rules say
  qputenv("XDG_DATA_HOME", "/xdg/data");
  EXPECT_EQ(DataLocations::ConfigHome(), "/home/tester/.config");
  EXPECT_EQ(DataLocations::DataHome(), "/xdg/data");
  qputenv("XDG_CONFIG_HOME", "/xdg/config");
  EXPECT_EQ(DataLocations::ConfigHome(), "/xdg/config");
  qputenv("HOME", home);
  config.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", config);
  data.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", data);

  QTemporaryDir dir;
  EXPECT_TRUE(DataLocations::IsWritableFolder(dir.path()));
  EXPECT_FALSE(DataLocations::IsWritableFolder(dir.filePath("missing")));
  Touch(dir.filePath("file"));
  EXPECT_FALSE(DataLocations::IsWritableFolder(dir.filePath("file"))) << "not a folder";
}

// The executable's folder as $VELMAR_APP_DIR sets it, for the look-ups of
// what ships with the meter.
class ShippedFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { qputenv("VELMAR_APP_DIR", bin().toUtf8()); }
  void TearDown() override { qunsetenv("VELMAR_APP_DIR"); }
  QString bin() const { return root.filePath("usr/bin"); }
  QTemporaryDir root;
};

TEST_F(ShippedFilesTest, BesideTheExecutableFirstThenTheInstalledTree) {
  QDir().mkpath(bin());
  // Neither: the usual place beside the executable is named.
  EXPECT_EQ(AgentLibraryPath("libmib2.so"), bin() + "/libmib2.so");
  EXPECT_EQ(HelpIndexPath(), bin() + "/help/index.html");
  EXPECT_TRUE(IconThemeDir().isEmpty());
  EXPECT_FALSE(RunsFromInstalledTree());

  // An installed tree: any agent library by name in lib/velmar, the manual
  // and the icons in share/.
  Touch(root.filePath("usr/lib/velmar/libmib2.so"));
  Touch(root.filePath("usr/lib/velmar/libother.so"));
  Touch(root.filePath("usr/share/velmar/help/index.html"));
  QDir().mkpath(root.filePath("usr/share/icons/hicolor"));
  EXPECT_EQ(AgentLibraryPath("libmib2.so"), root.filePath("usr/lib/velmar/libmib2.so"));
  EXPECT_EQ(AgentLibraryPath("libother.so"), root.filePath("usr/lib/velmar/libother.so"));
  EXPECT_EQ(AgentLibraryPath("libnone.so"), bin() + "/libnone.so");
  EXPECT_EQ(HelpIndexPath(), root.filePath("usr/share/velmar/help/index.html"));
  EXPECT_EQ(IconThemeDir(), root.filePath("usr/share/icons"));
  EXPECT_TRUE(RunsFromInstalledTree());
  EXPECT_FALSE(DataLocations::Current().BesideExecutable());

  // A copy beside the executable wins (a developer's library in a tree).
  Touch(bin() + "/libmib2.so");
  Touch(bin() + "/help/index.html");
  EXPECT_EQ(AgentLibraryPath("libmib2.so"), bin() + "/libmib2.so");
  EXPECT_EQ(HelpIndexPath(), bin() + "/help/index.html");
}

}  // namespace
}  // namespace velmar
