// The meter's window on a real X server with a tray, measuring the real
// loopback through the real agent while a local sender pushes a known rate:
// the downstream displays, read through the window's object tree, show that
// rate; SLEEP clears them.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "alarms/widgets/alarm_window.h"
#include "config/settings_loader.h"
#include "measure/widgets/lcd_display.h"
#include "net/local_servers.h"
#include "support/main_window_probe.h"
#include "support/scripted_ui.h"
#include "support/smtp_sink.h"
#include "support/test_window.h"

namespace velmar {
namespace {

// Payload bytes per second, in 8000-byte datagrams: each crosses the
// loopback once out and once in with 42 bytes of headers.
constexpr double kRate = 1500000;
constexpr double kWire = 8042.0 / 8000.0;

void Send(std::atomic<bool>& stop) {
  const int rx = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(rx, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(rx, reinterpret_cast<sockaddr*>(&a), &len);
  const int tx = socket(AF_INET, SOCK_DGRAM, 0);
  std::vector<char> data(8000, 'v');
  std::vector<char> sink(65536);
  const auto begin = std::chrono::steady_clock::now();
  double sent = 0;
  while (!stop) {
    const double due =
        kRate * std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    while (sent + 8000 <= due) {
      sendto(tx, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
      sent += 8000;
      while (recv(rx, sink.data(), sink.size(), 0) > 0) {
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  close(rx);
  close(tx);
}

uint64_t LoopbackRxBytes() {
  QFile f("/sys/class/net/lo/statistics/rx_bytes");
  return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toULongLong() : 0;
}

void Wait(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
}

TEST(WindowRateTest, ActiveOnTheLoopbackShowsTheSentRateAndSleepClearsIt) {
  ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable()) << "the X server has a tray";
  QTemporaryDir dir;
  test::ScriptedUi ui;
  auto window = test::MakeWindow(dir);
  MainWindow& form = *window;
  const int lo = static_cast<int>(Probe(form).Session().AdapterList().indexOf("lo"));
  ASSERT_GT(lo, 0);
  Probe(form).View().settings.SetAdapterIndex(static_cast<int16_t>(lo));

  std::atomic<bool> stop{false};
  std::thread sender(Send, std::ref(stop));
  form.findChild<QPushButton*>("ActiveOn")->click();
  ASSERT_TRUE(Probe(form).State().AnalysisActive);

  // Read the displays every half second once the rates have settled.
  const double expected = kRate * kWire * 8 / 1000;
  auto* whole = form.findChild<LcdDisplay*>("DownDigits");
  auto* hundredths = form.findChild<LcdDisplay*>("DownDigits2");
  auto* upWhole = form.findChild<LcdDisplay*>("UpDigits");
  ASSERT_TRUE(whole && hundredths && upWhole);
  // Settle: the first rate comes on the third tick; on a loaded machine
  // later. Then two more seconds for the averages of the sender's ramp.
  QElapsedTimer settle;
  settle.start();
  while ((whole->Value() == 0 || upWhole->Value() == 0) && settle.elapsed() < 15000)
    Wait(100);
  Wait(2000);
  int near = 0;
  int readings = 0;
  for (int i = 0; i < 10; ++i) {
    Wait(500);
    const double shown = whole->Value() + hundredths->Value() / 100.0;
    ++readings;
    if (std::abs(shown - expected) <= 0.05 * expected) {
      ++near;
    }
    EXPECT_NEAR(upWhole->Value(), expected, 0.1 * expected);
  }
  stop = true;
  sender.join();
  EXPECT_GE(near, 8) << "of " << readings << " readings within 5% of " << expected;

  form.findChild<QPushButton*>("ActiveOff")->click();
  EXPECT_EQ(whole->Value(), 0);
  EXPECT_EQ(hundredths->Value(), 0);
  EXPECT_EQ(form.findChild<Indicator*>("DownIndicator")->Position(), 0);
  EXPECT_TRUE(Probe(form).StatusText().endsWith(" - Velmar 2000 Stopped"));
}

}  // namespace
}  // namespace velmar

namespace velmar {
namespace {

TEST(WindowTrayTest, MinimisingAfterStartUpHidesToTheTray) {
  ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
  QTemporaryDir dir;
  test::ScriptedUi ui;
  auto window = test::MakeWindow(dir);
  MainWindow& form = *window;
  Wait(300);
  ASSERT_TRUE(form.isVisible());
  form.setWindowState(Qt::WindowMinimized);
  Wait(500);
  EXPECT_FALSE(form.isVisible()) << "hidden to the tray";
  EXPECT_TRUE(Probe(form).Tray().Icon()->isVisible());
  EXPECT_EQ(Probe(form).View().placement.PlacementState(), PlacementWindow::kNormal)
      << "ended now, the next start must not open iconified";
  // A click on the icon brings it back.
  emit Probe(form).Tray().Icon()->activated(QSystemTrayIcon::Trigger);
  Wait(300);
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(form.isMinimized());
}

}  // namespace
}  // namespace velmar

namespace velmar {
namespace {

TEST(WindowAlarmTest, AnAlarmSetInTheAlarmWindowMailsOnRealTrafficOnce) {
  test::SmtpSink sink;
  qputenv("VELMAR_SENDMAIL", sink.Sendmail().toUtf8());
  QTemporaryDir dir;
  test::ScriptedUi ui;
  auto window = test::MakeWindow(dir);
  MainWindow& form = *window;
  Probe(form).View().settings.SetAdapterIndex(
      static_cast<int16_t>(Probe(form).Session().AdapterList().indexOf("lo")));

  // The user sets the alarm in the alarm window: actual downstream above
  // 1000 kbit/s, send an e-mail.
  {
    AlarmWindow alarms(Probe(form).Settings());
    alarms.Action()->setCurrentIndex(1);
    alarms.Event()->setText("ops@example.test");
    emit alarms.Event()->textEdited("ops@example.test");
    alarms.Box(4)->setChecked(true);
    alarms.Threshold(4)->setText("1000");
    emit alarms.Threshold(4)->textEdited("1000");
  }
  ASSERT_EQ(Probe(form).Settings().Line(29), "1");

  std::atomic<bool> stop{false};
  std::thread sender(Send, std::ref(stop));
  form.findChild<QPushButton*>("ActiveOn")->click();
  // The alarm fires on the first tick whose rate is above the threshold; on
  // a loaded machine that may take a while, so wait for the mail (the latch
  // is then given four more seconds to prove itself).
  QElapsedTimer waited;
  waited.start();
  while (!Probe(form).State().EmailLatch && waited.elapsed() < 20000)
    Wait(200);
  Wait(4000);
  stop = true;
  sender.join();
  const auto messages = sink.Messages(1);
  ASSERT_GE(messages.size(), 1);
  EXPECT_EQ(sink.Messages(2, 1000).size(), 1) << "the latch holds further mails";
  EXPECT_TRUE(messages[0].contains("To: ops@example.test"));
  EXPECT_TRUE(messages[0].contains("Subject: Alarm Message from your Velmar-2000 program"));
  EXPECT_TRUE(
      messages[0].contains("Actual Downstream exceeded 1000 Kb/s (1 Kilobit = 1000 bits.)"));
  EXPECT_TRUE(Probe(form).State().EmailLatch);
  form.findChild<QPushButton*>("ActiveOff")->click();
  qunsetenv("VELMAR_SENDMAIL");
}

}  // namespace
}  // namespace velmar

namespace velmar {
namespace {

TEST(WindowGenerateTest, GenerateModeDownloadsAgainAndAgainWhileTheMeterPublishes) {
  ASSERT_TRUE(test::LocalNginx::Available());
  test::LocalNginx nginx(2 * 1024 * 1024);  // 2 MiB/s under /slow/
  test::WriteFile(nginx.Root() + "/big.bin", QByteArray(5 * 1024 * 1024, 'g'));
  QTemporaryDir dir;
  SettingsList lines;
  lines.SetLines(SettingsList::DefaultLines());
  lines.SetLine(3, nginx.Url("/slow/big.bin"));
  lines.SetLine(4, "1");  // Generate at start
  QFile file(dir.filePath("Velmarsettings.ini"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(SettingsLoader::Serialise(lines));
  file.close();

  test::ScriptedUi ui;
  auto window = test::MakeWindow(dir);
  MainWindow& form = *window;
  ASSERT_TRUE(ui.messages.isEmpty()) << ui.messages.join("|").toStdString();
  Probe(form).View().settings.SetAdapterIndex(
      static_cast<int16_t>(Probe(form).Session().AdapterList().indexOf("lo")));
  form.findChild<QPushButton*>("ActiveOn")->click();
  ASSERT_TRUE(Probe(form).State().GenerateMode);
  const TrafficGenerator& generator = Probe(form).Session().Generator();

  // Samples taken from a timer, which runs nested inside the downloads.
  struct Sample {
    int64_t down;
    bool downloading;
    uint64_t ended;
    uint32_t lastTick;
  };
  std::vector<Sample> samples;
  auto* whole = form.findChild<LcdDisplay*>("DownDigits");
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    samples.push_back({whole->Value(), generator.Running(), generator.DownloadsEnded(),
                       Probe(form).State().LastTickMs});
  });
  const uint64_t rx0 = LoopbackRxBytes();
  const uint64_t total0 = Probe(form).State().TotalTraffic;
  QElapsedTimer clock;
  clock.start();
  sampler.start(250);
  Wait(9000);
  sampler.stop();

  ASSERT_GE(generator.DownloadsEnded(), 2u) << "one download after another";
  // Ticks kept publishing while a download ran: the tick stamp moved on
  // between samples taken during downloads.
  int moving = 0;
  int during = 0;
  for (size_t i = 1; i < samples.size(); ++i) {
    if (samples[i].downloading && samples[i - 1].downloading) {
      ++during;
      moving += samples[i].lastTick != samples[i - 1].lastTick;
    }
  }
  EXPECT_GT(during, 8);
  EXPECT_GE(moving, during / 3) << "ticks publish during a download";
  // The meter counted what the kernel counted on the loopback over the same
  // time (its total adds both directions, which the loopback counts alike).
  const double kernelBytes = static_cast<double>(LoopbackRxBytes() - rx0);
  const double meterBytes = static_cast<double>(Probe(form).State().TotalTraffic - total0) / 2;
  EXPECT_GT(kernelBytes, 8e6) << "the downloads moved real traffic";
  // Up to a tick of traffic (about a megabyte) falls outside either window.
  EXPECT_NEAR(meterBytes, kernelBytes, 0.2 * kernelBytes);
  // nginx's rate limit sends in bursts and the display keeps its last
  // non-zero value between them, so the display shows the bursts' rate:
  // at least the average, never wildly more.
  const double kernelKbps = kernelBytes * 8.0 / 1000 / (clock.elapsed() / 1000.0);
  std::vector<int64_t> shown;
  for (const Sample& s : samples) {
    if (s.downloading && s.down > 0)
      shown.push_back(s.down);
  }
  ASSERT_GT(shown.size(), 8u);
  std::nth_element(shown.begin(), shown.begin() + shown.size() / 2, shown.end());
  const int64_t median = shown[shown.size() / 2];
  EXPECT_GT(median, 0.7 * kernelKbps);
  EXPECT_LT(median, 3 * kernelKbps);

  form.findChild<QPushButton*>("ActiveOff")->click();
  Wait(1500);
  const uint64_t started = generator.DownloadsStarted();
  EXPECT_FALSE(generator.Downloading());
  Wait(1500);
  EXPECT_EQ(generator.DownloadsStarted(), started) << "no download after SLEEP";
  EXPECT_FALSE(Probe(form).State().HttpBusy);
}

}  // namespace
}  // namespace velmar
