// Writes a known history and a report profile for the browser test:
//   report_fixture <key store> <profiles folder> <profile name>
// Days 1, 2 and 3 before today hold records (day 2 only older ones without
// counted volumes), day 4 before today none; two alarms on day 3.
#include <QCoreApplication>
#include <cstdio>

#include "report/history_fixture.h"
#include "report/profile_store.h"

using namespace velmar;

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: report_fixture STORE PROFILES NAME\n");
    return 2;
  }
  try {
    KeyStore store(QString::fromLocal8Bit(argv[1]));
    const QDate today = QDate::currentDate();
    std::vector<test::RecordSpec> records;
    for (int hour = 0; hour < 24; ++hour) {
      records.push_back({QDateTime(today.addDays(-3), QTime(hour, 30)),
                         1234567ull * (hour + 1) * (hour + 1), 4321ull * (hour + 7)});
    }
    for (int hour = 8; hour < 12; ++hour) {
      records.push_back(
          {QDateTime(today.addDays(-2), QTime(hour, 0)), 0, 0, false, 250000 + hour, 1200});
    }
    records.push_back(
        {QDateTime(today.addDays(-1), QTime(23, 55)), 1999999999, 999, true, 0, 0, 290000});
    records.push_back({QDateTime(today.addDays(-1), QTime(0, 5)), 512, 0});
    test::WriteRecords(store, records);
    DayKeyDates dates;
    test::WriteAlarm(store, dates, QDateTime(today.addDays(-3), QTime(13, 0, 5)), 1000);
    test::WriteAlarm(store, dates, QDateTime(today.addDays(-3), QTime(13, 30)), 100000001);

    ReportProfile profile;
    profile.period.kind = PeriodKind::kLast7Days;
    profile.grouping = Grouping::kDay;
    profile.quota = Quota{5000000000, 1, QuotaCounts::kTotal};
    ProfileStore(QString::fromLocal8Bit(argv[2])).Save(QString::fromUtf8(argv[3]), profile);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "report_fixture: %s\n", e.what());
    return 1;
  }
  return 0;
}
