#include "app/headless_meter.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimerEvent>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace velmar {

HeadlessMeter::HeadlessMeter(InterfaceTable* table, SettingsList& settings, QTextStream& out,
                             QTextStream& err, const TickClock& clock)
    : out_(out), err_(err), core_(*this, displays_, settings, clock) {
  core_.UseTable(table);
  connect(&core_, &MeterCore::published, this, &HeadlessMeter::WriteResults);
}

void HeadlessMeter::timerEvent(QTimerEvent* event) {
  if (event->timerId() != calcTimer_.timerId()) {
    QObject::timerEvent(event);
    return;
  }
  core_.Tick();
  if (!timerWanted_) {
    calcTimer_.stop();
  }
}

void HeadlessMeter::Start() {
  core_.StartMeasuring();
  timerWanted_ = true;
  stopped_ = false;
  if (!ownBeat_) {
    calcTimer_.start(kCalcTimerIntervalMs, Qt::PreciseTimer, this);
  }
}

namespace {
constexpr long kNanosecondsPerSecond = 1'000'000'000;

// The next beat one interval on; a beat already missed (a tick that took
// longer, a suspended machine) starts a new beat from now rather than
// ticking in a burst to catch up, as Qt's precise timers do.
void AdvanceBeat(timespec& beat, const timespec& now) {
  const auto step = [](timespec& t) {
    t.tv_nsec += kCalcTimerIntervalMs * 1'000'000L;
    t.tv_sec += t.tv_nsec / kNanosecondsPerSecond;
    t.tv_nsec %= kNanosecondsPerSecond;
  };
  step(beat);
  if (beat.tv_sec < now.tv_sec || (beat.tv_sec == now.tv_sec && beat.tv_nsec < now.tv_nsec)) {
    beat = now;
    step(beat);
  }
}

timespec Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

// Zero once the beat has come.
timespec Until(const timespec& beat, const timespec& now) {
  int64_t ns =
      (beat.tv_sec - now.tv_sec) * int64_t{kNanosecondsPerSecond} + (beat.tv_nsec - now.tv_nsec);
  ns = std::max<int64_t>(ns, 0);
  return {static_cast<time_t>(ns / kNanosecondsPerSecond),
          static_cast<long>(ns % kNanosecondsPerSecond)};
}
}  // namespace

bool HeadlessMeter::MeasureOnOwnBeat(int wakeFd) {
  // Where wake-ups are dear (a virtual machine), Qt's timer dispatch around
  // each tick cost a plain run 7 % more than sleeping here does.
  ownBeat_ = true;
  calcTimer_.stop();
  Start();
  timespec beat = Now();
  AdvanceBeat(beat, beat);
  pollfd wake{wakeFd, POLLIN, 0};
  while (timerWanted_) {
    const timespec wait = Until(beat, Now());
    const int ready = ppoll(&wake, 1, &wait, nullptr);
    if (ready > 0 || (ready < 0 && errno == EINTR)) {
      QCoreApplication::processEvents();
      continue;  // the same beat, unless a handler stopped the meter
    }
    core_.Tick();
    QCoreApplication::sendPostedEvents();
    AdvanceBeat(beat, Now());
  }
  ownBeat_ = false;
  return stopped_;
}

void HeadlessMeter::Stop() {
  stopped_ = true;
  core_.StopMeasuring();
  timerWanted_ = false;
  calcTimer_.stop();
}

void HeadlessMeter::SetCalcTimerEnabled(bool enabled) {
  // The tick pauses the timer while it runs and starts it again at its
  // end. Nothing here runs an event loop inside a tick, so the timer keeps
  // its beat through it (no drift, nothing registered anew each tick); a
  // pause the tick ends in stops it.
  timerWanted_ = enabled;
  if (enabled && !ownBeat_ && !calcTimer_.isActive()) {
    calcTimer_.start(kCalcTimerIntervalMs, Qt::PreciseTimer, this);
  }
}

