#include "platform/key_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <thread>

namespace velmar {
namespace {

const char kVelmarKey[] = "\\Software\\Tollera Works\\Velmar2000";

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    ADD_FAILURE() << "cannot read " << path.toStdString();
    return {};
  }
  return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  ASSERT_EQ(file.write(bytes), bytes.size());
}

QString Describe(const StoredValue& value) {
  switch (value.type) {
    case ValueKind::kText:
      return QStringLiteral("SZ:") + value.text;
    case ValueKind::kInteger:
      return QStringLiteral("DWORD:") + QString::number(value.integer);
    case ValueKind::kBytes:
      return QStringLiteral("BINARY:") + QString::fromLatin1(value.binary.toHex());
    case ValueKind::kNone:
      break;
  }
  return QStringLiteral("NONE");
}

// Every key and value below `path`, with types and data, in enumeration
// order; two equal dumps mean two equal subtrees.
QStringList Dump(KeyStore& store, KeyRoot root, const QString& path) {
  QStringList lines;
  std::function<void(const QString&)> walk = [&](const QString& relative) {
    const auto id = store.OpenKey(root, path + QLatin1Char('\\') + relative, false);
    if (!id) {
      lines << QStringLiteral("missing ") + relative;
      return;
    }
    for (const QString& name : store.ValueNames(*id)) {
      const auto value = store.ReadValue(*id, name);
      lines << relative + QLatin1Char('|') + name + QLatin1Char('=') +
                   (value ? Describe(*value) : QStringLiteral("unreadable"));
    }
    for (const QString& sub : store.SubkeyNames(*id)) {
      lines << relative + QLatin1Char('\\') + sub;
      walk(relative + QLatin1Char('\\') + sub);
    }
  };
  walk(QString());
  return lines;
}

// Fills `path` with a small tree of every value type.
void Populate(KeyStore& store, KeyRoot root, const QString& path) {
  const auto top = store.OpenKey(root, path, true);
  ASSERT_TRUE(top);
  store.WriteValue(*top, QStringLiteral("RCWidth"), StoredValue::Integer(420));
  store.WriteValue(*top, QStringLiteral("Caption"),
                   StoredValue::String(QStringLiteral("Velmar ✓")));
  store.WriteValue(*top, QStringLiteral("Empty"), StoredValue::String(QString()));
  store.WriteValue(*top, QStringLiteral("Blob"),
                   StoredValue::Binary(QByteArray("\x00\x01\x00\xff", 4)));
  store.WriteValue(*top, QStringLiteral("Marker"),
                   StoredValue::String(QStringLiteral("MARKER-0123456789-MARKER")));
  for (const char* day : {"08.12.2026", "09.12.2026", "10.12.2026"}) {
    const auto key = store.OpenKey(root, path + QStringLiteral("\\History\\") + day, true);
    ASSERT_TRUE(key);
    store.WriteValue(*key, QStringLiteral("In"), StoredValue::Integer(INT32_MAX));
    store.WriteValue(*key, QStringLiteral("Out"), StoredValue::Integer(INT32_MIN));
    store.WriteValue(*key, QStringLiteral("Hours"), StoredValue::Binary(QByteArray(24, 'h')));
  }
  const auto deep = store.OpenKey(root, path + QStringLiteral("\\History\\Ärger\\ωmega"), true);
  ASSERT_TRUE(deep);
  store.WriteValue(*deep, QStringLiteral("Ünicode"), StoredValue::String(QStringLiteral("Ωk")));
}

