#include "config/settings_loader.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <random>

#include "config/product.h"
#include "platform/autostart.h"
#include "platform/registry.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

class RecordingTarget : public SettingsTarget {
 public:
  void SetProgramSection(uint8_t s) override { section = s; }
  void SetWindowSize(int w, int h) override { sizes.emplace_back(w, h); }
  QStringList BuildAdapterList() override {
    if (failAdapters)
      throw Exception("SNMP query failed.");
    return adapters;
  }
  void SetAdapterList(const QStringList& a) override { adapterList = a; }
  void SetKilobitMode(uint8_t m) override { kilobitMode = m; }
  void SetSpeedHints(const QString& d, const QString& da, const QString& u,
                     const QString& ua) override {
    hints = {d, da, u, ua};
  }
  void SetAveragingMode(uint8_t m) override { averagingMode = m; }
  void SetTotalDisplay(int v) override { total = v; }
  void SetStayOnTop(bool t) override { stayOnTop = t; }
  void SetAdapterIndex(int16_t i) override { adapterIndex = i; }
  void SetAdapterLabel(const QString& c) override { adapterLabel = c; }
  void SetProxy(const QString& h) override { proxy = h; }
  void SetProxyPort(uint16_t p) override { proxyPort = p; }
  void SetUrl(const QString& u) override { url = u; }
  void SetWebPageAddress(const QString& a) override { webPage = a; }

  QStringList adapters{"All", "lo", "eth0"};
  bool failAdapters = false;
  int section = 0;
  std::vector<std::pair<int, int>> sizes;
  QStringList adapterList, hints;
  int kilobitMode = -1, averagingMode = -1, total = -1, adapterIndex = -1;
  bool stayOnTop = false;
  QString adapterLabel, proxy = "unset", url, webPage;
  int proxyPort = -1;
};

class SettingsLoaderTest : public ::testing::Test {
 protected:
  SettingsLoaderTest()
      : path(dir.filePath("Velmarsettings.ini")),
        desktop(dir.filePath("autostart/velmar.desktop")),
        loader(list, target, store.store.get(), path, "/opt/velmar/velmar", desktop) {}

