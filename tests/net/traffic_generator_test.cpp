#include "net/traffic_generator.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <map>
#include <vector>

#include "config/settings_list.h"
#include "config/settings_loader.h"
#include "config/settings_target.h"
#include "interfaces/interface_table.h"
#include "measure/analysis_control.h"
#include "measure/counter_sampler.h"
#include "measure/tick_host.h"
#include "net/local_servers.h"
#include "net/net_test_support.h"
#include "platform/message_queue.h"

namespace velmar {
namespace {

// Time as the test sets it; it starts just before the tick count wraps.
class SetClock : public TickClock {
 public:
  uint32_t TickCount() const override { return ms; }
  void Advance(uint32_t by) { ms += by; }
  uint32_t ms = 0xFFFFF000U;
};

class TrafficGeneratorTest : public ::testing::Test {
 protected:
  TrafficGeneratorTest() : generator(state, clock) {
    state.GenerateMode = true;
    state.AnalysisActive = true;
    // As the core keeps it.
    QObject::connect(&generator, &TrafficGenerator::BusyChanged,
                     [this](bool busy) { state.HttpBusy = busy; });
    QObject::connect(&generator, &TrafficGenerator::DownloadEnded,
                     [this] { endedSections.push_back(state.ProgramSection); });
  }

  void WaitForEnded(uint64_t count) {
    ASSERT_TRUE(test::PumpUntil([&] { return generator.DownloadsEnded() >= count; }, 30000))
        << "download " << count << " did not end";
  }

  MeasurementState state;
  SetClock clock;
  TrafficGenerator generator;
  std::vector<uint8_t> endedSections;
};

TEST_F(TrafficGeneratorTest, TheClientIsConfiguredForGenerateMode) {
  HttpClient& client = generator.HTTPCli();
  EXPECT_EQ(client.TimeOut(), 60);
  EXPECT_FALSE(client.Blocking());
  EXPECT_FALSE(client.Authorization);
  EXPECT_FALSE(client.ProxyAuthorization);
  EXPECT_TRUE(client.UserAgent.isEmpty());
  EXPECT_EQ(client.ProxyPort(), 0);
  EXPECT_EQ(client.GetBodyMode(), HttpClient::BodyMode::kCountAndDrop);

  generator.SetProxy(QStringLiteral("proxy.test:3128"));
  generator.SetProxyPort(8888);
  generator.SetUrl(QStringLiteral("http://example.test:8080/file"));
  EXPECT_EQ(client.Proxy(), QStringLiteral("proxy.test"));
  EXPECT_EQ(client.ProxyPort(), 8888);
  EXPECT_EQ(client.Host(), QStringLiteral("example.test:8080"));
  EXPECT_EQ(generator.Url(), QStringLiteral("http://example.test:8080/file"));

  EXPECT_FALSE(AnalysisControl::HasAddress(QString()));
  EXPECT_FALSE(AnalysisControl::HasAddress(QStringLiteral("  http://  ")));
  EXPECT_FALSE(AnalysisControl::HasAddress(QStringLiteral("HTTP://")));
  EXPECT_TRUE(AnalysisControl::HasAddress(QStringLiteral("http://x")));
}

TEST_F(TrafficGeneratorTest, DownloadsFromAServerListeningOnIpv6Only) {
  if (!test::LocalNginx::Available() || !QFile::exists(QStringLiteral("/proc/net/if_inet6"))) {
    GTEST_SKIP() << "needs nginx-light (scripts/setup-deps) and a kernel with IPv6";
  }
  test::LocalNginx nginx(4 * 1024 * 1024, QStringLiteral("::1"));
  test::MakeSparseFile(nginx.Root() + QStringLiteral("/big.bin"), 4 << 20);
  generator.SetUrl(QStringLiteral("http://[::1]:%1/big.bin").arg(nginx.Port()));
  generator.StartDownload();
  WaitForEnded(1);
  EXPECT_EQ(generator.LastStatus(), 200) << generator.LastError().toStdString();
  EXPECT_EQ(generator.LastBodySize(), 4 << 20);
}

TEST_F(TrafficGeneratorTest, NoRequestUnlessMeasuringInGenerateModeWithAnAddress) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  test::ScriptedServer server(QStringLiteral("ok"));