// Runs `body` in a forked child and returns its exit status, or 128 + the
// signal that ended it.
int RunInChild(const std::function<int()>& body) {
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    int rc = 90;
    try {
      rc = body();
    } catch (...) {
      rc = 91;
    }
    _exit(rc);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs SQL on a file directly, bypassing the store.
void ExecSql(const QString& file, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (error != nullptr ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

class KeyStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  QString Path(const QString& name) const { return dir_.filePath(name); }

  QTemporaryDir dir_;
};

TEST_F(KeyStoreTest, ValuesOfEveryTypeRoundTripAndSurviveReopening) {
  const std::vector<std::pair<QString, StoredValue>> values = {
      {"EmptyString", StoredValue::String(QString())},
      {"Text", StoredValue::String(QStringLiteral("Tollera Works – Velmar ✓ 日本"))},
      {"TextWithNul", StoredValue::String(QString::fromUtf8("a\0b", 3))},
      {"Zero", StoredValue::Integer(0)},
      {"MinusOne", StoredValue::Integer(-1)},
      {"Max", StoredValue::Integer(0x7FFFFFFF)},
      {"Min", StoredValue::Integer(-0x7FFFFFFF - 1)},
      {"Nuls", StoredValue::Binary(QByteArray("\x00\x00\x7f\x00\xff\x00", 6))},
      {"OneByte", StoredValue::Binary(QByteArray(1, '\x00'))},
      {"EmptyBinary", StoredValue::Binary(QByteArray())},
  };
  {
    KeyStore store(Path("registry.db"));
    EXPECT_FALSE(store.IsReadOnly());
    const auto key = store.OpenKey(KeyRoot::kUser, kVelmarKey, true);
    ASSERT_TRUE(key);
    for (const auto& [name, value] : values) {
      store.WriteValue(*key, name, value);
      EXPECT_EQ(store.ReadValue(*key, name), value) << name.toStdString();
    }
  }
  KeyStore store(Path("registry.db"));
  const auto key = store.OpenKey(KeyRoot::kUser, kVelmarKey, false);
  ASSERT_TRUE(key);
  for (const auto& [name, value] : values) {
    const auto read = store.ReadValue(*key, name);
    ASSERT_TRUE(read) << name.toStdString();
    EXPECT_EQ(*read, value) << name.toStdString();
    EXPECT_EQ(store.ValueType(*key, name), value.type) << name.toStdString();
    EXPECT_TRUE(store.ValueExists(*key, name));
  }
  EXPECT_EQ(store.ReadValue(*key, "OneByte")->binary.size(), 1);
  EXPECT_EQ(store.ReadValue(*key, "TextWithNul")->text.size(), 3);

  // Rewriting with another type replaces type and data.
  store.WriteValue(*key, "Zero", StoredValue::String("now text"));
  EXPECT_EQ(store.ValueType(*key, "Zero"), ValueKind::kText);
  EXPECT_EQ(store.ReadValue(*key, "Zero")->text, "now text");

  EXPECT_FALSE(store.ReadValue(*key, "Missing"));
  EXPECT_FALSE(store.ValueType(*key, "Missing"));
  EXPECT_FALSE(store.ValueExists(*key, "Missing"));
  EXPECT_THROW(store.WriteValue(*key, "Bad", StoredValue()), KeyStoreError);
  EXPECT_FALSE(store.ValueExists(*key, "Bad"));

  EXPECT_TRUE(store.DeleteValue(*key, "Max"));
  EXPECT_FALSE(store.DeleteValue(*key, "Max"));
  EXPECT_FALSE(store.ValueExists(*key, "Max"));
  EXPECT_TRUE(store.ValueExists(*key, "Min"));
}

TEST_F(KeyStoreTest, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
  KeyStore store(Path("registry.db"));
  const auto key = store.OpenKey(KeyRoot::kUser, "\\Software\\Tollera Works", true);
  ASSERT_TRUE(key);
  EXPECT_EQ(store.OpenKey(KeyRoot::kUser, "\\Software\\TOLLERA works", false), key);
  EXPECT_EQ(store.OpenKey(KeyRoot::kUser, "software\\tollera WORKS", true), key);
  EXPECT_TRUE(store.KeyExists(KeyRoot::kUser, "SOFTWARE"));
  const auto software = store.OpenKey(KeyRoot::kUser, "Software", false);
  EXPECT_EQ(store.SubkeyNames(*software), QStringList{"Tollera Works"});

  store.WriteValue(*key, "RCWidth", StoredValue::Integer(1));
  store.WriteValue(*key, "rcwidth", StoredValue::Integer(2));
  store.WriteValue(*key, "RCWIDTH", StoredValue::Integer(3));
  EXPECT_EQ(store.ValueNames(*key), QStringList{"RCWidth"});
  EXPECT_EQ(store.ReadValue(*key, "rcWidth")->integer, 3);

  // Beyond ASCII: umlauts and Greek fold too.
  const auto umlaut = store.OpenKey(KeyRoot::kUser, "\\Software\\ÄRGER\\ΩMEGA", true);
  EXPECT_EQ(store.OpenKey(KeyRoot::kUser, "\\software\\ärger\\ωmega", false), umlaut);
  store.WriteValue(*umlaut, "Größe", StoredValue::String("x"));
  EXPECT_TRUE(store.ValueExists(*umlaut, "GRÖßE"));
  EXPECT_EQ(store.ValueNames(*umlaut), QStringList{"Größe"});
  EXPECT_TRUE(store.DeleteValue(*umlaut, "größe"));
  EXPECT_TRUE(store.ValueNames(*umlaut).isEmpty());

  // Different names stay different.
  EXPECT_NE(store.OpenKey(KeyRoot::kUser, "\\Software\\Tollera Work", true), key);
}

TEST_F(KeyStoreTest, PathsIgnoreEmptyComponentsAndRootsAreSeparate) {
  EXPECT_EQ(KeyStore::SplitPath("\\\\A\\\\B\\"), (QStringList{"A", "B"}));
  EXPECT_TRUE(KeyStore::SplitPath("\\").isEmpty());

  KeyStore store(Path("registry.db"));
  const auto key = store.OpenKey(KeyRoot::kUser, "A\\B", true);
  ASSERT_TRUE(key);
  EXPECT_EQ(store.OpenKey(KeyRoot::kUser, "\\\\A\\\\B\\", false), key);
  EXPECT_EQ(store.OpenKey(KeyRoot::kUser, "\\A\\B\\", false), key);
  EXPECT_FALSE(store.OpenKey(KeyRoot::kUser, "A\\B\\C", false));
  EXPECT_FALSE(store.KeyExists(KeyRoot::kMachine, "A"));

  // The empty path is the root itself, which holds values like any key.
  const auto user = store.OpenKey(KeyRoot::kUser, "", false);
  const auto machine = store.OpenKey(KeyRoot::kMachine, "\\", false);
  ASSERT_TRUE(user);
  ASSERT_TRUE(machine);
  EXPECT_NE(user, machine);
  store.WriteValue(*user, "Where", StoredValue::String("user"));
  store.WriteValue(*machine, "Where", StoredValue::String("machine"));
  EXPECT_EQ(store.ReadValue(*user, "Where")->text, "user");
  EXPECT_EQ(store.ReadValue(*machine, "Where")->text, "machine");
  EXPECT_EQ(store.SubkeyNames(*user), QStringList{"A"});
  EXPECT_TRUE(store.SubkeyNames(*machine).isEmpty());
}

TEST_F(KeyStoreTest, EnumerationSortsKeysAndKeepsValuesInCreationOrder) {
  KeyStore store(Path("registry.db"));
  for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2", "08.12.2026", "10.12.2026"}) {
    ASSERT_TRUE(store.OpenKey(KeyRoot::kUser, QStringLiteral("\\Top\\") + name, true));
  }
  const auto top = store.OpenKey(KeyRoot::kUser, "Top", false);
  EXPECT_EQ(store.SubkeyNames(*top),
            (QStringList{"08.12.2026", "10.12.2026", "Alpha", "ALPHA2", "beta", "gamma"}));

  for (const char* name : {"z", "a", "M"}) {
    store.WriteValue(*top, name, StoredValue::Integer(0));
  }
  EXPECT_EQ(store.ValueNames(*top), (QStringList{"z", "a", "M"}));
  store.WriteValue(*top, "A", StoredValue::Integer(1));  // a rewrite keeps place and spelling
  EXPECT_EQ(store.ValueNames(*top), (QStringList{"z", "a", "M"}));
  ASSERT_TRUE(store.DeleteValue(*top, "Z"));
  store.WriteValue(*top, "Z", StoredValue::Integer(2));
  EXPECT_EQ(store.ValueNames(*top), (QStringList{"a", "M", "Z"}));
}

TEST_F(KeyStoreTest, DeleteKeyRemovesTheWholeSubtreeAndNothingElse) {
  KeyStore store(Path("registry.db"));
  Populate(store, KeyRoot::kUser, kVelmarKey);
  Populate(store, KeyRoot::kUser, "\\Software\\Tollera Works\\Sibling");
  Populate(store, KeyRoot::kMachine, kVelmarKey);
  const QStringList sibling = Dump(store, KeyRoot::kUser, "\\Software\\Tollera Works\\Sibling");
  const QStringList machine = Dump(store, KeyRoot::kMachine, kVelmarKey);
  const auto velmar = store.OpenKey(KeyRoot::kUser, kVelmarKey, false);
  const auto history =
      store.OpenKey(KeyRoot::kUser, "Software\\Tollera Works\\Velmar2000\\History", false);
  const auto day = store.OpenKey(KeyRoot::kUser,
                                 "Software\\Tollera Works\\Velmar2000\\History\\09.12.2026", false);
  ASSERT_TRUE(day);

  EXPECT_TRUE(store.DeleteKey(KeyRoot::kUser, "software\\tollera works\\velmar2000\\HISTORY"));
  EXPECT_FALSE(store.KeyExists(KeyRoot::kUser, "Software\\Tollera Works\\Velmar2000\\History"));
  EXPECT_FALSE(store.KeyExists(KeyRoot::kUser,
                               "Software\\Tollera Works\\Velmar2000\\History\\Ärger\\ωmega"));
  // The ids held from before now name nothing: no values, no subkeys, no writes.
  EXPECT_TRUE(store.SubkeyNames(*history).isEmpty());
  EXPECT_TRUE(store.ValueNames(*day).isEmpty());
  EXPECT_FALSE(store.ReadValue(*day, "In"));
  EXPECT_THROW(store.WriteValue(*day, "In", StoredValue::Integer(1)), KeyStoreError);
  // A new key created in its place gets a new id.
  EXPECT_NE(store.OpenKey(KeyRoot::kUser,
                          "Software\\Tollera Works\\Velmar2000\\History\\09.12.2026", true),
            day);

  // The parent keeps its values, the sibling and the other root are untouched.
  EXPECT_EQ(store.ReadValue(*velmar, "RCWidth")->integer, 420);
  EXPECT_EQ(Dump(store, KeyRoot::kUser, "\\Software\\Tollera Works\\Sibling"), sibling);
  EXPECT_EQ(Dump(store, KeyRoot::kMachine, kVelmarKey), machine);

  EXPECT_FALSE(store.DeleteKey(KeyRoot::kUser, "Software\\Nowhere"));
  EXPECT_THROW(store.DeleteKey(KeyRoot::kUser, "\\"), KeyStoreError);
  EXPECT_THROW(store.DeleteKey(KeyRoot::kMachine, ""), KeyStoreError);
  EXPECT_TRUE(store.KeyExists(KeyRoot::kMachine, kVelmarKey));

  // Nothing of the deleted subtree is left behind in the file.
  EXPECT_TRUE(store.DeleteKey(KeyRoot::kUser, "Software"));
  EXPECT_TRUE(store.SubkeyNames(*store.OpenKey(KeyRoot::kUser, "", false)).isEmpty());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(Path("registry.db")).constData(), &db), SQLITE_OK);
  sqlite3_stmt* count = nullptr;
  ASSERT_EQ(
      sqlite3_prepare_v2(db,
                         "SELECT (SELECT count(*) FROM keys), (SELECT count(*) FROM vals WHERE "
                         "key NOT IN (SELECT id FROM keys))",
                         -1, &count, nullptr),
      SQLITE_OK);
  ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
  // The two roots plus the KeyRoot::kMachine tree of Populate: 3 path keys,
  // History, 3 days, Ärger, ωmega.
  EXPECT_EQ(sqlite3_column_int(count, 0), 2 + 3 + 1 + 3 + 2);
  EXPECT_EQ(sqlite3_column_int(count, 1), 0);
  sqlite3_finalize(count);
  sqlite3_close(db);
}

