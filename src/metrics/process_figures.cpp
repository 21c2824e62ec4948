#include "metrics/process_figures.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

namespace velmar {

namespace {

QByteArray ReadProcFile(const char* path) {
  QFile file(QString::fromLatin1(path));
  // /proc files report a size of 0: read until the end.
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "btime" of /proc/stat: when the system booted, in Unix time.
std::optional<double> BootTime() {
  const QByteArray stat = ReadProcFile("/proc/stat");
  for (const QByteArray& line : stat.split('\n')) {
    if (line.startsWith("btime ")) {
      bool ok = false;
      const qulonglong value = line.mid(6).trimmed().toULongLong(&ok);
      if (ok) {
        return static_cast<double>(value);
      }
    }
  }
  return std::nullopt;
}

}  // namespace

ProcessFigures ProcessFigures::FromStat(QByteArrayView stat, long ticksPerSecond, long pageSize,
                                        std::optional<double> bootTime) {
  ProcessFigures figures;
  // The command name sits in parentheses and may hold blanks or
  // parentheses of its own: the fields start after the last ')'.
  const qsizetype close = stat.lastIndexOf(')');
  if (close < 0 || ticksPerSecond <= 0) {
    return figures;
  }
  const QList<QByteArray> fields = stat.sliced(close + 1).toByteArray().simplified().split(' ');
  // fields[0] is the state (field 3 of the line), so field n is at n - 3.
  const auto field = [&](int n) -> std::optional<qulonglong> {
    if (n - 3 >= fields.size()) {
      return std::nullopt;
    }
    bool ok = false;
    const qulonglong value = fields[n - 3].toULongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
  };
  const auto utime = field(14), stime = field(15), start = field(22), vsize = field(23),
             rss = field(24);
  if (utime && stime) {
    figures.cpuSeconds = static_cast<double>(*utime + *stime) / ticksPerSecond;
  }
  if (start && bootTime) {
    figures.startTime = *bootTime + static_cast<double>(*start) / ticksPerSecond;
  }
  if (vsize) {
    figures.virtualBytes = *vsize;
  }
  if (rss && pageSize > 0) {
    figures.residentBytes = *rss * static_cast<uint64_t>(pageSize);
  }
  return figures;
}

ProcessFigures ProcessFigures::OfThisProcess() {
  ProcessFigures figures = FromStat(ReadProcFile("/proc/self/stat"), sysconf(_SC_CLK_TCK),
                                    sysconf(_SC_PAGESIZE), BootTime());
  const QDir fds(QStringLiteral("/proc/self/fd"));
  if (fds.exists()) {
    // The listing itself holds one descriptor while it reads.
    const auto listed = fds.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    figures.openFds = listed.isEmpty() ? 0 : static_cast<uint64_t>(listed.size() - 1);
  }
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    figures.maxFds = limit.rlim_cur;
  }
  return figures;
}

}  // namespace velmar
