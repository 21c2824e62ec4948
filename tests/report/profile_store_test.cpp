#include "report/profile_store.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>

#include "report/history_fixture.h"
#include "report/report_generator.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
  f.write(bytes);
}

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

TEST(ProfileStoreTest, UnsafeNamesAreRefusedWithTheirReason) {
  const std::pair<QString, const char*> bad[] = {
      {"", "needs a name"},
      {" Home", "blank"},
      {"a/b", "separator"},
      {"a\\b", "separator"},
      {"..", ".."},
      {"x..y", ".."},
      {".hidden", "dot"},
      {"tab\there", "control"},
      {QString("del") + QChar(0x7f), "control"},
      {QString("bidi") + QChar(0x202e), "control"},
      {QString(65, 'x'), "64"},
  };
  for (const auto& [name, reason] : bad) {
    try {
      ProfileStore::CheckName(name);
      ADD_FAILURE() << "accepted: " << name.toStdString();
    } catch (const ProfileError& e) {
      EXPECT_NE(e.Message().indexOf(reason), -1) << e.what();
    }
  }
  EXPECT_NO_THROW(ProfileStore::CheckName(QString::fromUtf8("Büro – monthly (2026)")));
}

TEST(ProfileStoreTest, ProfilesRoundTripAndNonsenseFilesSayWhatIsWrong) {
  QTemporaryDir dir;
  const ProfileStore profiles(dir.filePath("Profiles"));
  ReportProfile p;
  p.period = {PeriodKind::kRange, QDate(2026, 11, 1), QDate(2026, 11, 30)};
  p.grouping = Grouping::kWeek;
  p.values = kDownVolume | kAlarmEvents;
  p.quota = Quota{12345678901234567ull, 15, QuotaCounts::kDown};
  p.formats = kCsvFormat | kJsonFormat;
  profiles.Save("Home", p);
  EXPECT_EQ(profiles.Load("Home"), p) << "bytes beyond 2^53 survive as text";
  EXPECT_EQ(profiles.Names(), QStringList{"Home"});

  const QString file = profiles.FolderOf("Home") + "/profile.json";
  const std::pair<QByteArray, const char*> nonsense[] = {
      {"", "no JSON"},
      {"{\"format\": \"velmar-report-profile\", \"version\": 1,", "no JSON"},
      {"[1, 2]", "no JSON object"},
      {"{\"format\": \"other\"}", "\"format\""},
      {"{\"format\": \"velmar-report-profile\", \"version\": 2}", "version 2"},
      {"{\"format\": \"velmar-report-profile\", \"version\": 1, \"period\": {\"kind\": "
       "\"fortnight\"}}",
       "\"fortnight\" is not one of"},
      {"{\"format\": \"velmar-report-profile\", \"version\": 1, \"period\": {\"kind\": "
       "\"range\", \"from\": \"2026-12-31\", \"to\": \"2026-12-01\"}, \"grouping\": \"day\", "
       "\"values\": [\"down\"], \"formats\": [\"csv\"]}",
       "ends (2026-12-01) before it starts"},
      {"{\"format\": \"velmar-report-profile\", \"version\": 1, \"period\": {\"kind\": "
       "\"today\"}, \"grouping\": \"day\", \"values\": [\"down\", \"down\"], \"formats\": "
       "[\"csv\"]}",
       "named twice"},
      {"{\"format\": \"velmar-report-profile\", \"version\": 1, \"period\": {\"kind\": "
       "\"today\"}, \"grouping\": \"day\", \"values\": [\"down\"], \"formats\": [\"csv\"], "
       "\"quota\": {\"bytes\": \"lots\", \"monthStartsOn\": 1, \"counts\": \"total\"}}",
       "quota.\"bytes\" must be a whole number"},
      {"{\"format\": \"velmar-report-profile\", \"version\": 1, \"period\": {\"kind\": "
       "\"today\"}, \"grouping\": 7, \"values\": [], \"formats\": []}",
       "\"grouping\" must be a text"},
  };
  for (const auto& [json, words] : nonsense) {
    WriteFile(file, json);
    try {
      profiles.Load("Home");
      ADD_FAILURE() << "accepted: " << json.constData();
    } catch (const ProfileError& e) {
      EXPECT_NE(e.Message().indexOf(words), -1) << e.what();
      EXPECT_NE(e.Message().indexOf(file), -1) << "names the file: " << e.what();
    }
  }

  // A range the report's groups could not hold in memory is refused,
  // hand-edited or not; a year of five-minute groups is fine.
  p.quota.reset();
  p.grouping = Grouping::kFiveMinutes;
  p.period = {PeriodKind::kRange, QDate(2025, 12, 8), QDate(2026, 12, 7)};
  EXPECT_NO_THROW(p.Validate());
  p.period.from = QDate(2020, 1, 1);
  EXPECT_THROW(p.Validate(), ProfileError);
  p.grouping = Grouping::kDay;
  EXPECT_NO_THROW(p.Validate());
  p.period.from = QDate(1000, 1, 1);
  EXPECT_THROW(p.Validate(), ProfileError);
  p.grouping = Grouping::kMonth;
  EXPECT_NO_THROW(p.Validate());
  WriteFile(file,
            "{\"format\": \"velmar-report-profile\", \"version\": 1, \"period\": {\"kind\": "
            "\"range\", \"from\": \"0001-01-01\", \"to\": \"9999-12-31\"}, \"grouping\": "
            "\"5min\", \"values\": [\"down\"], \"formats\": [\"csv\"]}");
  EXPECT_THROW(profiles.Load("Home"), ProfileError);

  // Entries a person types.
  EXPECT_EQ(ParseSize("50"), 50000000000u);
  EXPECT_EQ(ParseSize(" 1,5 tb "), 1500000000000u);
  EXPECT_EQ(ParseSize("700MB"), 700000000u);
  for (const char* bad : {"", "abc", "5 GiB", "-1", "0", "1e3", "99999999999 TB"}) {
    EXPECT_THROW(ParseSize(bad), ProfileError) << bad;
  }
}