TEST_F(KeyStoreTest, HiveRoundTripRestoresTheSameTree) {
  KeyStore store(Path("registry.db"));
  Populate(store, KeyRoot::kUser, kVelmarKey);
  const QStringList before = Dump(store, KeyRoot::kUser, kVelmarKey);
  ASSERT_GT(before.size(), 15);

  store.SaveKey(KeyRoot::kUser, "software\\TOLLERA WORKS\\velmar2000", Path("velmar.hive"));
  const QByteArray hive = ReadBytes(Path("velmar.hive"));
  ASSERT_FALSE(hive.isEmpty());
  EXPECT_FALSE(QFile::exists(Path("velmar.hive-journal")));

  ASSERT_TRUE(store.DeleteKey(KeyRoot::kUser, kVelmarKey));
  store.RestoreKey(KeyRoot::kUser, kVelmarKey, Path("velmar.hive"));
  EXPECT_EQ(Dump(store, KeyRoot::kUser, kVelmarKey), before);
  EXPECT_EQ(ReadBytes(Path("velmar.hive")), hive);

  // Restoring replaces what the target held, also under another root and name.
  const auto other = store.OpenKey(KeyRoot::kMachine, "\\Copy", true);
  store.WriteValue(*other, "Stale", StoredValue::Integer(1));
  store.WriteValue(*other, "rcwidth", StoredValue::Integer(1));
  ASSERT_TRUE(store.OpenKey(KeyRoot::kMachine, "\\Copy\\Old\\Deep", true));
  store.RestoreKey(KeyRoot::kMachine, "Copy", Path("velmar.hive"));
  EXPECT_EQ(Dump(store, KeyRoot::kMachine, "Copy"), before);
  EXPECT_EQ(store.OpenKey(KeyRoot::kMachine, "Copy", false), other);

  // A key with no values or subkeys makes an empty hive that empties a key.
  ASSERT_TRUE(store.OpenKey(KeyRoot::kUser, "\\Bare", true));
  store.SaveKey(KeyRoot::kUser, "Bare", Path("bare.hive"));
  store.RestoreKey(KeyRoot::kMachine, "Copy", Path("bare.hive"));
  EXPECT_EQ(Dump(store, KeyRoot::kMachine, "Copy"), QStringList{});
  EXPECT_TRUE(store.KeyExists(KeyRoot::kMachine, "Copy"));

  // A missing target is created.
  store.RestoreKey(KeyRoot::kUser, "\\New\\Place", Path("velmar.hive"));
  EXPECT_EQ(Dump(store, KeyRoot::kUser, "New\\Place"), before);
}

