// Real traffic through the loopback, measured by the real agent library,
// recorded by the recorder and read back by a report: the volumes agree
// with the kernel's own counters.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <atomic>
#include <thread>

#include "history/history_recorder.h"
#include "interfaces/interface_table.h"
#include "measure/counter_sampler.h"
#include "report/report_generator.h"
#include "support/quiet_host.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

using test::QuietHost;

uint64_t Kernel(const char* counter) {
  QFile f(QStringLiteral("/sys/class/net/lo/statistics/") + QLatin1String(counter));
  return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toULongLong() : 0;
}

// Sends `bytes` from one loopback socket to another.
void Transfer(uint64_t bytes) {
  const int server = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(server, 1), 0);
  ::getsockname(server, reinterpret_cast<sockaddr*>(&address), &length);
  std::thread sink([server] {
    const int peer = ::accept(server, nullptr, nullptr);
    char buffer[1 << 16];
    while (::read(peer, buffer, sizeof buffer) > 0) {
    }
    ::close(peer);
  });
  const int client = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  static const char chunk[1 << 16] = {};
  for (uint64_t sent = 0; sent < bytes;) {
    const ssize_t n = ::write(client, chunk, sizeof chunk);
    ASSERT_GT(n, 0);
    sent += static_cast<uint64_t>(n);
  }
  ::close(client);
  sink.join();
  ::close(server);
}

TEST(LoopbackVolumeTest, ARecordedPeriodHoldsWhatTheKernelCounted) {
  if (!QFile::exists("/sys/class/net/lo/statistics/rx_bytes")) {
    GTEST_SKIP() << "no loopback statistics in /sys/class/net/lo";
  }
  test::TempStore store;
  MeasurementState state;
  QuietHost host;
  InterfaceTable table(nullptr, QStringLiteral(VELMAR_BIN_DIR "/libmib2.so"));
  CounterSampler sampler(state, &table, host);
  const QStringList adapters = sampler.BuildAdapterList();
  ASSERT_TRUE(adapters.contains("lo")) << adapters.join(',').toStdString();
  state.AdapterIndex = static_cast<int16_t>(adapters.indexOf("lo"));
  DayKeyDates dates;
  dates.Format = [] { return QStringLiteral("yyyy-MM-dd"); };
  HistoryRecorder recorder(state, store.store.get(), dates, 1000);

  state.ResetForStart();
  state.AnalysisActive = true;
  recorder.MeasuringStarted();
  const QDateTime started = QDateTime::currentDateTime();
  sampler.Tick();  // stamps the time
  sampler.Tick();  // the first reading: nothing moved yet
  const uint64_t rx0 = Kernel("rx_bytes");
  const uint64_t tx0 = Kernel("tx_bytes");

  // The transfer runs while the meter ticks and records; each tick sees a
  // few hundred megabytes at most, far from the 32-bit counters' wrap. The
  // ticks come faster than readings are taken, so those left out are
  // counted in the next one taken.
  std::atomic<bool> done{false};
  std::thread traffic([&done] {
    for (int i = 0; i < 16; ++i) {
      Transfer(64ull << 20);  // 1 GiB in all
    }
    done = true;
  });
  int ticks = 0;
  while (!done) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sampler.Tick();
    if (++ticks % 5 == 0) {
      recorder.RecordTick();
    }
  }
  traffic.join();
  // A reading closer to the one before than the sampler's shortest rate
  // interval is not taken; the last bytes must be in the one that is.
  std::this_thread::sleep_for(std::chrono::microseconds(CounterSampler::kMinRateIntervalUs));
  sampler.Tick();
  const uint64_t rx = Kernel("rx_bytes") - rx0;
  const uint64_t tx = Kernel("tx_bytes") - tx0;
  recorder.RecordTick();

  ReportProfile profile;
  profile.period = {PeriodKind::kRange, started.date(), QDate::currentDate()};
  const Report report = ReportGenerator::Make(
      {}, profile,
      {store.store.get(), {}, QStringLiteral("yyyy-MM-dd"), QDateTime::currentDateTime(), 0});
  ASSERT_GE(report.totals.records, 2);
  EXPECT_EQ(report.totals.estimatedRecords, 0);
  ASSERT_GT(rx, 256ull << 20);
  EXPECT_NEAR(static_cast<double>(report.totals.down), static_cast<double>(rx), rx * 0.01);
  EXPECT_NEAR(static_cast<double>(report.totals.up), static_cast<double>(tx), tx * 0.01);
  EXPECT_EQ(report.totals.down, state.CountedDownBytes) << "every counted byte is in a record";
}

}  // namespace
}  // namespace velmar