  generator.SetUrl(QStringLiteral("http://"));  // the placeholder
  generator.StartDownload();
  state.GenerateMode = false;
  generator.StartDownload();
  state.GenerateMode = true;
  state.AnalysisActive = false;  // SLEEP
  generator.StartDownload();
  state.AnalysisActive = true;
  state.HttpBusy = true;
  generator.StartDownload();
  state.HttpBusy = false;
  test::PumpFor(200);
  EXPECT_EQ(generator.DownloadsStarted(), 0u);
  EXPECT_EQ(server.Connections(), 0);

  // Asked while all was well, but SLEEP came before the loop ran it.
  generator.SetUrl(server.Url());
  generator.StartDownload();
  EXPECT_TRUE(generator.Downloading());
  state.AnalysisActive = false;
  test::PumpFor(200);
  EXPECT_EQ(generator.DownloadsStarted(), 0u);
  EXPECT_FALSE(generator.Downloading());

  // A queued download that is cancelled never starts.
  state.AnalysisActive = true;
  generator.StartDownload();
  generator.CancelDownload();
  test::PumpFor(200);
  EXPECT_EQ(generator.DownloadsStarted(), 0u);
  EXPECT_EQ(server.Connections(), 0);
}

TEST_F(TrafficGeneratorTest, StartDownloadOnlyQueuesAndTheHandlersKeepTheBusyFlag) {
  ASSERT_TRUE(test::LocalNginx::Available());
  test::LocalNginx nginx;
  test::MakeSparseFile(nginx.Root() + QStringLiteral("/file.bin"), 8 << 20);
  generator.SetUrl(nginx.Url(QStringLiteral("/file.bin")));

  // Samples of (section, busy) taken by a handler that runs nested in the
  // download whenever the client lets the queue run.
  std::vector<std::pair<int, bool>> samples;
  QTimer sampler;
  sampler.setInterval(0);
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    if (generator.Running() &&
        (samples.empty() ||
         samples.back() != std::pair<int, bool>(state.ProgramSection, state.HttpBusy))) {
      samples.emplace_back(state.ProgramSection, state.HttpBusy);
    }
  });
  sampler.start();

  generator.StartDownload();
  EXPECT_TRUE(generator.Downloading()) << "queued";
  EXPECT_FALSE(generator.Running()) << "but not run inside the caller";
  EXPECT_EQ(generator.DownloadsStarted(), 0u);
  EXPECT_FALSE(state.HttpBusy);
  generator.StartDownload();  // a second ask while queued changes nothing

  WaitForEnded(1);
  sampler.stop();
  EXPECT_EQ(generator.DownloadsStarted(), 1u);
  EXPECT_EQ(generator.DownloadsFailed(), 0u) << generator.LastError().toStdString();
  EXPECT_EQ(generator.LastStatus(), 200);
  EXPECT_EQ(generator.LastBodySize(), 8 << 20);
  EXPECT_FALSE(state.HttpBusy);
  EXPECT_EQ(endedSections, std::vector<uint8_t>{48}) << "the final disconnected signal";
  EXPECT_TRUE(generator.HTTPCli().Body().data().isEmpty()) << "counted, not kept";

  // Only the four handlers' sections, in the order of an exchange, and the
  // flag set in each of them but the last. The peer's close may be told
  // (the disconnected signal) while the end of the body still waits to be read, as
  // the close notification is meant to be: then the last progress reports
  // follow it, with the flag already clear. Get's own running_ guard, not
  // the flag, keeps a second download from starting meanwhile.
  ASSERT_FALSE(samples.empty());
  const std::map<int, int> order = {{49, 0}, {47, 1}, {46, 2}, {48, 3}};
  int last = -1;
  bool closed = false;
  bool sawProgress = false;
  for (const auto& [section, busy] : samples) {
    ASSERT_EQ(order.count(section), 1u) << "section " << section;
    if (closed) {
      EXPECT_TRUE(section == 46 || section == 48) << "section " << section;
      EXPECT_FALSE(busy) << "section " << section;
      continue;
    }
    EXPECT_GE(order.at(section), last) << "section " << section;
    last = std::max(last, order.at(section));
    EXPECT_EQ(busy, section != 48) << "section " << section;
    sawProgress = sawProgress || section == 46;
    closed = section == 48;
  }
  EXPECT_TRUE(sawProgress) << "the progress handler lets the queue run";

  // A 404 is no failure, and the next download runs as usual.
  generator.SetUrl(nginx.Url(QStringLiteral("/nothing-here")));
  generator.StartDownload();
  WaitForEnded(2);
  generator.StartDownload();
  WaitForEnded(3);
  EXPECT_EQ(generator.LastStatus(), 404);
  EXPECT_EQ(generator.DownloadsFailed(), 0u);
  EXPECT_FALSE(state.HttpBusy);
}