TEST_F(KeyStoreTest, SaveKeyNeverOverwritesAFileAndNeedsAnExistingKey) {
  KeyStore store(Path("registry.db"));
  Populate(store, KeyRoot::kUser, kVelmarKey);

  const QByteArray precious("the user's own file\n");
  WriteBytes(Path("taken.hive"), precious);
  EXPECT_THROW(store.SaveKey(KeyRoot::kUser, kVelmarKey, Path("taken.hive")), KeyStoreError);
  EXPECT_EQ(ReadBytes(Path("taken.hive")), precious);

  // Even an empty file, or a hive written before, is left alone.
  WriteBytes(Path("empty.hive"), QByteArray());
  EXPECT_THROW(store.SaveKey(KeyRoot::kUser, kVelmarKey, Path("empty.hive")), KeyStoreError);
  EXPECT_EQ(QFileInfo(Path("empty.hive")).size(), 0);
  store.SaveKey(KeyRoot::kUser, kVelmarKey, Path("first.hive"));
  const QByteArray first = ReadBytes(Path("first.hive"));
  try {
    store.SaveKey(KeyRoot::kUser, "Software", Path("first.hive"));
    ADD_FAILURE() << "saved over an existing hive";
  } catch (const KeyStoreError& error) {
    EXPECT_TRUE(error.Message().contains(Path("first.hive"))) << error.what();
  }
  EXPECT_EQ(ReadBytes(Path("first.hive")), first);

  EXPECT_THROW(store.SaveKey(KeyRoot::kUser, "\\Software\\Nowhere", Path("none.hive")),
               KeyStoreError);
  EXPECT_FALSE(QFile::exists(Path("none.hive")));
  EXPECT_THROW(store.SaveKey(KeyRoot::kUser, kVelmarKey, Path("no/such/dir/x.hive")),
               KeyStoreError);
}