  void WriteFile(const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  QByteArray FileBytes() {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
  }
  // The default lines with some changed.
  static QStringList Lines(std::initializer_list<std::pair<int, QString>> changes, int count = 44) {
    QStringList l = SettingsList::DefaultLines();
    while (l.size() < count)
      l << QStringLiteral("extra %1").arg(l.size());
    while (l.size() > count)
      l.removeLast();
    for (const auto& [n, text] : changes)
      l[n] = text;
    return l;
  }
  void WriteLines(const QStringList& lines) {
    SettingsList s;
    s.SetLines(lines);
    WriteFile(SettingsLoader::Serialise(s));
  }

  QTemporaryDir dir;
  test::TempStore store;
  QString path, desktop;
  SettingsList list;
  RecordingTarget target;
  SettingsLoader loader;
};

TEST_F(SettingsLoaderTest, NoFileGivesTheDefaultsWrittenWithCrLf) {
  loader.LoadSettings(true);
  EXPECT_EQ(target.section, 12);
  EXPECT_EQ(list.Lines(), SettingsList::DefaultLines());
  ASSERT_EQ(list.Count(), 44);
  const QByteArray bytes = FileBytes();
  EXPECT_EQ(bytes.count("\r\n"), 44);
  EXPECT_EQ(bytes.count('\n'), 44);
  EXPECT_TRUE(
      bytes.startsWith("Velmar 2000 settings, please don't change this file! \r\n0\r\n1\r\n"
                       "http://\r\n0\r\n0\r\n0\r\n0\r\n\r\n\r\n0\r\n"));
  EXPECT_TRUE(bytes.endsWith("\r\n1\r\n1\r\n1\r\n"));
  EXPECT_EQ(target.sizes.front(), std::make_pair(281, 496));
  EXPECT_EQ(target.adapterList, target.adapters);
  EXPECT_EQ(target.kilobitMode, 0);
  EXPECT_EQ(target.hints[0], "Downstream dataflow in KiloBits per second. (1Kbit=1000 bits!)");
  EXPECT_EQ(target.hints[1],
            "Average Downstream dataflow in KiloBits per second. (1Kbit=1000 bits!)");
  EXPECT_EQ(target.hints[2], "Upstream dataflow in KiloBits per second. (1Kbit=1000 bits!)");
  EXPECT_EQ(target.hints[3],
            "Average Upstream dataflow in KiloBits per second. (1Kbit=1000 bits!)");
  EXPECT_EQ(target.averagingMode, 1);
  EXPECT_EQ(target.total, 0);
  EXPECT_FALSE(target.stayOnTop);
  EXPECT_EQ(target.adapterIndex, 0);
  EXPECT_EQ(target.adapterLabel, "Network Adapter: All");
  EXPECT_EQ(target.url, "http://");
  EXPECT_EQ(target.proxy, "unset") << "proxy settings untouched without line 14";
  EXPECT_EQ(target.webPage, kDefaultWebPageAddress);
  // No placement was ever saved: 281 x 496 once more.
  EXPECT_EQ(target.sizes.size(), 2u);
  EXPECT_FALSE(QFileInfo::exists(path + ".old"));
}

TEST_F(SettingsLoaderTest, ShortFilesAreReplacedLongOnesKeepTheirExtraLines) {
  WriteLines(Lines({{1, "1"}}, 43));
  const QByteArray shortFile = FileBytes();
  loader.LoadSettings(true);
  EXPECT_EQ(list.Lines(), SettingsList::DefaultLines());
  EXPECT_EQ(target.kilobitMode, 0);
  EXPECT_EQ(FileBytes(), SettingsLoader::Serialise(list));
  QFile old(path + ".old");
  ASSERT_TRUE(old.open(QIODevice::ReadOnly)) << "the unusable file is kept aside";
  EXPECT_EQ(old.readAll(), shortFile);

  const QStringList fifty = Lines({{1, "1"}, {7, "12345"}}, 50);
  WriteLines(fifty);
  target.sizes.clear();
  loader.LoadSettings(true);
  EXPECT_EQ(list.Lines(), fifty);
  EXPECT_EQ(target.kilobitMode, 1);
  EXPECT_EQ(target.total, 12345);
  EXPECT_TRUE(target.hints[3].endsWith("1024 bits!)"));
  EXPECT_EQ(target.sizes.size(), 1u) << "only the missing placement resizes";
  loader.SaveSettings();
  EXPECT_EQ(FileBytes(), SettingsLoader::Serialise(list));
  SettingsList reread;
  ASSERT_TRUE(reread.LoadFromFile(path));
  EXPECT_EQ(reread.Lines(), fifty) << "lines beyond 43 survive a save";
}

TEST_F(SettingsLoaderTest, NumbersThatDoNotParseTakeTheLinesValue) {
  for (const QString& bad :
       {QString("0"), QString("x"), QString(""), QString("1 "), QString("256")}) {
    WriteLines(Lines({{2, bad}, {1, "k"}, {7, "lots"}, {13, "-"}}));
    loader.LoadSettings(true);
    EXPECT_EQ(target.averagingMode, 1) << bad.toStdString();
    EXPECT_EQ(target.kilobitMode, 0);
    EXPECT_EQ(target.total, 0);
    EXPECT_EQ(target.adapterIndex, 0);
  }
  WriteLines(Lines({{2, "3"}, {12, "1"}, {13, "2"}}));
  loader.LoadSettings(true);
  EXPECT_EQ(target.averagingMode, 3);
  EXPECT_TRUE(target.stayOnTop);
  EXPECT_EQ(target.adapterLabel, "Network Adapter: eth0");
  // Whole-text comparison: "1 " is not "1".
  WriteLines(Lines({{12, "1 "}, {13, "9"}}));
  loader.LoadSettings(true);
  EXPECT_FALSE(target.stayOnTop);
  EXPECT_EQ(target.adapterIndex, 9);
  EXPECT_EQ(target.adapterLabel, "Network Adapter: ");
}

TEST_F(SettingsLoaderTest, ProxyNeedsLine14AHostAndAPort) {
  WriteLines(Lines({{14, "1"}, {8, "proxy.lan"}, {9, ""}}));
  const QByteArray before = FileBytes();
  loader.LoadSettings(true);
  EXPECT_EQ(target.proxy, "") << "a port of 0 switches the proxy off";
  EXPECT_EQ(target.proxyPort, 0);
  EXPECT_EQ(list.Line(14), "0");
  EXPECT_EQ(FileBytes(), before) << "changed in memory only";

  WriteLines(Lines({{14, "1"}, {8, QString(300, 'p')}, {9, "3128"}, {3, ""}}));
  loader.LoadSettings(true);
  EXPECT_EQ(target.proxy, QString(255, 'p'));
  EXPECT_EQ(target.proxyPort, 3128);
  EXPECT_EQ(target.url, "http://") << "an empty URL line counts as http://";

  target.proxy = "unset";
  WriteLines(Lines({{14, "1"}, {8, ""}, {9, "3128"}, {3, "http://example.test/file"}}));
  loader.LoadSettings(true);
  EXPECT_EQ(target.proxy, "unset");
  EXPECT_EQ(target.url, "http://example.test/file");
  // 65536 does not fit the 16-bit port: 0, proxy off.
  WriteLines(Lines({{14, "1"}, {8, "h"}, {9, "65536"}}));
  loader.LoadSettings(true);
  EXPECT_EQ(target.proxy, "");
}

TEST_F(SettingsLoaderTest, AwkwardFilesLoadWithoutHarm) {
  // LF-only and CR-only line ends.
  QByteArray lf, cr;
  for (const QString& l : Lines({{1, "1"}})) {
    lf += l.toLatin1() + "\n";
    cr += l.toLatin1() + "\r";
  }
  WriteFile(lf);
  loader.LoadSettings(true);
  EXPECT_EQ(target.kilobitMode, 1);
  EXPECT_EQ(list.Count(), 44);
  WriteFile(cr);
  loader.LoadSettings(true);
  EXPECT_EQ(target.kilobitMode, 1);
  EXPECT_EQ(list.Count(), 44);

  // A 1 MB line and no final line end.
  QStringList big = Lines({{40, QString(1 << 20, 'z')}});
  SettingsList s;
  s.SetLines(big);
  QByteArray bytes = SettingsLoader::Serialise(s);
  bytes.chop(2);
  WriteFile(bytes);
  loader.LoadSettings(true);
  EXPECT_EQ(list.Lines(), big);

  // Binary garbage: all 256 byte values, many lines; whatever it holds is
  // read as text and survives a save byte for byte.
  QByteArray garbage;
  std::mt19937 random(7);
  for (int i = 0; i < 4000; ++i)
    garbage += static_cast<char>(random() & 0xFF);
  for (int i = 0; i < 60; ++i)
    garbage += "\r\n";
  WriteFile(garbage);
  loader.LoadSettings(true);
  EXPECT_GE(list.Count(), 44);
  loader.SaveSettings();
  SettingsList again;
  ASSERT_TRUE(again.LoadFromFile(path));
  EXPECT_EQ(again.Lines(), list.Lines());

  // A settings path that is a directory cannot be read: defaults in
  // memory, the directory left alone, no error.
  QTemporaryDir other;
  SettingsLoader onDir(list, target, nullptr, other.path(), "/x", desktop);
  EXPECT_NO_THROW(onDir.LoadSettings(true));
  EXPECT_EQ(list.Lines(), SettingsList::DefaultLines());
  EXPECT_TRUE(QFileInfo(other.path()).isDir());
}

TEST_F(SettingsLoaderTest, TextOutsideLatin1SurvivesASaveAndForeignBytesAreKept) {
  const QString program = QStringLiteral("/home/\u0436/alarm \u2192 \U0001F4E1");
  const QString url = QStringLiteral("http://\u043f\u0440\u0438\u043c\u0435\u0440.test/");
  WriteLines(Lines({{35, program}, {3, url}}));
  loader.LoadSettings(true);
  EXPECT_EQ(list.Line(35), program);
  loader.SaveSettings();
  EXPECT_TRUE(FileBytes().contains(program.toUtf8())) << "written as UTF-8";
  SettingsList again;
  ASSERT_TRUE(again.LoadFromFile(path));
  EXPECT_EQ(again.Line(35), program);
  EXPECT_EQ(again.Line(3), url);

  // A file from elsewhere in Latin-1: its bytes come back unchanged, even
  // when another line is edited; an edited foreign line is written as UTF-8.
  QByteArray latin1 = SettingsLoader::Serialise([] {
    SettingsList l;
    l.SetLines(Lines({}));
    return l;
  }());
  latin1.replace("Velmar reserved line, kept as written", "caf\xe9 \xff\xfe");
  WriteFile(latin1);
  loader.LoadSettings(true);
  list.SetLine(5, "1");
  loader.SaveSettings();
  QByteArray expected = latin1;
  expected.replace("\r\n0\r\n0\r\n0\r\n0\r\n\r\n", "\r\n0\r\n1\r\n0\r\n0\r\n\r\n");
  EXPECT_EQ(FileBytes(), expected);
  list.SetLine(40, list.Line(40) + "!");
  loader.SaveSettings();
  EXPECT_TRUE(FileBytes().contains("caf\xc3\xa9 \xc3\xbf\xc3\xbe!\r\n"));

  // Lines after 43 that this meter does not read, one beginning with a byte
  // order mark, the file's first line too: all written back byte for byte.
  QStringList lines = Lines({});
  lines << QStringLiteral("\uFEFF9473") << QStringLiteral("kept");
  QByteArray marked = SettingsLoader::Serialise([&] {
    SettingsList l;
    l.SetLines(lines);
    return l;
  }());
  marked.prepend("\xef\xbb\xbf");
  WriteFile(marked);
  loader.LoadSettings(true);
  loader.SaveSettings();
  EXPECT_EQ(FileBytes(), marked);
}

TEST_F(SettingsLoaderTest, SaveFailuresRaiseAndLeaveTheFileAlone) {
  loader.LoadSettings(true);
  const QByteArray before = FileBytes();
  // A directory that cannot hold files: the parent is a file.
  SettingsLoader nowhere(list, target, nullptr, path + "/Velmarsettings.ini", "/x", desktop);
  EXPECT_THROW(nowhere.SaveSettings(), Exception);
  EXPECT_NO_THROW(nowhere.LoadSettings(false)) << "creating defaults ignores a failed write";
  EXPECT_EQ(FileBytes(), before);
  // No stray temporary files are left beside the settings.
  EXPECT_EQ(QDir(dir.path()).entryList({"Velmarsettings.ini.*"}, QDir::Files), QStringList());
}

TEST_F(SettingsLoaderTest, ResetWritesTheDefaultsAtOnce) {
  WriteLines(Lines({{1, "1"}, {7, "99"}}));
  loader.LoadSettings(true);
  EXPECT_EQ(target.total, 99);
  target.sizes.clear();
  loader.LoadSettings(false);
  EXPECT_EQ(list.Lines(), SettingsList::DefaultLines());
  EXPECT_EQ(FileBytes(), SettingsLoader::Serialise(list));
  EXPECT_EQ(target.total, 0);
  EXPECT_EQ(target.sizes.front(), std::make_pair(281, 496));
  EXPECT_FALSE(QFileInfo::exists(path + ".old")) << "a reset keeps no copy of a good file";
}

TEST_F(SettingsLoaderTest, TheMetersOwnLinesAreSavedAloneAndNeverAskedAbout) {
  WriteLines(Lines({{13, "2"}}));
  loader.LoadSettings(true);
  list.SetLine(SettingsLine::kGenerateUrl, "http://changed.example/");  // the user's, unsaved
  list.SetLine(SettingsLine::kAdapterIndex, "3");  // the meter's, found by name
  list.SetLineExtending(SettingsLine::kAdapterName, "eth0");
  loader.SaveOwnLines({SettingsLine::kAdapterIndex, SettingsLine::kAdapterName});

  SettingsList stored;
  ASSERT_TRUE(stored.LoadComplete(path));
  EXPECT_EQ(stored.Line(SettingsLine::kAdapterIndex), "3");
  EXPECT_EQ(stored.Line(SettingsLine::kAdapterName), "eth0");
  EXPECT_EQ(stored.Count(), static_cast<int>(SettingsLine::kAdapterName) + 1);
  EXPECT_EQ(stored.Line(SettingsLine::kGenerateUrl), "http://")
      << "the user's change stays unsaved";
  EXPECT_TRUE(loader.HasUnsavedChanges());
  list.SetLine(SettingsLine::kGenerateUrl, "http://");
  EXPECT_FALSE(loader.HasUnsavedChanges()) << "the meter's own lines were asked about";
}

TEST_F(SettingsLoaderTest, AutostartValueAndDesktopEntryFollowLine10) {
  WriteLines(Lines({{10, "1"}}));
  loader.LoadSettings(true);
  Registry reg(*store.store);
  reg.SetRootKey(KeyRoot::kMachine);
  ASSERT_TRUE(reg.OpenKey(Autostart::kRunKey, false));
  EXPECT_EQ(reg.ReadString("Velmar2000"), "/opt/velmar/velmar");
  QFile entry(desktop);
  ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
  const QByteArray text = entry.readAll();
  EXPECT_TRUE(text.contains("Exec=\"/opt/velmar/velmar\"\n")) << text.constData();
  EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));

  WriteLines(Lines({{10, "0"}}));
  loader.LoadSettings(true);
  EXPECT_FALSE(reg.ValueExists("velmar2000"));
  EXPECT_FALSE(QFileInfo::exists(desktop));
  // Nothing to remove is no error.
  EXPECT_NO_THROW(loader.LoadSettings(true));

  EXPECT_EQ(Autostart::DesktopEntry("/a b/$x\"y").split('\n')[4].toStdString(),
            "Exec=\"/a b/\\$x\\\"y\"");

  // Without a store nothing is written anywhere.
  SettingsLoader noStore(list, target, nullptr, path, "/opt/velmar/velmar", desktop);
  list.SetLine(10, "1");
  WriteLines(Lines({{10, "1"}}));
  noStore.LoadSettings(true);
  EXPECT_FALSE(QFileInfo::exists(desktop));
}

