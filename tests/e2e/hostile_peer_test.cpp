// The meter's window in Generate mode against hostile HTTP peers, measuring
// the real loopback meanwhile: a slow drip of one byte a second, a flood of
// header lines, a reset in the middle of the body. The ticks keep
// publishing, the drip never times out while bytes move, and memory stays
// bounded.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "config/settings_loader.h"
#include "net/local_servers.h"
#include "support/main_window_probe.h"
#include "support/scripted_ui.h"
#include "support/test_window.h"

namespace velmar {
namespace {

long ResidentKb() {
  QFile status("/proc/self/status");
  status.open(QIODevice::ReadOnly);
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:"))
      return line.mid(6).trimmed().split(' ').first().toLong();
  }
  return 0;
}

struct PeerRun {
  int publications = 0;
  int longestGapMs = 0;
  long rssGrowthKb = 0;
  uint64_t started = 0;
  uint64_t failed = 0;
  QString lastError;
  QStringList errorsSeen;
  bool stillRunning = false;
};

PeerRun Measure(const QString& scenario, int seconds) {
  test::ScriptedServer peer(scenario);
  QTemporaryDir dir;
  SettingsList lines;
  lines.SetLines(SettingsList::DefaultLines());
  lines.SetLine(3, peer.Url("/file"));
  lines.SetLine(4, "1");
  QFile file(dir.filePath("Velmarsettings.ini"));
  file.open(QIODevice::WriteOnly);
  file.write(SettingsLoader::Serialise(lines));
  file.close();

  test::ScriptedUi ui;
  MainWindow::Environment env;
  env.downloadTimeout = 3;
  auto window = test::MakeWindow(dir, env);
  MainWindow& form = *window;
  const TrafficGenerator& generator = Probe(form).Session().Generator();
  form.findChild<QPushButton*>("ActiveOn")->click();

  PeerRun run;
  const long rss0 = ResidentKb();
  uint32_t lastStamp = Probe(form).State().LastTickMs;
  QElapsedTimer sinceStamp;
  sinceStamp.start();
  // Checked from a timer, which runs nested inside the downloads.
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (Probe(form).State().LastTickMs != lastStamp) {
      lastStamp = Probe(form).State().LastTickMs;
      ++run.publications;
      run.longestGapMs = std::max<int>(run.longestGapMs, static_cast<int>(sinceStamp.restart()));
    }
    run.stillRunning = generator.Running();
    const QString error = generator.LastError();
    if (!error.isEmpty() && !run.errorsSeen.contains(error))
      run.errorsSeen << error;
  });
  watch.start(50);
  // The downloads run nested in whatever runs the event loop, so the end
  // of the run is taken from a timer too: it reads the figures and presses
  // SLEEP, which cancels a download still under way.
  bool done = false;
  QTimer::singleShot(seconds * 1000, [&] {
    watch.stop();
    run.rssGrowthKb = ResidentKb() - rss0;
    run.started = generator.DownloadsStarted();
    run.failed = generator.DownloadsFailed();
    run.lastError = generator.LastError();
    form.findChild<QPushButton*>("ActiveOff")->click();
    done = true;
  });
  QElapsedTimer t;
  t.start();
  while (!done && t.elapsed() < (seconds + 30) * 1000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  EXPECT_TRUE(done);
  return run;
}

TEST(HostilePeerTest, ADripOfOneByteASecondNeverTimesOutAndTicksGoOn) {
  const PeerRun run = Measure("drip", 7);
  EXPECT_GE(run.publications, 10) << "the meter kept publishing";
  EXPECT_LT(run.longestGapMs, 1500);
  EXPECT_EQ(run.failed, 0u) << run.lastError.toStdString();
  EXPECT_TRUE(run.stillRunning) << "the slow download is still going";
  EXPECT_LT(run.rssGrowthKb, 16 * 1024);
}

TEST(HostilePeerTest, AFloodOfHeaderLinesIsCutAndTicksGoOn) {
  const PeerRun run = Measure("endless-headers", 6);
  EXPECT_GE(run.publications, 9);
  EXPECT_GE(run.failed, 1u);
  // A new attempt may be under way at the end, so every error seen counts.
  EXPECT_TRUE(run.errorsSeen.contains("Error receiving the stream"))
      << run.errorsSeen.join(" | ").toStdString();
  EXPECT_LT(run.rssGrowthKb, 16 * 1024) << "the head is never kept whole";
}

TEST(HostilePeerTest, AResetInTheMiddleOfTheBodyFailsCleanlyAndTicksGoOn) {
  const PeerRun run = Measure("reset", 6);
  EXPECT_GE(run.publications, 9);
  EXPECT_GE(run.failed, 1u);
  EXPECT_GE(run.started, 2u) << "the next download starts after the failed one";
  EXPECT_LT(run.rssGrowthKb, 16 * 1024);
}

}  // namespace
}  // namespace velmar