TEST_F(TrafficGeneratorTest, AFailedDownloadIsSaidAndTriedAgainAfterAGrowingPause) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  std::vector<std::pair<QString, int>> said;
  int recovered = 0;
  QObject::connect(&generator, &TrafficGenerator::DownloadFailed,
                   [&](const QString& error, int pause) { said.emplace_back(error, pause); });
  QObject::connect(&generator, &TrafficGenerator::DownloadsRecovered, [&] { ++recovered; });
  const uint16_t port = test::FreePort();
  const QString refused = QStringLiteral("http://127.0.0.1:%1/f").arg(port);
  generator.SetUrl(refused);

  // Each failure frees the client and doubles the pause, up to a minute;
  // a tick during the pause starts nothing, the first tick after it does.
  uint64_t runs = 0;
  for (const int pause : {1, 2, 4, 8, 16, 32, 60, 60}) {
    generator.StartDownload();
    WaitForEnded(++runs);
    ASSERT_EQ(said.size(), runs);
    EXPECT_EQ(said.back(),
              std::make_pair(QStringLiteral("[10061] Connection refused (127.0.0.1:%1)").arg(port),
                             pause));
    EXPECT_FALSE(state.HttpBusy);
    EXPECT_EQ(generator.HTTPCli().Socket(), -1);
    clock.Advance(pause * 1000 - 1);
    generator.StartDownload();
    EXPECT_FALSE(generator.Downloading()) << "still pausing after " << pause << " s";
    clock.Advance(1);
  }
  EXPECT_EQ(generator.FailuresInARow(), 8);

  // A success ends the pauses: the next failure waits 1 s again.
  test::ScriptedServer server(QStringLiteral("ok"));
  generator.SetUrl(server.Url());
  generator.StartDownload();
  WaitForEnded(++runs);
  EXPECT_EQ(generator.LastStatus(), 200) << generator.LastError().toStdString();
  EXPECT_EQ(recovered, 1);
  generator.SetUrl(QStringLiteral("http://no-such-host.velmar.invalid/f"));
  generator.StartDownload();
  WaitForEnded(++runs);
  EXPECT_EQ(
      said.back(),
      std::make_pair(QStringLiteral("[11001] Host not found (no-such-host.velmar.invalid)"), 1));

  // Spy, SLEEP or ACTIVE (a cancel) ends the pause at once.
  generator.CancelDownload();
  generator.StartDownload();
  EXPECT_TRUE(generator.Downloading());
  generator.CancelDownload();
  EXPECT_EQ(generator.FailuresInARow(), 0);
  EXPECT_EQ(said.size(), 9u);
}

TEST_F(TrafficGeneratorTest, AFailureBeforeAnySocketExistsDoesNotLockGenerateModeForever) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer runtime needs descriptors of its own (its memory checks
  // open pipes); exhausting them makes it report false errors.
  GTEST_SKIP() << "exhausts file descriptors, which the sanitizer runtime needs";
#endif
  generator.SetUrl(QStringLiteral("http://127.0.0.1:9/f"));
  rlimit original{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &original), 0);
  rlimit lowered = original;
  lowered.rlim_cur = static_cast<rlim_t>(test::OpenDescriptors() + 64);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  std::vector<int> filler;
  for (int fd = dup(0); fd != -1; fd = dup(0)) {
    filler.push_back(fd);
  }
  generator.StartDownload();
  WaitForEnded(1);
  for (const int fd : filler) {
    close(fd);
  }
  setrlimit(RLIMIT_NOFILE, &original);

  EXPECT_EQ(generator.LastError(), QStringLiteral("[10024] Too many open files"));
  EXPECT_FALSE(state.HttpBusy)
      << "set by the connecting signal, no disconnected one: freed by the failure";
  EXPECT_EQ(generator.HTTPCli().Socket(), -1);
  clock.Advance(1000);
  generator.StartDownload();
  EXPECT_TRUE(generator.Downloading()) << "the next try after the pause";
  generator.CancelDownload();
}