TEST_F(SettingsLoaderTest, AnAutostartEntryThatCannotBeWrittenOrRemovedKeepsTheLoadGoing) {
  // The entry's folder is a plain file: the entry can be neither written
  // nor removed (permissions would not stop a test run as root).
  QFile blocker(dir.filePath("blocked"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  SettingsLoader blocked(list, target, store.store.get(), path, "/opt/velmar/velmar",
                         dir.filePath("blocked/velmar.desktop"));
  WriteLines(Lines(
      {{10, "1"}, {3, "http://example.test/big"}, {8, "proxy.test"}, {9, "3128"}, {14, "1"}}));
  EXPECT_ANY_THROW(blocked.LoadSettings(true)) << "a failed write is reported";
  EXPECT_EQ(target.url, "http://example.test/big") << "and the load went on";
  EXPECT_EQ(target.proxy, "proxy.test");
  EXPECT_EQ(target.proxyPort, 3128);
  EXPECT_FALSE(target.webPage.isEmpty());

  // Removing an entry that cannot go is not an error.
  ASSERT_TRUE(QDir().mkpath(desktop));  // a folder where the entry would be
  target.url.clear();
  WriteLines(Lines({{10, "0"}, {3, "http://example.test/other"}}));
  EXPECT_NO_THROW(loader.LoadSettings(true));
  EXPECT_EQ(target.url, "http://example.test/other");
}

TEST_F(SettingsLoaderTest, WebPageAddressAndPlacementCheckInTheProductKey) {
  Registry reg(*store.store);
  reg.SetRootKey(KeyRoot::kMachine);
  ASSERT_TRUE(reg.OpenKey(kProductKey, true));
  reg.WriteString("URLMem2", "https://mine.example/");
  reg.WriteInteger("RCWidth", 300);
  WriteLines(Lines({}));
  loader.LoadSettings(true);
  EXPECT_EQ(target.webPage, "https://mine.example/");
  EXPECT_TRUE(target.sizes.empty()) << "a saved placement is left to the placement store";

  // Wrong types: a URL stored as a number is a clear error; a width of any
  // type counts as a saved placement.
  reg.DeleteValue("URLMem2");
  reg.WriteInteger("urlmem2", 5);
  reg.DeleteValue("RCWidth");
  reg.WriteString("RCWidth", "wide");
  try {
    loader.LoadSettings(true);
    ADD_FAILURE() << "no error for a URL of the wrong type";
  } catch (const RegistryError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'URLMem2'");
  }
  EXPECT_EQ(reg.ReadInteger("URLMem2"), 5) << "the stored value is not overwritten";
  EXPECT_EQ(target.url, "http://") << "the steps before it were applied";
}

TEST_F(SettingsLoaderTest, AnAgentFailureEndsTheRoutineAfterTheFileStep) {
  WriteLines(Lines({{1, "1"}}));
  target.failAdapters = true;
  EXPECT_THROW(loader.LoadSettings(true), Exception);
  EXPECT_EQ(list.Line(1), "1");
  EXPECT_EQ(target.kilobitMode, -1) << "later steps did not run";
}

// A child process saves two different lists over and over; it is killed at
// a random moment. The file is always one of the two lists, never torn.
TEST_F(SettingsLoaderTest, SavesAreAtomicUnderSigkill) {
  SettingsList a, b;
  a.SetLines(Lines({{40, QString(200000, 'a')}}));
  b.SetLines(Lines({{40, QString(300000, 'b')}, {1, "1"}}, 47));
  const QByteArray aBytes = SettingsLoader::Serialise(a);
  const QByteArray bBytes = SettingsLoader::Serialise(b);
  SettingsLoader saveA(a, target, nullptr, path, "/x", desktop);
  saveA.SaveSettings();
  std::mt19937 random(42);
  for (int round = 0; round < 40; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      RecordingTarget t;
      SettingsLoader sa(a, t, nullptr, path, "/x", desktop);
      SettingsLoader sb(b, t, nullptr, path, "/x", desktop);
      for (int i = 0;; ++i) {
        (i % 2 ? sa : sb).SaveSettings();
      }
    }
    usleep(1000 + random() % 20000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    const QByteArray now = FileBytes();
    ASSERT_TRUE(now == aBytes || now == bBytes) << "round " << round << ": " << now.size();
  }
}

}  // namespace
}  // namespace velmar