namespace {
// `value` with two decimals into [at, end), rounded from its exact binary
// value with ties to even, as printf and std::to_chars round, but from
// integers: libstdc++'s tables for fixed precision would keep a quarter of
// a megabyte resident for the five numbers of a line. A value past 2^52
// hundredths (no counter's) goes to std::to_chars. One that does not fit
// is left out whole.
char* WriteHundredths(char* at, char* end, double value) {
  const double scaled = value * 100;
  if (!(scaled >= 0 && scaled < 4503599627370496.0)) {
    const auto [next, error] = std::to_chars(at, end, value, std::chars_format::fixed, 2);
    return error == std::errc() ? next : at;
  }
  // Below 2^52 every half is a double, so only a product that fell on one
  // can hide which side of it the exact value lies; the product's exact
  // error tells.
  const double residual = std::fma(value, 100, -scaled);
  double whole = std::nearbyint(scaled);  // ties to even
  if (scaled - whole == 0.5 && residual > 0) {
    whole += 1;
  } else if (scaled - whole == -0.5 && residual < 0) {
    whole -= 1;
  }
  const auto hundredths = static_cast<uint64_t>(whole);
  char digits[24];
  char* const last = std::to_chars(digits, digits + sizeof digits, hundredths / 100).ptr;
  const size_t length = static_cast<size_t>(last - digits) + 3;
  if (length > static_cast<size_t>(end - at)) {
    return at;
  }
  at = std::copy(digits, last, at);
  *at++ = '.';
  *at++ = static_cast<char>('0' + hundredths % 100 / 10);
  *at++ = static_cast<char>('0' + hundredths % 10);
  return at;
}
}  // namespace

size_t HeadlessMeter::FormatLine(char (&line)[kLineSize], const char* time, double down, double up,
                                 double avgDown, double avgUp, uint64_t totalBytes) {
  char* at = line;
  char* const end = line + kLineSize - 1;  // room for the newline
  const auto text = [&](std::string_view s) {
    const size_t n = std::min<size_t>(s.size(), static_cast<size_t>(end - at));
    at = std::copy_n(s.data(), n, at);
  };
  const auto number = [&](std::string_view name, double value) {
    text(name);
    at = WriteHundredths(at, end, value);
  };
  text(time);
  number(" down=", down);
  number(" up=", up);
  number(" avgdown=", avgDown);
  number(" avgup=", avgUp);
  number(" total=", static_cast<double>(totalBytes) / 1024.0);
  return static_cast<size_t>(at - line);
}

QString HeadlessMeter::FormatJson(const QDateTime& time, const QString& adapter, double down,
                                  double up, double avgDown, double avgUp, uint64_t totalBytes,
                                  bool absent) {
  // Hundredths of a bit per second are more than any reader needs, and
  // keep the numbers short.
  const auto bits = [](double bytesPerSecond) { return std::round(bytesPerSecond * 800) / 100; };
  // The offset is spelled out (+01:00, +00:00), never left to the reader.
  const QDateTime local = time.toOffsetFromUtc(time.offsetFromUtc());
  QJsonObject line{{QStringLiteral("time"), local.toString(Qt::ISODateWithMs)},
                   {QStringLiteral("adapter"),
                    adapter.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(adapter)},
                   {QStringLiteral("down_bps"), bits(down)},
                   {QStringLiteral("up_bps"), bits(up)},
                   {QStringLiteral("avgdown_bps"), bits(avgDown)},
                   {QStringLiteral("avgup_bps"), bits(avgUp)},
                   {QStringLiteral("total_bytes"), static_cast<qint64>(totalBytes)}};
  if (absent) {
    line.insert(QStringLiteral("adapter_absent"), true);
  }
  return QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact));
}

void HeadlessMeter::WriteResults(double upstream, double downstream) {
  const MeasurementState& state = core_.State();
  const CounterSampler& sampler = core_.Sampler();
  if (format_ == Format::kJson) {
    out_ << FormatJson(QDateTime::currentDateTime(), sampler.ReportedName(state.AdapterIndex),
                       downstream, upstream, state.DownAverage, state.UpAverage, state.TotalTraffic,
                       sampler.ChosenAbsent(state.AdapterIndex))
         << Qt::endl;
    return;
  }
  // The line shows the tick's own rates: the displays keep their last
  // values below 1 kbit/s, a script wants to see the drop.
  const int mode = state.KilobitMode;
  char line[kLineSize];
  const size_t length =
      FormatLine(line, timeOfDay_.Now(), Kbps(downstream, mode), Kbps(upstream, mode),
                 Kbps(state.DownAverage, mode), Kbps(state.UpAverage, mode), state.TotalTraffic);
  WriteLine(line, length);
}

void HeadlessMeter::WriteLine(char (&line)[kLineSize], size_t length) {
  if (lineFd_ < 0) {
    out_ << QLatin1StringView(line, static_cast<qsizetype>(length)) << Qt::endl;
    return;
  }
  line[length++] = '\n';  // FormatLine leaves the last byte free
  for (size_t done = 0; done < length;) {
    const ssize_t n = ::write(lineFd_, line + done, length - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return;  // a reader gone away: the meter measures on, as with a stream
    }
    done += static_cast<size_t>(n);
  }
}

void HeadlessMeter::HandleException(const std::exception& error) {
  err_ << "Error: " << error.what() << " in program section " << int(core_.State().ProgramSection)
       << Qt::endl;
}

}  // namespace velmar