TEST_F(TrafficGeneratorTest, CancelFromANestedHandlerStopsTheDownloadAtOnce) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  test::ScriptedServer server(QStringLiteral("slow-endless"));
  generator.SetUrl(server.Url());
  generator.StartDownload();
  // The user switches to Spy while the download runs: the handler runs
  // nested inside the download (the test's own loop is below it).
  bool switched = false;
  int64_t ticks = 0;
  QTimer user;
  user.setInterval(50);
  QObject::connect(&user, &QTimer::timeout, [&] {
    if (!switched && generator.Running() && state.HttpBusy && ++ticks == 6) {
      switched = true;
      state.GenerateMode = false;
      generator.CancelDownload();
    }
  });
  user.start();
  WaitForEnded(1);
  EXPECT_TRUE(switched);
  EXPECT_EQ(generator.LastError(), QStringLiteral("Operation has been canceled"));
  EXPECT_EQ(generator.FailuresInARow(), 0) << "the user's cancel is no failure";
  EXPECT_FALSE(state.HttpBusy);
  EXPECT_FALSE(generator.Running());
  EXPECT_EQ(generator.HTTPCli().Socket(), -1);
  generator.StartDownload();  // Spy now
  test::PumpFor(200);
  EXPECT_EQ(generator.DownloadsStarted(), 1u);
  EXPECT_EQ(server.Connections(), 1);
}

TEST_F(TrafficGeneratorTest, TheDownloadNeverRunsInsideTheTickAndOneGetRunsAtATime) {
  ASSERT_TRUE(test::LocalNginx::Available());
  test::LocalNginx nginx(4 << 20);
  test::MakeSparseFile(nginx.Root() + QStringLiteral("/file.bin"), 6 << 20);
  generator.SetUrl(nginx.Url(QStringLiteral("/slow/file.bin")));

  // A tick that asks for the download and then lets the queue run, as the
  // averaging engine does: the download must not start in there.
  const auto defaultInterval = MessageQueue::MinimumInterval();
  MessageQueue::SetMinimumInterval(std::chrono::nanoseconds(0));
  {
    TrafficGenerator::TickScope tick(generator);
    generator.StartDownload();
    for (int i = 0; i < 50; ++i) {
      MessageQueue::RunIfDue();
    }
    EXPECT_EQ(generator.DownloadsStarted(), 0u);
    EXPECT_TRUE(generator.Downloading());
  }
  MessageQueue::SetMinimumInterval(defaultInterval);

  // Nested handlers that keep asking while the flag is clear (as it is
  // when the peer's close arrives before Get has returned).
  uint64_t most = 0;
  int asks = 0;
  QTimer asker;
  asker.setInterval(20);
  QObject::connect(&asker, &QTimer::timeout, [&] {
    if (!generator.Running()) {
      return;
    }
    state.HttpBusy = false;
    generator.StartDownload();
    ++asks;
    most = std::max(most, generator.DownloadsStarted() - generator.DownloadsEnded());
  });
  asker.start();
  WaitForEnded(1);
  asker.stop();
  EXPECT_GT(asks, 5);
  EXPECT_EQ(most, 1u);
  EXPECT_EQ(generator.DownloadsStarted(), 1u);
  EXPECT_EQ(generator.LastBodySize(), 6 << 20);
  test::PumpFor(100);
  EXPECT_EQ(generator.DownloadsStarted(), 1u) << "nothing was left queued";
}

// Applies the settings through the loader, as start-up does; the window's
// other parts are not needed here.
class ClientTarget : public SettingsTarget {
 public:
  explicit ClientTarget(TrafficGenerator& generator) : generator_(generator) {}
  void SetProgramSection(uint8_t) override {}
  void SetWindowSize(int, int) override {}
  QStringList BuildAdapterList() override { return {QStringLiteral("All")}; }
  void SetAdapterList(const QStringList&) override {}
  void SetKilobitMode(uint8_t) override {}
  void SetSpeedHints(const QString&, const QString&, const QString&, const QString&) override {}
  void SetAveragingMode(uint8_t) override {}
  void SetTotalDisplay(int) override {}
  void SetStayOnTop(bool) override {}
  void SetAdapterIndex(int16_t) override {}
  void SetAdapterLabel(const QString&) override {}
  void SetProxy(const QString& host) override { generator_.SetProxy(host); }
  void SetProxyPort(uint16_t port) override { generator_.SetProxyPort(port); }
  void SetUrl(const QString& url) override { generator_.SetUrl(url); }
  void SetWebPageAddress(const QString&) override {}