namespace velmar {
namespace {

TEST(AutostartTest, TheDialogsWriteRaisesOnlyWhenEnablingFails) {
  test::TempStore store;
  QTemporaryDir dir;
  const QString entry = dir.filePath("autostart/velmar.desktop");
  Autostart(store.store.get(), entry).Write(true, "/opt/velmar/velmar");
  EXPECT_TRUE(QFileInfo::exists(entry));
  KeyStore readOnly(store.store->Path(), KeyStore::Access::ReadOnly);
  try {
    Autostart(&readOnly, entry).Write(true, "/opt/velmar/velmar");
    ADD_FAILURE() << "no error";
  } catch (const RegistryError& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'Velmar2000'");
  }
  EXPECT_NO_THROW(Autostart(&readOnly, entry).Write(false, "/x")) << "a failed removal is silent";
  EXPECT_THROW(Autostart(nullptr, entry).Write(true, "/x"), RegistryError);
  Autostart(store.store.get(), entry).Write(false, "/x");
  EXPECT_FALSE(QFileInfo::exists(entry));
}

// Every start applies the setting; an entry that already says the same is
// left as it is (not replaced by a new file), one that differs is replaced.
TEST(AutostartTest, AnEntryAlreadyInPlaceIsNotWrittenAgain) {
  test::TempStore store;
  QTemporaryDir dir;
  const QString entry = dir.filePath("autostart/velmar.desktop");
  const auto inode = [&entry] {
    struct stat info {};
    EXPECT_EQ(::stat(entry.toLocal8Bit().constData(), &info), 0);
    return info.st_ino;
  };
  Autostart autostart(store.store.get(), entry);
  ASSERT_TRUE(autostart.Apply(true, "/opt/velmar/velmar"));
  const auto first = inode();
  ASSERT_TRUE(autostart.Apply(true, "/opt/velmar/velmar"));
  EXPECT_EQ(inode(), first) << "the same entry was written again";
  ASSERT_TRUE(autostart.Apply(true, "/usr/local/bin/velmar"));
  EXPECT_NE(inode(), first);
  QFile file(entry);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), Autostart::DesktopEntry("/usr/local/bin/velmar").toUtf8());
  Registry reg(*store.store);
  reg.SetRootKey(KeyRoot::kMachine);
  ASSERT_TRUE(reg.OpenKey(Autostart::kRunKey, false));
  EXPECT_EQ(reg.ReadString(Autostart::kValueName), "/usr/local/bin/velmar");
}

