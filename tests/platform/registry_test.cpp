#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>

namespace velmar {
namespace {

const char kMeterKey[] = "\\Software\\Tollera Works\\Velmar2000";

// The message of the RegistryError `call` raises; fails the test when
// it raises nothing or something else.
QString RaisedMessage(const std::function<void()>& call) {
  try {
    call();
  } catch (const RegistryError& error) {
    return error.Message();
  } catch (const std::exception& error) {
    ADD_FAILURE() << "unexpected exception: " << error.what();
    return {};
  }
  ADD_FAILURE() << "nothing raised";
  return {};
}

QByteArray FileBytesOrMark(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  QString Path(const QString& name) const { return dir_.filePath(name); }

  QTemporaryDir dir_;
};

TEST_F(RegistryTest, ReadsBackEveryTypeWritten) {
  const QByteArray nuls("\x00\x01\x00\x00\xfe", 5);
  {
    KeyStore store(Path("registry.db"));
    Registry reg(store);
    EXPECT_EQ(reg.RootKey(), KeyRoot::kUser);
    ASSERT_TRUE(reg.OpenKey(kMeterKey, true));
    reg.WriteString("Empty", "");
    reg.WriteString("Caption", "Velmar – ✓");
    reg.WriteInteger("Zero", 0);
    reg.WriteInteger("Negative", -42);
    reg.WriteInteger("Max", 0x7FFFFFFF);
    reg.WriteInteger("Min", -0x7FFFFFFF - 1);
    reg.WriteBool("OnTop", true);
    reg.WriteBool("Hidden", false);
    reg.WriteBinaryData("Nuls", nuls);
    reg.WriteBinaryData("One", QByteArray(1, '\x7f'));
    reg.WriteBinaryData("None", QByteArray());
  }
  KeyStore store(Path("registry.db"));
  Registry reg(store);
  ASSERT_TRUE(reg.OpenKey(kMeterKey, false));
  EXPECT_EQ(reg.ReadString("Empty"), "");
  EXPECT_EQ(reg.ReadString("Caption"), "Velmar – ✓");
  EXPECT_EQ(reg.ReadInteger("Zero"), 0);
  EXPECT_EQ(reg.ReadInteger("Negative"), -42);
  EXPECT_EQ(reg.ReadInteger("Max"), INT32_MAX);
  EXPECT_EQ(reg.ReadInteger("Min"), INT32_MIN);
  EXPECT_TRUE(reg.ReadBool("OnTop"));
  EXPECT_FALSE(reg.ReadBool("Hidden"));
  EXPECT_EQ(reg.ReadInteger("OnTop"), 1);
  EXPECT_EQ(reg.ReadBinaryData("Nuls"), nuls);
  EXPECT_EQ(reg.ReadBinaryData("One"), QByteArray(1, '\x7f'));
  EXPECT_EQ(reg.ReadBinaryData("None"), QByteArray());

  EXPECT_EQ(reg.GetDataType("Caption"), ValueKind::kText);
  EXPECT_EQ(reg.GetDataType("Max"), ValueKind::kInteger);
  EXPECT_EQ(reg.GetDataType("Nuls"), ValueKind::kBytes);
  EXPECT_EQ(reg.GetDataType("Missing"), ValueKind::kNone);
  EXPECT_EQ(reg.GetDataSize("Caption"), QByteArray("Velmar – ✓").size());
  EXPECT_EQ(reg.GetDataSize("Empty"), 0);
  EXPECT_EQ(reg.GetDataSize("Max"), 4);
  EXPECT_EQ(reg.GetDataSize("Nuls"), 5);
  EXPECT_EQ(reg.GetDataSize("Missing"), -1);
  EXPECT_TRUE(reg.ValueExists("Empty"));
  EXPECT_FALSE(reg.ValueExists("Missing"));
  EXPECT_EQ(reg.GetValueNames(), (QStringList{"Empty", "Caption", "Zero", "Negative", "Max", "Min",
                                              "OnTop", "Hidden", "Nuls", "One", "None"}));
}

TEST_F(RegistryTest, FailuresRaiseTheExactMessages) {
  KeyStore store(Path("registry.db"));
  Registry reg(store);

  // No key open yet.
  EXPECT_EQ(RaisedMessage([&] { reg.ReadString("Caption"); }), "Failed to get data for 'Caption'");
  EXPECT_EQ(RaisedMessage([&] { reg.WriteString("Caption", "x"); }),
            "Failed to set data for 'Caption'");
  EXPECT_FALSE(reg.ValueExists("Caption"));
  EXPECT_TRUE(reg.GetValueNames().isEmpty());
  EXPECT_FALSE(reg.DeleteValue("Caption"));

  ASSERT_TRUE(reg.OpenKey(kMeterKey, true));
  reg.WriteString("Caption", "Velmar");
  reg.WriteInteger("RCWidth", 420);
  reg.WriteBinaryData("Window", QByteArray(8, '\0'));

  EXPECT_EQ(RaisedMessage([&] { reg.ReadInteger("Caption"); }), "Invalid data type for 'Caption'");
  EXPECT_EQ(RaisedMessage([&] { reg.ReadBinaryData("Caption"); }),
            "Invalid data type for 'Caption'");
  EXPECT_EQ(RaisedMessage([&] { reg.ReadString("RCWidth"); }), "Invalid data type for 'RCWidth'");
  EXPECT_EQ(RaisedMessage([&] { reg.ReadBinaryData("RCWidth"); }),
            "Invalid data type for 'RCWidth'");
  EXPECT_EQ(RaisedMessage([&] { reg.ReadBool("Window"); }), "Invalid data type for 'Window'");
  EXPECT_EQ(RaisedMessage([&] { reg.ReadString("Window"); }), "Invalid data type for 'Window'");
  EXPECT_EQ(RaisedMessage([&] { reg.ReadInteger("Nope"); }), "Failed to get data for 'Nope'");
  EXPECT_EQ(RaisedMessage([&] { reg.ReadString("Nope"); }), "Failed to get data for 'Nope'");
  EXPECT_EQ(RaisedMessage([&] { reg.ReadBinaryData("Nope"); }), "Failed to get data for 'Nope'");

  // A failed read changes nothing, and the exception is a velmar::Exception.
  EXPECT_THROW(reg.ReadInteger("Caption"), Exception);
  EXPECT_EQ(reg.ReadString("Caption"), "Velmar");

  // Writing into a key deleted behind the accessor's back fails.
  ASSERT_TRUE(reg.DeleteKey(kMeterKey));
  EXPECT_EQ(RaisedMessage([&] { reg.WriteInteger("RCWidth", 1); }),
            "Failed to set data for 'RCWidth'");
  EXPECT_EQ(RaisedMessage([&] { reg.ReadInteger("RCWidth"); }), "Failed to get data for 'RCWidth'");
  EXPECT_FALSE(store.KeyExists(KeyRoot::kUser, kMeterKey));
}

TEST_F(RegistryTest, KeyPathsFollowDelphiRules) {
  KeyStore store(Path("registry.db"));
  Registry reg(store);
  ASSERT_TRUE(reg.OpenKey("\\Software\\Tollera Works\\", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Tollera Works");
  // Relative to the open key.
  ASSERT_TRUE(reg.OpenKey("Velmar2000", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Tollera Works\\Velmar2000");
  EXPECT_TRUE(store.KeyExists(KeyRoot::kUser, kMeterKey));
  EXPECT_FALSE(store.KeyExists(KeyRoot::kUser, "Velmar2000"));
  reg.WriteInteger("Level", 3);
  EXPECT_TRUE(reg.KeyExists("\\Software"));
  EXPECT_FALSE(reg.KeyExists("Software"));  // relative: ...\Velmar2000\Software

  // A missing key fails and leaves the open key open.
  EXPECT_FALSE(reg.OpenKey("\\Software\\Nowhere", false));
  EXPECT_FALSE(store.KeyExists(KeyRoot::kUser, "\\Software\\Nowhere"));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Tollera Works\\Velmar2000");
  EXPECT_EQ(reg.ReadInteger("Level"), 3);

  // With no key open, a path without a backslash is relative to the root.
  reg.CloseKey();
  EXPECT_FALSE(reg.HasCurrentKey());
  EXPECT_EQ(reg.CurrentPath(), "");
  EXPECT_TRUE(reg.KeyExists("Software\\Tollera Works"));
  ASSERT_TRUE(reg.OpenKey("software\\TOLLERA works\\velmar2000", false));
  EXPECT_EQ(reg.ReadInteger("LEVEL"), 3);
  EXPECT_EQ(reg.GetValueNames(), QStringList{"Level"});

  // The root itself.
  ASSERT_TRUE(reg.OpenKey("\\", false));
  EXPECT_EQ(reg.CurrentPath(), "");
  EXPECT_TRUE(reg.HasCurrentKey());
  EXPECT_EQ(reg.GetKeyNames(), QStringList{"Software"});

  // Each root is its own tree; changing the root closes the key.
  reg.SetRootKey(KeyRoot::kMachine);
  EXPECT_EQ(reg.RootKey(), KeyRoot::kMachine);
  EXPECT_FALSE(reg.HasCurrentKey());
  EXPECT_FALSE(reg.KeyExists(kMeterKey));
  ASSERT_TRUE(reg.OpenKey(kMeterKey, true));
  EXPECT_FALSE(reg.ValueExists("Level"));
  reg.WriteInteger("Level", 9);
  reg.SetRootKey(KeyRoot::kUser);
  ASSERT_TRUE(reg.OpenKey(kMeterKey, false));
  EXPECT_EQ(reg.ReadInteger("Level"), 3);
}

TEST_F(RegistryTest, KeysAndValuesDeleteAndEnumerate) {
  KeyStore store(Path("registry.db"));
  Registry reg(store);
  for (const char* day : {"10.12.2026", "08.12.2026", "09.12.2026"}) {
    ASSERT_TRUE(reg.OpenKey(QString(kMeterKey) + "\\History\\" + day + "\\Detail", true));
    reg.WriteInteger("In", 1);
  }
  ASSERT_TRUE(reg.OpenKey(kMeterKey, false));
  reg.WriteInteger("RCWidth", 420);
  reg.WriteString("rcHeight", "300");
  ASSERT_TRUE(reg.OpenKey("History", false));
  EXPECT_EQ(reg.GetKeyNames(), (QStringList{"08.12.2026", "09.12.2026", "10.12.2026"}));

  // Relative to the open key, recursive, siblings kept.
  EXPECT_TRUE(reg.DeleteKey("09.12.2026"));
  EXPECT_EQ(reg.GetKeyNames(), (QStringList{"08.12.2026", "10.12.2026"}));
  EXPECT_FALSE(
      store.KeyExists(KeyRoot::kUser, QString(kMeterKey) + "\\History\\09.12.2026\\Detail"));
  EXPECT_FALSE(reg.DeleteKey("09.12.2026"));
  EXPECT_FALSE(reg.DeleteKey(""));
  EXPECT_FALSE(reg.DeleteKey("\\"));
  EXPECT_TRUE(reg.KeyExists("08.12.2026\\Detail"));
  // Absolute.
  EXPECT_TRUE(reg.DeleteKey(QString(kMeterKey) + "\\HISTORY\\08.12.2026"));
  EXPECT_EQ(reg.GetKeyNames(), QStringList{"10.12.2026"});

  ASSERT_TRUE(reg.OpenKey(kMeterKey, false));
  EXPECT_EQ(reg.GetValueNames(), (QStringList{"RCWidth", "rcHeight"}));
  EXPECT_TRUE(reg.DeleteValue("rcwidth"));
  EXPECT_FALSE(reg.DeleteValue("RCWidth"));
  EXPECT_FALSE(reg.ValueExists("RCWidth"));
  EXPECT_EQ(reg.GetValueNames(), QStringList{"rcHeight"});
  EXPECT_EQ(reg.ReadString("RCHEIGHT"), "300");
  EXPECT_EQ(reg.GetKeyNames(), QStringList{"History"});
}

TEST_F(RegistryTest, ReadOnlyStoreReadsAndRefusesWrites) {
  {
    KeyStore store(Path("registry.db"));
    Registry reg(store);
    ASSERT_TRUE(reg.OpenKey(kMeterKey, true));
    reg.WriteInteger("RCWidth", 420);
    reg.WriteString("Caption", "Velmar");
    reg.SaveKey(kMeterKey, Path("saved.hive"));
    ASSERT_TRUE(reg.OpenKey("History", true));
  }
  const QByteArray bytes = FileBytesOrMark(Path("registry.db"));
  KeyStore store(Path("registry.db"), KeyStore::Access::ReadOnly);
  Registry reg(store);
  ASSERT_TRUE(reg.OpenKey(kMeterKey, false));
  ASSERT_TRUE(reg.OpenKey(kMeterKey, true));  // exists, so nothing to create
  EXPECT_EQ(reg.ReadInteger("rcwidth"), 420);
  EXPECT_EQ(reg.ReadString("Caption"), "Velmar");

  EXPECT_EQ(RaisedMessage([&] { reg.WriteInteger("RCWidth", 1); }),
            "Failed to set data for 'RCWidth'");
  EXPECT_EQ(RaisedMessage([&] { reg.WriteString("Caption", "x"); }),
            "Failed to set data for 'Caption'");
  EXPECT_EQ(RaisedMessage([&] { reg.WriteBinaryData("Blob", "x"); }),
            "Failed to set data for 'Blob'");
  EXPECT_EQ(RaisedMessage([&] { reg.WriteBool("OnTop", true); }), "Failed to set data for 'OnTop'");
  EXPECT_FALSE(reg.DeleteValue("Caption"));
  EXPECT_FALSE(reg.DeleteKey("History"));
  EXPECT_FALSE(reg.OpenKey("NewKey", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Tollera Works\\Velmar2000");
  EXPECT_TRUE(RaisedMessage([&] {
                reg.RestoreKey(kMeterKey, Path("saved.hive"));
              }).startsWith("Failed to restore key"));

  EXPECT_EQ(reg.ReadInteger("RCWidth"), 420);
  EXPECT_TRUE(reg.ValueExists("Caption"));
  EXPECT_TRUE(reg.KeyExists("History"));
  EXPECT_FALSE(reg.KeyExists("NewKey"));
  EXPECT_FALSE(reg.ValueExists("Blob"));
  EXPECT_EQ(FileBytesOrMark(Path("registry.db")), bytes);
}

TEST_F(RegistryTest, SaveAndRestoreKeyRoundTripAndReportFailures) {
  KeyStore store(Path("registry.db"));
  Registry reg(store);
  ASSERT_TRUE(reg.OpenKey(QString(kMeterKey) + "\\History\\08.12.2026", true));
  reg.WriteBinaryData("Hours", QByteArray(24, '\x05'));
  ASSERT_TRUE(reg.OpenKey(kMeterKey, false));
  reg.WriteInteger("RCWidth", 420);

  // Relative to the open key.
  reg.SaveKey("History", Path("history.hive"));
  ASSERT_TRUE(reg.DeleteKey("History"));
  EXPECT_FALSE(reg.KeyExists("History"));
  reg.RestoreKey("History", Path("history.hive"));
  ASSERT_TRUE(reg.OpenKey("History\\08.12.2026", false));
  EXPECT_EQ(reg.ReadBinaryData("Hours"), QByteArray(24, '\x05'));

  const QByteArray hive = FileBytesOrMark(Path("history.hive"));
  const QString saveError = RaisedMessage([&] { reg.SaveKey(kMeterKey, Path("history.hive")); });
  EXPECT_TRUE(saveError.startsWith("Failed to save key '" + QString(kMeterKey) + "' to '" +
                                   Path("history.hive") + "': "))
      << saveError.toStdString();
  EXPECT_EQ(FileBytesOrMark(Path("history.hive")), hive);
  EXPECT_TRUE(RaisedMessage([&] {
                reg.SaveKey("\\Nowhere", Path("nowhere.hive"));
              }).startsWith("Failed to save key '\\Nowhere'"));
  EXPECT_FALSE(QFile::exists(Path("nowhere.hive")));

  QFile text(Path("notes.txt"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("History=none\n");
  text.close();
  const QString restoreError = RaisedMessage([&] { reg.RestoreKey(kMeterKey, Path("notes.txt")); });
  EXPECT_TRUE(restoreError.startsWith("Failed to restore key '" + QString(kMeterKey) + "' from '" +
                                      Path("notes.txt") + "': "))
      << restoreError.toStdString();
  ASSERT_TRUE(reg.OpenKey(kMeterKey, false));
  EXPECT_EQ(reg.ReadInteger("RCWidth"), 420);
  EXPECT_EQ(reg.GetKeyNames(), QStringList{"History"});
}

// The default accessor uses the process-wide store on $VELMAR_REGISTRY; a
// child process keeps that store out of this one.
TEST_F(RegistryTest, DefaultAccessorUsesTheStoreNamedByTheEnvironment) {
  const QString path = Path("not/yet/there/registry.db");
  fflush(nullptr);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int rc = 1;
    try {
      qputenv("VELMAR_REGISTRY", path.toUtf8());
      Registry reg;
      if (reg.OpenKey(kMeterKey, true)) {
        reg.WriteInteger("RCWidth", 420);
        rc = &KeyStore::Default() == &KeyStore::Default() ? 0 : 2;
      }
    } catch (...) {
      rc = 3;
    }
    _exit(rc);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);

  ASSERT_TRUE(QFileInfo(path).isFile());
  KeyStore store(path);
  Registry reg(store);
  ASSERT_TRUE(reg.OpenKey(kMeterKey, false));
  EXPECT_EQ(reg.ReadInteger("RCWidth"), 420);
}

}  // namespace
}  // namespace velmar
