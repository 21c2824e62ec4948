// The running meter killed with SIGKILL at random moments, 200 times, while
// it saves settings, writes history records and alarm-log values: the
// settings file is always the complete old or the complete new file, and
// the key store always opens and holds every record whose write returned.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <random>

#include "config/settings_list.h"
#include "history/history_recorder.h"
#include "platform/key_store.h"
#include "platform/registry.h"

namespace velmar {
namespace {

TEST(CrashSafetyTest, KilledAtRandomTheFilesAreWholeAndEveryReturnedWriteStays) {
  QTemporaryDir dir;
  std::mt19937 random(20261208);
  int records = 0;  // history records reported as written, over all runs
  QSet<QString> alarms;
  int rounds = 0;
  int savesSeen = 0;
  for (; rounds < 200; ++rounds) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      dup2(out[1], 1);
      close(out[0]);
      const QByteArray path = QByteArray(VELMAR_BIN_DIR "/crash_driver");
      const QByteArray arg = dir.path().toLocal8Bit();
      execl(path.constData(), path.constData(), arg.constData(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    // Once the driver has started writing (however long its start-up takes,
    // a sanitized build is slower), let it run a random while, then kill it.
    FILE* reported = fdopen(out[0], "r");
    char line[512];
    QStringList lines;
    if (fgets(line, sizeof line, reported) != nullptr) {
      lines << QString::fromLatin1(line);
    }
    usleep(random() % 150000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    while (fgets(line, sizeof line, reported) != nullptr) {
      lines << QString::fromLatin1(line);
    }
    for (const QString& text : lines) {
      const QString l = text.trimmed();
      if (l.startsWith("H "))
        ++records;
      if (l.startsWith("A "))
        alarms.insert(l.section(' ', 2, -1));
      if (l.startsWith("S "))
        ++savesSeen;
    }
    fclose(reported);

    // The settings file: absent before the first save, else one of the two.
    QFile f(dir.filePath("Velmarsettings.ini"));
    if (f.open(QIODevice::ReadOnly)) {
      const QByteArray bytes = f.readAll();
      SettingsList s;
      ASSERT_TRUE(s.LoadFromFile(dir.filePath("Velmarsettings.ini")));
      ASSERT_GE(s.Count(), SettingsList::kLineCount) << "round " << rounds;
      const QString l40 = s.Line(40);
      ASSERT_TRUE(l40 == QString(3000, 'a') || l40 == QString(70000, 'b') ||
                  l40 == SettingsList::DefaultLines()[40])
          << "round " << rounds << ": a torn settings file of " << bytes.size() << " bytes";
    }
  }
  EXPECT_GT(savesSeen, 200) << "the kills must land among the writes";

  // Every reported record and alarm value is in the store.
  KeyStore store(dir.filePath("registry.db"));
  Registry reg(store);
  reg.SetRootKey(KeyRoot::kMachine);
  ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey + "\\2026-12-08", false));
  const int highWater = reg.ReadInteger("HighWater");
  // Each returned record took a new number (HighWater persists across
  // runs), so the store holds at least as many complete records; and a
  // record is written in one transaction, so none is cut short.
  int complete = 0;
  for (int n = 1; n <= highWater; ++n) {
    complete += reg.ValueExists(QString("Timestamp_%1").arg(n)) &&
                reg.ValueExists(QString("AvgDownSpeed_%1").arg(n)) &&
                reg.ValueExists(QString("AvgUpSpeed_%1").arg(n));
  }
  EXPECT_GT(records, 100);
  EXPECT_GE(complete, records) << "every returned record is there";
  EXPECT_EQ(highWater, complete) << "no record is cut short by a kill";
  ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey + "\\2026-12-08\\Alarms", false));
  const QStringList names = reg.GetValueNames();
  for (const QString& a : alarms) {
    EXPECT_TRUE(names.contains(a)) << a.toStdString();
  }
  RecordProperty("records", records);
  RecordProperty("alarms", static_cast<int>(alarms.size()));
}

}  // namespace
}  // namespace velmar