 private:
  TrafficGenerator& generator_;
};

TEST_F(TrafficGeneratorTest, SettingsConfigureTheClientThroughTheProxyOrDirect) {
  ASSERT_TRUE(test::LocalNginx::Available());
  ASSERT_TRUE(test::LocalTinyproxy::Available());
  test::LocalNginx nginx;
  test::LocalTinyproxy proxy;
  test::WriteFile(nginx.Root() + QStringLiteral("/file.txt"), QByteArray(5000, 'f'));
  QTemporaryDir dir;
  const QString file = dir.path() + QStringLiteral("/Velmarsettings.ini");
  ClientTarget target(generator);

  auto apply = [&](const QString& url, const QString& useProxy, const QString& proxyHost,
                   const QString& proxyPort) {
    SettingsList lines;
    lines.SetLines(SettingsList::DefaultLines());
    lines.SetLine(3, url);
    lines.SetLine(8, proxyHost);
    lines.SetLine(9, proxyPort);
    lines.SetLine(14, useProxy);
    test::WriteFile(file, SettingsLoader::Serialise(lines));
    SettingsList list;
    SettingsLoader loader(list, target, nullptr, file, QString(),
                          dir.path() + QStringLiteral("/autostart.desktop"));
    loader.LoadSettings(true);
    return list.Line(14);
  };

  // Through tinyproxy: the proxy first, so the Host line keeps the port.
  EXPECT_EQ(apply(nginx.Url(QStringLiteral("/file.txt")), QStringLiteral("1"),
                  QStringLiteral("127.0.0.1"), QString::number(proxy.Port())),
            QStringLiteral("1"));
  EXPECT_EQ(generator.HTTPCli().Proxy(), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(generator.HTTPCli().ProxyPort(), proxy.Port());
  EXPECT_EQ(generator.HTTPCli().Host(), QStringLiteral("127.0.0.1:%1").arg(nginx.Port()));
  generator.StartDownload();
  WaitForEnded(1);
  EXPECT_EQ(generator.LastStatus(), 200) << generator.LastError().toStdString();
  EXPECT_EQ(generator.LastBodySize(), 5000);
  EXPECT_TRUE(test::ReadFile(proxy.Log()).contains("file.txt")) << "it went through the proxy";

  // A proxy port of 0 switches the proxy off and rewrites line 14.
  EXPECT_EQ(apply(nginx.Url(QStringLiteral("/file.txt")), QStringLiteral("1"),
                  QStringLiteral("127.0.0.1"), QStringLiteral("0")),
            QStringLiteral("0"));
  EXPECT_EQ(generator.HTTPCli().Proxy(), QString());
  EXPECT_EQ(generator.HTTPCli().Host(), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(generator.HTTPCli().Port(), nginx.Port());
  proxy.Stop();  // direct now: a stopped proxy cannot matter
  generator.StartDownload();
  WaitForEnded(2);
  EXPECT_EQ(generator.LastStatus(), 200) << generator.LastError().toStdString();

  // An empty URL line gives the placeholder: no request.
  apply(QString(), QStringLiteral("0"), QString(), QString());
  EXPECT_EQ(generator.Url(), QStringLiteral("http://"));
  generator.StartDownload();
  test::PumpFor(100);
  EXPECT_EQ(generator.DownloadsStarted(), 2u);
}

// The measurement tick of the main window, without the window: the real
// CounterSampler on the real agent's loopback row, driven by a 500 ms
// timer, with the generator downloading from nginx.
class LoopbackMeter : public TickHost {
 public:
  struct Publication {
    double down;
    bool downloading;
    uint64_t download;  // the number of the download running, if any
  };

  LoopbackMeter(MeasurementState& state, TrafficGenerator& generator, InterfaceTable& table)
      : state_(state), generator_(generator), sampler_(state, &table, *this) {
    timer_.setInterval(500);
    timer_.setTimerType(Qt::PreciseTimer);  // as the window's calculation timer
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      TrafficGenerator::TickScope scope(generator_);
      sampler_.Tick();
    });
  }

  void Start() {
    state_.ResetForStart();
    state_.AnalysisActive = true;
    timer_.start();
  }
  void Sleep() {
    state_.AnalysisActive = false;
    timer_.stop();
    generator_.CancelDownload();
  }

  void SetCalcTimerEnabled(bool enabled) override {
    if (enabled && !timer_.isActive()) {
      timer_.start();
    } else if (!enabled) {
      timer_.stop();
    }
  }
  void StartDownload() override { generator_.StartDownload(); }
  void PublishResults(double, double downstream) override {
    published.push_back({downstream, generator_.Running(), generator_.DownloadsStarted()});
  }
  void HandleException(const std::exception& error) override {
    errors.push_back(QString::fromUtf8(error.what()));
  }

  std::vector<Publication> published;
  QStringList errors;

 private:
  MeasurementState& state_;
  TrafficGenerator& generator_;
  CounterSampler sampler_;
  QTimer timer_;
};

