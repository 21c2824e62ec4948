// A known transfer while the meter is stopped, in a network of its own:
// the next start finds it in the kernel's counters, the history holds it
// as a record "while not running", and a report counts it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "history/usage_keeper.h"
#include "interfaces/interface_table.h"
#include "measure/counter_sampler.h"
#include "report/report_generator.h"
#include "report/report_writers.h"
#include "support/own_network.h"
#include "support/quiet_host.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

using test::QuietHost;

// `bytes` of UDP payload out of va to a neighbour that never answers, in
// datagrams its large MTU carries whole (42 bytes of headers on 60000).
uint64_t SendThroughVeth(uint64_t bytes) {
  const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
  EXPECT_GE(s, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(9);
  ::inet_pton(AF_INET, "10.77.0.2", &to.sin_addr);
  static const char chunk[60000] = {};
  uint64_t sent = 0;
  while (sent < bytes) {
    const ssize_t n =
        ::sendto(s, chunk, sizeof chunk, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    EXPECT_EQ(n, static_cast<ssize_t>(sizeof chunk)) << strerror(errno);
    if (n <= 0) {
      break;
    }
    sent += static_cast<uint64_t>(n);
  }
  ::close(s);
  return sent;
}

TEST(OfflineVolumeTest, ATransferWhileStoppedIsInTheStartAndTheReport) {
  VELMAR_IN_OWN_NETWORK();
  ASSERT_EQ(std::system("ip link add va type veth peer name vb && ip link set va mtu 65000 && "
                        "ip link set vb mtu 65000 && ip link set va up && ip link set vb up && "
                        "ip addr add 10.77.0.1/24 dev va && ip neigh add 10.77.0.2 "
                        "lladdr 02:00:00:00:00:02 dev va nud permanent"),
            0);
  test::TempStore store;
  MeasurementState state;
  QuietHost host;
  InterfaceTable table(nullptr, QStringLiteral(VELMAR_BIN_DIR "/libmib2.so"));
  CounterSampler sampler(state, &table, host);
  const QStringList adapters = sampler.BuildAdapterList();
  ASSERT_TRUE(adapters.contains("va")) << adapters.join(',').toStdString();
  DayKeyDates dates;
  dates.Format = [] { return QStringLiteral("yyyy-MM-dd"); };
  UsageKeeper keeper(store.store.get(), dates);
  // The meter measures va (both ends of the pair are here; "All" would
  // take both, as with two machines).
  const int va = static_cast<int>(adapters.indexOf("va"));
  keeper.Counts = [&table, va] { return MeterSelection(&table, va, "va"); };
  ASSERT_TRUE(keeper.Counts()("va"));
  ASSERT_FALSE(keeper.Counts()("vb"));

  const QDateTime stopped = QDateTime::currentDateTime();
  keeper.Keep();  // the meter stops
  const uint64_t sent = SendThroughVeth(40'000'000);
  const auto offline = keeper.Started();  // and starts again
  ASSERT_TRUE(offline.has_value());
  EXPECT_FALSE(offline->gap);
  EXPECT_NEAR(static_cast<double>(offline->transmitted), static_cast<double>(sent), sent * 0.01);

  ReportProfile profile;
  profile.period = {PeriodKind::kRange, stopped.date(), QDate::currentDate()};
  const Report report = ReportGenerator::Make(
      {}, profile,
      {store.store.get(), {}, QStringLiteral("yyyy-MM-dd"), QDateTime::currentDateTime(), 0});
  EXPECT_EQ(report.totals.records, 1);
  EXPECT_EQ(report.totals.notRunningRecords, 1);
  EXPECT_NEAR(static_cast<double>(report.totals.up), static_cast<double>(sent), sent * 0.01);
  EXPECT_EQ(report.totals.notRunningUp, report.totals.up);
  EXPECT_EQ(report.totals.activeMs, 0) << "not running is no time measured";
  // The writers mark it as such.
  EXPECT_TRUE(WriteHtml(report).contains("passed while the meter was not running"));
  EXPECT_TRUE(WriteJson(report).contains(
      "\"notRunningUp\": " + QByteArray::number(static_cast<qint64>(report.totals.notRunningUp))));
  const QList<QByteArray> csv = WriteCsv(report).split('\n');
  EXPECT_TRUE(csv[0].endsWith(",not_running_down_bytes,not_running_up_bytes")) << csv[0].data();
  EXPECT_TRUE(
      csv[1].endsWith("," + QByteArray::number(static_cast<qint64>(report.totals.notRunningUp))))
      << csv[1].data();
}

// A reboot between stop and start: the report names the gap and holds no
// volume for it.
TEST(OfflineVolumeTest, ARebootIsAGapInTheReport) {
  test::TempStore store;
  DayKeyDates dates;
  dates.Format = [] { return QStringLiteral("yyyy-MM-dd"); };
  QDateTime now(QDate(2026, 12, 8), QTime(9, 0));
  dates.Now = [&now] { return now; };
  UsageKeeper keeper(store.store.get(), dates);
  CounterSnapshot counters{"boot-1", {}, {{2, "eth0", 5000, 5000}}};
  keeper.Take = [&counters] { return counters; };
  keeper.Keep();
  now = now.addSecs(7200);
  counters = {"boot-2", {}, {{2, "eth0", 100, 100}}};
  keeper.Started();

  ReportProfile profile;
  profile.period = {PeriodKind::kRange, now.date(), now.date()};
  const Report report =
      ReportGenerator::Make({}, profile, {store.store.get(), {}, "yyyy-MM-dd", now.addSecs(60), 0});
  EXPECT_EQ(report.totals.records, 0);
  ASSERT_EQ(report.gaps.size(), 1u);
  const QByteArray html = WriteHtml(report);
  EXPECT_TRUE(html.contains("From 2026-12-08T09:00:00") && html.contains("to 2026-12-08T11:00:00"))
      << html.toStdString();
  EXPECT_TRUE(WriteJson(report).contains("\"gaps\""));
}

}  // namespace
}  // namespace velmar