// An installed meter's first save creates its folder under
// $XDG_CONFIG_HOME; a folder that cannot be had fails with a message naming
// it and leaves nothing behind.
TEST_F(SettingsLoaderTest, AFirstSaveCreatesTheSettingsFolderOrSaysWhyNot) {
  const QString xdg = dir.filePath("config/velmar");
  SettingsList saved;
  saved.SetLines(Lines({{13, "2"}}));
  SettingsLoader first(saved, target, nullptr, xdg + "/Velmarsettings.ini", "/usr/bin/velmar",
                       desktop);
  first.SaveSettings();
  SettingsList back;
  ASSERT_TRUE(back.LoadComplete(xdg + "/Velmarsettings.ini"));
  EXPECT_EQ(back.Line(13), "2");

  // A file where the folder should be.
  QFile blocker(dir.filePath("blocked"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  SettingsLoader blocked(saved, target, nullptr, dir.filePath("blocked/velmar/Velmarsettings.ini"),
                         "/usr/bin/velmar", desktop);
  try {
    blocked.SaveSettings();
    ADD_FAILURE() << "the save must fail";
  } catch (const Exception& e) {
    EXPECT_TRUE(e.Message().startsWith("Cannot create the settings folder " +
                                       dir.filePath("blocked/velmar") + ": "))
        << e.what();
  }
  EXPECT_EQ(QFileInfo(dir.filePath("blocked")).size(), 0);

  // A read-only folder (root writes anyway, so only others can see it).
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(QFile::encodeName(xdg).constData(), 0555), 0);
    saved.SetLine(13, "3");
    EXPECT_THROW(first.SaveSettings(), Exception);
    chmod(QFile::encodeName(xdg).constData(), 0755);
    EXPECT_EQ(QDir(xdg).entryList(QDir::Files), QStringList{"Velmarsettings.ini"});
    ASSERT_TRUE(back.LoadComplete(xdg + "/Velmarsettings.ini"));
    EXPECT_EQ(back.Line(13), "2");
  }
}

}  // namespace
}  // namespace velmar