TEST_F(TrafficGeneratorTest, TheRealTickPublishesEveryTickDuringEachDownload) {
  ASSERT_TRUE(test::LocalNginx::Available());
  // 6 MiB at 4 MiB/s: each download spans about three ticks. Two whole
  // downloads and SLEEP in the third show every fault a longer chain did,
  // within the 5 s a unit test may take.
  constexpr int64_t kFileBytes = 6 << 20;
  test::LocalNginx nginx(4 << 20);
  test::MakeSparseFile(nginx.Root() + QStringLiteral("/file.bin"), kFileBytes);
  InterfaceTable table(nullptr, QStringLiteral(VELMAR_BIN_DIR "/libmib2.so"));
  table.Refresh(InterfaceTable::kInterfaces);
  int loopback = -1;
  for (int i = 0; i < table.Count(); ++i) {
    if (table.Items(i).IfIndex == 1 || table.Items(i).IfDescr == QLatin1String("lo")) {
      loopback = i;
      break;
    }
  }
  ASSERT_GE(loopback, 0) << "no loopback row";
  state.AdapterIndex = static_cast<int16_t>(loopback + 1);
  generator.SetUrl(nginx.Url(QStringLiteral("/slow/file.bin")));
  state.AnalysisActive = false;

  LoopbackMeter meter(state, generator, table);
  // SLEEP, pressed while the third download runs: a handler nested in it.
  int thirdTicks = 0;
  QTimer user;
  user.setInterval(50);
  QObject::connect(&user, &QTimer::timeout, [&] {
    if (generator.Running() && generator.DownloadsStarted() == 3 && ++thirdTicks == 6) {
      meter.Sleep();
    }
  });
  user.start();
  meter.Start();
  WaitForEnded(3);
  EXPECT_EQ(thirdTicks, 6) << "the next download started after the second";
  EXPECT_EQ(generator.LastError(), QStringLiteral("Operation has been canceled"))
      << "SLEEP stopped the third at once";
  EXPECT_FALSE(state.HttpBusy);
  // A download while asleep would start at the next tick: one tick's time
  // and a margin.
  test::PumpFor(700);
  EXPECT_EQ(generator.DownloadsStarted(), 3u) << "no download while asleep";
  user.stop();

  EXPECT_TRUE(meter.errors.isEmpty()) << meter.errors.join(u'\n').toStdString();
  EXPECT_EQ(generator.DownloadsFailed(), 1u) << "only the one SLEEP cancelled";
  // Every whole download had ticks publishing while it ran.
  // (1.5 s at 501 ms a tick holds two ticks at least.)
  for (uint64_t n = 1; n <= 2; ++n) {
    int ticks = 0;
    for (const auto& p : meter.published) {
      ticks += p.downloading && p.download == n ? 1 : 0;
    }
    EXPECT_GE(ticks, 2) << "download " << n;
  }
  // The loopback row's counters carried the downloads (each byte is
  // counted in and out there). The first download starts before the
  // counters' first reading and SLEEP cuts the third, so only the second
  // is sure to lie whole between readings; how much of the first and
  // third is counted depends on the machine's pace.
  EXPECT_GE(state.TotalTraffic, 2ull * kFileBytes);
  // ... and the ticks showed their rate. (A tick whose elapsed time rounds
  // to 0 s publishes 0, so not every tick has one.)
  double fastest = 0;
  for (const auto& p : meter.published) {
    fastest = std::max(fastest, p.downloading ? p.down : 0.0);
  }
  EXPECT_GT(fastest, 1e6) << "bytes per second on the loopback row";
}

}  // namespace
}  // namespace velmar