TEST(ProfileStoreTest, ReportsAreWrittenWholeOrNotAtAll) {
  test::TempStore store;
  test::WriteRecords(*store.store, {{QDateTime(QDate(2026, 12, 7), QTime(10, 0)), 5000, 50}});
  const ProfileStore profiles(store.dir.filePath("Profiles"));
  ReportProfile p;
  p.period = {PeriodKind::kRange, QDate(2026, 12, 7), QDate(2026, 12, 7)};
  profiles.Save("Home", p);
  ReportSources sources{
      store.store.get(), {}, "yyyy-MM-dd", QDateTime(QDate(2026, 12, 8), QTime(9, 0)), 0};
  const QString folder = profiles.FolderOf("Home");
  const QStringList written = ReportGenerator::GenerateIntoProfile(profiles, "Home", sources);
  EXPECT_EQ(written, QStringList({folder + "/report.html", folder + "/report.csv",
                                  folder + "/report.json"}));
  const QByteArray html = ReadFile(folder + "/report.html");
  const QByteArray csv = ReadFile(folder + "/report.csv");
  EXPECT_TRUE(csv.contains(",1,0,5000,50,5050,"));

  // A folder where the JSON file goes: found before anything is replaced.
  test::WriteRecords(*store.store, {{QDateTime(QDate(2026, 12, 7), QTime(11, 0)), 1, 1}});
  QFile::remove(folder + "/report.json");
  ASSERT_TRUE(QDir().mkdir(folder + "/report.json"));
  EXPECT_THROW(ReportGenerator::GenerateIntoProfile(profiles, "Home", sources), Exception);
  EXPECT_EQ(ReadFile(folder + "/report.html"), html);
  EXPECT_EQ(ReadFile(folder + "/report.csv"), csv);
  ASSERT_TRUE(QDir().rmdir(folder + "/report.json"));

  // A full disk (a file size limit) part way.
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit tight = old;
  tight.rlim_cur = 2000;
  setrlimit(RLIMIT_FSIZE, &tight);
  EXPECT_THROW(ReportGenerator::GenerateIntoProfile(profiles, "Home", sources), Exception);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(ReadFile(folder + "/report.html"), html);
  EXPECT_EQ(ReadFile(folder + "/report.csv"), csv);
  EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 3)
      << "the profile and two reports, no temporary file";

  // A damaged record of the period: an error naming it, no file touched.
  {
    Registry reg(*store.store);
    reg.SetRootKey(KeyRoot::kMachine);
    ASSERT_TRUE(reg.OpenKey(HistoryRecorder::DayKey("2026-12-07"), false));
    reg.WriteInteger("Timestamp_2", 3);
  }
  try {
    ReportGenerator::GenerateIntoProfile(profiles, "Home", sources);
    ADD_FAILURE() << "no error";
  } catch (const HistoryDamagedError& e) {
    EXPECT_STREQ(e.what(),
                 "History record 2 of day 2026-12-07 is damaged: Timestamp_2 is not a time");
  }
  EXPECT_EQ(ReadFile(folder + "/report.csv"), csv);

  // A profiles folder that cannot be made: nothing saved, nothing left.
  const ProfileStore blocked(store.dir.filePath("registry.db"));
  EXPECT_THROW(blocked.Save("Other", p), ProfileError);
  EXPECT_FALSE(QFileInfo::exists(store.dir.filePath("registry.db/Other")));
}

}  // namespace
}  // namespace velmar
