#include "metrics/process_figures.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDateTime>
#include <vector>

#include "metrics/exposition.h"

namespace velmar {
namespace {

TEST(ProcessFiguresTest, AStatLineWithAnAwkwardNameAndGarbledFields) {
  // Fields 14, 15 (user and system ticks), 22 (start ticks), 23 (bytes),
  // 24 (pages), after a command name holding ") (" and blanks.
  const QByteArray line =
      "4242 (velmar) (x y) S 1 4242 4242 0 -1 4194560 100 0 0 0 250 50 0 0 20 0 1 0 "
      "1000 123456789 300 18446744073709551615\n";
  const ProcessFigures f = ProcessFigures::FromStat(line, 100, 4096, 1700000000.0);
  EXPECT_DOUBLE_EQ(*f.cpuSeconds, 3.0);
  EXPECT_DOUBLE_EQ(*f.startTime, 1700000010.0);
  EXPECT_EQ(*f.virtualBytes, 123456789u);
  EXPECT_EQ(*f.residentBytes, 300u * 4096u);

  const ProcessFigures noBoot = ProcessFigures::FromStat(line, 100, 4096, std::nullopt);
  EXPECT_FALSE(noBoot.startTime);
  EXPECT_TRUE(noBoot.cpuSeconds);
  const ProcessFigures cut = ProcessFigures::FromStat("4242 (velmar) S 1 2 3", 100, 4096, 0.0);
  EXPECT_FALSE(cut.cpuSeconds || cut.startTime || cut.virtualBytes || cut.residentBytes);
  EXPECT_FALSE(ProcessFigures::FromStat("garbage", 100, 4096, 0.0).cpuSeconds);
}

TEST(ProcessFiguresTest, ThisProcessAsTheKernelSeesIt) {
  const ProcessFigures before = ProcessFigures::OfThisProcess();
  ASSERT_TRUE(before.openFds && before.maxFds && before.cpuSeconds && before.startTime &&
              before.residentBytes && before.virtualBytes);
  std::vector<int> opened;
  for (int i = 0; i < 5; ++i) {
    opened.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
  }
  EXPECT_EQ(*ProcessFigures::OfThisProcess().openFds, *before.openFds + 5);
  for (int fd : opened) {
    close(fd);
  }
  const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
  EXPECT_LE(*before.startTime, now + 1);
  EXPECT_GT(*before.startTime, now - 3600) << "this test process started recently";
  EXPECT_GT(*before.residentBytes, 1u << 20);
  EXPECT_GE(*before.virtualBytes, *before.residentBytes);

  const QByteArray text = Exposition::Render({}, {}, Exposition::Format::kOpenMetrics, before);
  for (const char* expected :
       {"# TYPE process_cpu_seconds counter\n# UNIT process_cpu_seconds seconds\n",
        "\nprocess_cpu_seconds_total ", "\nprocess_start_time_seconds ",
        "# UNIT process_resident_memory_bytes bytes\n", "\nprocess_open_fds ",
        "\nprocess_max_fds "}) {
    EXPECT_TRUE(text.contains(expected)) << expected;
  }
  EXPECT_FALSE(Exposition::Render({}, {}, Exposition::Format::kPrometheusText).contains("process_"))
      << "no figures, no process metrics";
}

}  // namespace
}  // namespace velmar