TEST_F(KeyStoreTest, RestoreRejectsEveryBadFileAndChangesNothing) {
  KeyStore store(Path("registry.db"));
  Populate(store, KeyRoot::kUser, kVelmarKey);
  store.SaveKey(KeyRoot::kUser, kVelmarKey, Path("good.hive"));
  // The target differs from the hive, so a partial restore would show.
  const auto target = store.OpenKey(KeyRoot::kUser, kVelmarKey, false);
  store.WriteValue(*target, "OnlyHere", StoredValue::String("keep me"));
  ASSERT_TRUE(store.OpenKey(KeyRoot::kUser, QString(kVelmarKey) + "\\OnlyHereToo", true));
  const QStringList before = Dump(store, KeyRoot::kUser, kVelmarKey);
  const QByteArray good = ReadBytes(Path("good.hive"));
  const qsizetype pageSize = 4096;
  ASSERT_EQ(good.size() % pageSize, 0);
  const qsizetype pages = good.size() / pageSize;
  ASSERT_GE(pages, 4);

  std::vector<std::pair<std::string, QByteArray>> files;
  files.emplace_back("empty file", QByteArray());
  files.emplace_back("text file", QByteArray("[Velmar]\nRCWidth=420\n"));
  files.emplace_back("header only", good.left(100));
  for (qsizetype size : {pageSize, good.size() / 2, good.size() - pageSize, good.size() - 1}) {
    files.emplace_back("truncated to " + std::to_string(size), good.left(size));
  }
  std::mt19937 random(20261208);
  for (qsizetype page = 0; page < pages; ++page) {
    QByteArray damaged = good;
    for (int i = 0; i < pageSize; ++i) {
      damaged[page * pageSize + i] = char(random());
    }
    files.emplace_back("garbage page " + std::to_string(page), damaged);
  }
  {
    // Bytes changed inside a record keep the file's structure intact.
    QByteArray altered = good;
    const int at = altered.indexOf("MARKER-0123456789");
    ASSERT_GE(at, 0);
    altered.replace(at + 7, 10, "9876543210");
    files.emplace_back("altered record", altered);
  }
  for (const auto& [what, bytes] : files) {
    WriteBytes(Path("bad.hive"), bytes);
    EXPECT_THROW(store.RestoreKey(KeyRoot::kUser, kVelmarKey, Path("bad.hive")), KeyStoreError)
        << what;
    EXPECT_EQ(Dump(store, KeyRoot::kUser, kVelmarKey), before) << what;
    QFile::remove(Path("bad.hive"));
  }

  // Well-formed SQLite files whose content is not a consistent hive.
  const char* const edits[] = {
      "CREATE TABLE other(x); DELETE FROM meta",
      "DELETE FROM meta WHERE name = 'format'",
      "UPDATE meta SET value = 'store' WHERE name = 'kind'",
      "UPDATE meta SET value = 2 WHERE name = 'version'",
      "DELETE FROM meta WHERE name = 'digest'",
      "DROP TABLE vals; CREATE TABLE vals(key, name, folded, type, data)",
      "UPDATE vals SET data = 'text' WHERE type = 4",
      "UPDATE vals SET data = 4294967296 WHERE type = 4",
      "UPDATE vals SET data = NULL WHERE type = 3",
      "UPDATE vals SET data = X'00' WHERE type = 1",
      "UPDATE vals SET type = 7 WHERE rowid = 1",
      "UPDATE vals SET key = 999 WHERE rowid = 1",
      "UPDATE vals SET name = X'41' WHERE rowid = 1",
      "INSERT INTO vals(key, name, folded, type, data) VALUES(1, 'RCWIDTH', 'x', 4, 1)",
      "UPDATE keys SET parent = 999 WHERE id = 3",
      "UPDATE keys SET parent = id WHERE id = 3",
      "UPDATE keys SET parent = 4 WHERE id = 3; UPDATE keys SET parent = 3 WHERE id = 4",
      "INSERT INTO keys(parent, name, folded) VALUES(NULL, 'Second', 'second')",
      "DELETE FROM keys WHERE parent IS NULL",
      "UPDATE keys SET name = 'a\\b' WHERE id = 2",
      "UPDATE keys SET name = X'41' WHERE id = 2",
      "UPDATE keys SET name = '' WHERE id = 2",
      "INSERT INTO keys(parent, name, folded) SELECT parent, upper(name), 'other' FROM keys WHERE "
      "id = 2",
      "UPDATE vals SET data = 421 WHERE name = 'RCWidth'",
  };
  for (const char* edit : edits) {
    QFile::remove(Path("edited.hive"));
    ASSERT_TRUE(QFile::copy(Path("good.hive"), Path("edited.hive")));
    ExecSql(Path("edited.hive"), edit);
    EXPECT_THROW(store.RestoreKey(KeyRoot::kUser, kVelmarKey, Path("edited.hive")), KeyStoreError)
        << edit;
    EXPECT_EQ(Dump(store, KeyRoot::kUser, kVelmarKey), before) << edit;
  }

  // The store's own file is a store, not a hive.
  {
    KeyStore other(Path("other.db"));
    Populate(other, KeyRoot::kUser, kVelmarKey);
  }
  EXPECT_THROW(store.RestoreKey(KeyRoot::kUser, kVelmarKey, Path("other.db")), KeyStoreError);
  EXPECT_THROW(store.RestoreKey(KeyRoot::kUser, kVelmarKey, Path("missing.hive")), KeyStoreError);
  EXPECT_THROW(store.RestoreKey(KeyRoot::kUser, kVelmarKey, dir_.path()), KeyStoreError);
  EXPECT_EQ(Dump(store, KeyRoot::kUser, kVelmarKey), before);

  // The untouched hive still restores, so the failures above came from the damage.
  EXPECT_EQ(ReadBytes(Path("good.hive")), good);
  store.RestoreKey(KeyRoot::kUser, kVelmarKey, Path("good.hive"));
  EXPECT_FALSE(store.ValueExists(*target, "OnlyHere"));
  EXPECT_FALSE(store.KeyExists(KeyRoot::kUser, QString(kVelmarKey) + "\\OnlyHereToo"));
}

TEST_F(KeyStoreTest, DamagedOrForeignStoreFileRaisesAndIsLeftAsItWas) {
  // A real store with enough data to span many pages.
  {
    KeyStore store(Path("full.db"));
    const auto key = store.OpenKey(KeyRoot::kUser, kVelmarKey, true);
    for (int i = 0; i < 400; ++i) {
      store.WriteValue(*key, QStringLiteral("Value%1").arg(i),
                       StoredValue::Binary(QByteArray(200, char(i))));
    }
  }
  ASSERT_FALSE(QFile::exists(Path("full.db-wal")));
  const QByteArray full = ReadBytes(Path("full.db"));
  ASSERT_GT(full.size(), 20 * 4096);

  std::vector<std::pair<std::string, QByteArray>> files;
  std::mt19937 random(7);
  QByteArray garbage(8192, '\0');
  for (auto& byte : garbage) {
    byte = char(random());
  }
  files.emplace_back("random bytes", garbage);
  files.emplace_back("text", QByteArray("not a database at all\n"));
  files.emplace_back("header only", full.left(100));
  files.emplace_back("truncated to half", full.left(full.size() / 2));
  files.emplace_back("truncated by a page", full.left(full.size() - 4096));
  QByteArray middle = full;
  for (int i = 0; i < 4096; ++i) {
    middle[full.size() / 2 / 4096 * 4096 + i] = char(random());
  }
  files.emplace_back("garbage page", middle);
  for (size_t i = 0; i < files.size(); ++i) {
    const auto& [what, bytes] = files[i];
    const QString path = Path(QStringLiteral("bad-%1.db").arg(i));
    WriteBytes(path, bytes);
    try {
      KeyStore store(path);
      ADD_FAILURE() << what << " opened";
    } catch (const KeyStoreError& error) {
      EXPECT_TRUE(error.Message().contains(path)) << what << ": " << error.what();
    }
    EXPECT_EQ(ReadBytes(path), bytes) << what;
    EXPECT_THROW(KeyStore(path, KeyStore::Access::ReadOnly), KeyStoreError) << what;
    EXPECT_EQ(ReadBytes(path), bytes) << what;
  }

  // Another program's database, and a hive, are not stores.
  ExecSql(Path("foreign.db"),
          "CREATE TABLE settings(name, value); INSERT INTO settings VALUES('a', 1)");
  const QByteArray foreign = ReadBytes(Path("foreign.db"));
  EXPECT_THROW(KeyStore store(Path("foreign.db")), KeyStoreError);
  EXPECT_EQ(ReadBytes(Path("foreign.db")), foreign);
  {
    KeyStore store(Path("full.db"));
    store.SaveKey(KeyRoot::kUser, kVelmarKey, Path("saved.hive"));
  }
  const QByteArray hive = ReadBytes(Path("saved.hive"));
  EXPECT_THROW(KeyStore store(Path("saved.hive")), KeyStoreError);
  EXPECT_EQ(ReadBytes(Path("saved.hive")), hive);

  // A directory or an empty name is no store either.
  EXPECT_THROW(KeyStore store(dir_.path()), KeyStoreError);
  EXPECT_THROW(KeyStore store{QString()}, KeyStoreError);

  // The intact original still opens with all its values.
  KeyStore store(Path("full.db"));
  const auto key = store.OpenKey(KeyRoot::kUser, kVelmarKey, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(store.ValueNames(*key).size(), 400);
  EXPECT_EQ(store.ReadValue(*key, "Value399")->binary, QByteArray(200, char(399)));
}

// A store let go between uses opens again on the next call: what was
// written stays, writes go on, and a file swapped meanwhile for one that is
// not a store raises rather than being used.
TEST_F(KeyStoreTest, UnloadedStoreOpensAgainOnTheNextCall) {
  KeyStore store(Path("registry.db"));
  Populate(store, KeyRoot::kUser, kVelmarKey);
  const QStringList before = Dump(store, KeyRoot::kUser, kVelmarKey);
  store.Unload();
  store.Unload();
  EXPECT_EQ(Dump(store, KeyRoot::kUser, kVelmarKey), before);
  const auto key = store.OpenKey(KeyRoot::kUser, kVelmarKey, false);
  ASSERT_TRUE(key);
  store.Unload();
  store.WriteValue(*key, "RCWidth", StoredValue::Integer(77));
  store.Unload();
  EXPECT_EQ(KeyStore(Path("registry.db")).ReadValue(*key, "RCWidth")->integer, 77);
  store.SaveKey(KeyRoot::kUser, kVelmarKey, Path("saved.hive"));
  store.Unload();
  store.RestoreKey(KeyRoot::kMachine, kVelmarKey, Path("saved.hive"));
  store.Unload();
  EXPECT_EQ(Dump(store, KeyRoot::kMachine, kVelmarKey).size(), before.size());

  store.Unload();
  QFile::remove(Path("registry.db"));
  QFile::remove(Path("registry.db-wal"));
  QFile::remove(Path("registry.db-shm"));
  ExecSql(Path("registry.db"), "CREATE TABLE settings(name, value)");
  EXPECT_THROW(store.ReadValue(*key, "RCWidth"), KeyStoreError);
  EXPECT_THROW(store.ReadValue(*key, "RCWidth"), KeyStoreError);
}

// The window lets the store go from its loop while another thread may be
// in the middle of its calls: every write lands all the same.
TEST_F(KeyStoreTest, UnloadWhileAnotherThreadWritesLosesNothing) {
  KeyStore store(Path("registry.db"));
  const auto key = store.OpenKey(KeyRoot::kMachine, kVelmarKey, true);
  ASSERT_TRUE(key);
  constexpr int kWrites = 300;
  std::atomic<bool> done = false;
  QString failure;
  std::thread writer([&] {
    try {
      for (int i = 0; i < kWrites; ++i) {
        store.WriteValue(*key, QStringLiteral("V%1").arg(i), StoredValue::Integer(i));
      }
    } catch (const KeyStoreError& error) {
      failure = error.Message();
    }
    done = true;
  });
  do {
    store.Unload();
  } while (!done);
  writer.join();
  EXPECT_EQ(failure, QString());
  store.Unload();
  const auto values = KeyStore(Path("registry.db")).Values(*key);
  ASSERT_EQ(values.size(), size_t(kWrites));
  EXPECT_EQ(values.back().value.integer, kWrites - 1);
}

TEST_F(KeyStoreTest, ReadOnlyStoreReadsButNeverWrites) {
  {
    KeyStore store(Path("registry.db"));
    Populate(store, KeyRoot::kUser, kVelmarKey);
  }
  const QByteArray bytes = ReadBytes(Path("registry.db"));

  KeyStore store(Path("registry.db"), KeyStore::Access::ReadOnly);
  EXPECT_TRUE(store.IsReadOnly());
  const auto key = store.OpenKey(KeyRoot::kUser, kVelmarKey, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(store.OpenKey(KeyRoot::kUser, kVelmarKey, true), key);  // exists: no write needed
  EXPECT_EQ(store.ReadValue(*key, "RCWidth")->integer, 420);
  EXPECT_EQ(store.SubkeyNames(*key), QStringList{"History"});

  EXPECT_THROW(store.WriteValue(*key, "RCWidth", StoredValue::Integer(1)), KeyStoreError);
  EXPECT_THROW(store.WriteValue(*key, "New", StoredValue::Integer(1)), KeyStoreError);
  EXPECT_THROW(store.OpenKey(KeyRoot::kUser, "\\Software\\New", true), KeyStoreError);
  EXPECT_THROW(store.DeleteValue(*key, "RCWidth"), KeyStoreError);
  EXPECT_THROW(store.DeleteKey(KeyRoot::kUser, kVelmarKey), KeyStoreError);
  store.SaveKey(KeyRoot::kUser, kVelmarKey, Path("saved.hive"));
  EXPECT_THROW(store.RestoreKey(KeyRoot::kUser, kVelmarKey, Path("saved.hive")), KeyStoreError);

  EXPECT_EQ(store.ReadValue(*key, "RCWidth")->integer, 420);
  EXPECT_FALSE(store.KeyExists(KeyRoot::kUser, "\\Software\\New"));
  EXPECT_EQ(ReadBytes(Path("registry.db")), bytes);

  // Read-only never creates a file.
  EXPECT_THROW(KeyStore(Path("absent.db"), KeyStore::Access::ReadOnly), KeyStoreError);
  EXPECT_FALSE(QFile::exists(Path("absent.db")));
}

// The automatic mode decides by access(2). Root may write anything, so for
// root the check runs in a child that has dropped to an unprivileged user.
TEST_F(KeyStoreTest, StoreInAReadOnlyPlaceOpensReadOnly) {
  const QString roDir = Path("ro");
  const QString path = roDir + "/registry.db";
  {
    KeyStore store(path);
    Populate(store, KeyRoot::kUser, kVelmarKey);
  }
  const QByteArray bytes = ReadBytes(path);
  ASSERT_EQ(chmod(QFile::encodeName(dir_.path()).constData(), 0755), 0);
  ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0444), 0);
  ASSERT_EQ(chmod(QFile::encodeName(roDir).constData(), 0555), 0);

  const bool root = geteuid() == 0;
  const int rc = RunInChild([&] {
    if (root && (setgid(65534) != 0 || setuid(65534) != 0)) {
      return 10;
    }
    KeyStore store(path);
    if (!store.IsReadOnly()) {
      return 11;
    }
    const auto key = store.OpenKey(KeyRoot::kUser, kVelmarKey, false);
    if (!key || store.ReadValue(*key, "RCWidth") != StoredValue::Integer(420) ||
        store.SubkeyNames(*key) != QStringList{"History"}) {
      return 12;
    }
    try {
      store.WriteValue(*key, "RCWidth", StoredValue::Integer(1));
      return 13;
    } catch (const KeyStoreError&) {
    }
    return store.ReadValue(*key, "RCWidth") == StoredValue::Integer(420) ? 0 : 14;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadBytes(path), bytes);
  EXPECT_FALSE(QFile::exists(path + "-wal"));

  if (root) {
    // access(2) grants root write access, so the same store opens writable.
    KeyStore store(path);
    EXPECT_FALSE(store.IsReadOnly());
  }
  chmod(QFile::encodeName(roDir).constData(), 0755);
}

TEST_F(KeyStoreTest, DefaultPathFollowsTheEnvironment) {
  struct Saved {
    const char* name;
    std::optional<QByteArray> value;
  };
  std::vector<Saved> saved;
  for (const char* name : {"VELMAR_REGISTRY", "XDG_DATA_HOME", "HOME"}) {
    saved.push_back(
        {name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
  }

  qputenv("HOME", "/home/tester");
  qunsetenv("XDG_DATA_HOME");
  qunsetenv("VELMAR_REGISTRY");
  EXPECT_EQ(KeyStore::DefaultPath(), "/home/tester/.local/share/velmar/registry.db");
  qputenv("XDG_DATA_HOME", "relative/data");
  EXPECT_EQ(KeyStore::DefaultPath(), "/home/tester/.local/share/velmar/registry.db");
  qputenv("XDG_DATA_HOME", "/xdg/data");
  EXPECT_EQ(KeyStore::DefaultPath(), "/xdg/data/velmar/registry.db");
  qputenv("VELMAR_REGISTRY", "/elsewhere/reg.db");
  EXPECT_EQ(KeyStore::DefaultPath(), "/elsewhere/reg.db");

  for (const auto& [name, value] : saved) {
    if (value) {
      qputenv(name, *value);
    } else {
      qunsetenv(name);
    }
  }

  // A missing directory is created for a new store.
  KeyStore store(Path("new/nested/dir/registry.db"));
  EXPECT_TRUE(QFileInfo(Path("new/nested/dir/registry.db")).isFile());
}

// A writer killed with SIGKILL at an arbitrary moment loses nothing whose
// write call had returned, and leaves a store that opens.
TEST_F(KeyStoreTest, WritesThatReturnedSurviveSigkill) {
  const QString path = Path("registry.db");
  { KeyStore create(path); }
  std::mt19937 random(4242);
  int reportedTotal = 0;
  for (int round = 0; round < 20; ++round) {
    const QString keyPath = QStringLiteral("\\Rounds\\Round %1").arg(round);
    int reports[2];
    ASSERT_EQ(pipe(reports), 0);
    fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(reports[0]);
      try {
        KeyStore store(path);
        const auto key = store.OpenKey(KeyRoot::kUser, keyPath, true);
        for (int32_t i = 0; i < 1000000; ++i) {
          const QString name = QStringLiteral("V%1").arg(i);
          switch (i % 3) {
            case 0:
              store.WriteValue(*key, name, StoredValue::Integer(i));
              break;
            case 1:
              store.WriteValue(*key, name, StoredValue::String(QString::number(i)));
              break;
            default:
              store.WriteValue(*key, name, StoredValue::Binary(QByteArray::number(i)));
              break;
          }
          if (write(reports[1], &i, sizeof i) != sizeof i) {
            _exit(3);
          }
        }
      } catch (...) {
        _exit(2);
      }
      _exit(0);
    }
    close(reports[1]);
    // Kill only once writing is under way, then after a varying delay.
    int32_t first = -1;
    ASSERT_EQ(read(reports[0], &first, sizeof first), ssize_t(sizeof first)) << "child never wrote";
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself with " << WEXITSTATUS(status);
    int32_t last = first;
    for (int32_t index = 0; read(reports[0], &index, sizeof index) == ssize_t(sizeof index);) {
      ASSERT_EQ(index, last + 1);
      last = index;
    }
    close(reports[0]);
    reportedTotal += last + 1;

    KeyStore store(path);
    const auto key = store.OpenKey(KeyRoot::kUser, keyPath, false);
    ASSERT_TRUE(key) << "round " << round;
    for (int32_t i = 0; i <= last; ++i) {
      const QString name = QStringLiteral("V%1").arg(i);
      const auto value = store.ReadValue(*key, name);
      ASSERT_TRUE(value) << "round " << round << " lost " << name.toStdString();
      const StoredValue expected = i % 3 == 0   ? StoredValue::Integer(i)
                                   : i % 3 == 1 ? StoredValue::String(QString::number(i))
                                                : StoredValue::Binary(QByteArray::number(i));
      ASSERT_EQ(*value, expected) << "round " << round << " " << name.toStdString();
    }
    // At most the one write in flight at the kill may have landed beyond.
    EXPECT_FALSE(store.ValueExists(*key, QStringLiteral("V%1").arg(last + 2))) << "round " << round;
    EXPECT_LE(store.ValueNames(*key).size(), last + 2);
  }
  EXPECT_GT(reportedTotal, 20);
}

// Two processes writing at once both succeed: the busy timeout makes each
// wait for the other's commit, also while the file is first created.
TEST_F(KeyStoreTest, TwoProcessesWriteTheSameStoreAtOnce) {
  const QString path = Path("shared/registry.db");
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(gate[1]);
      char byte;
      // Returns when the parent closes its end: both start together.
      [[maybe_unused]] const ssize_t unused = read(gate[0], &byte, 1);
      try {
        KeyStore store(path);
        for (int i = 0; i < 300; ++i) {
          const auto key =
              store.OpenKey(KeyRoot::kUser, QStringLiteral("\\Shared\\K%1").arg(i % 7), true);
          store.WriteValue(*key, QStringLiteral("W%1-%2").arg(writer).arg(i),
                           StoredValue::Integer(i));
        }
      } catch (const std::exception& error) {
        fprintf(stderr, "writer %d: %s\n", writer, error.what());
        _exit(2);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  close(gate[0]);
  close(gate[1]);
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }

  KeyStore store(path);
  const auto shared = store.OpenKey(KeyRoot::kUser, "Shared", false);
  ASSERT_TRUE(shared);
  EXPECT_EQ(store.SubkeyNames(*shared).size(), 7);
  for (int writer = 0; writer < 2; ++writer) {
    for (int i = 0; i < 300; ++i) {
      const auto key =
          store.OpenKey(KeyRoot::kUser, QStringLiteral("\\Shared\\K%1").arg(i % 7), false);
      ASSERT_TRUE(key);
      EXPECT_EQ(store.ReadValue(*key, QStringLiteral("W%1-%2").arg(writer).arg(i)),
                StoredValue::Integer(i))
          << writer << " " << i;
    }
  }
}

}  // namespace
}  // namespace velmar
