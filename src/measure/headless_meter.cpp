#include "measure/headless_meter.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTime>
#include <QTimeZone>
#include <cmath>

namespace velmar {

HeadlessMeter::HeadlessMeter(MeasurementState& state, InterfaceTable* table, SettingsList& settings,
                             QTextStream& out, QTextStream& err, const TickClock& clock)
    : state_(state),
      out_(out),
      err_(err),
      sampler_(state, table, *this, clock),
      engine_(state),
      publisher_(state, engine_, displays_, settings) {
  engine_.OnError = [this](const std::exception& e) { HandleException(e); };
  publisher_.OnError = [this](const std::exception& e) { HandleException(e); };
  calcTimer_.setInterval(kCalcTimerIntervalMs);
  calcTimer_.setTimerType(Qt::PreciseTimer);
  connect(&calcTimer_, &QTimer::timeout, this, [this] { sampler_.Tick(); });
}

void HeadlessMeter::Start() {
  state_.ResetForStart();
  state_.AnalysisActive = true;
  calcTimer_.start();
}

void HeadlessMeter::Stop() {
  state_.AnalysisActive = false;
  state_.LastTickMs = 0;
  calcTimer_.stop();
}

void HeadlessMeter::SetCalcTimerEnabled(bool enabled) {
  if (enabled) {
    calcTimer_.start();
  } else {
    calcTimer_.stop();
  }
}

QString HeadlessMeter::FormatLine(const QString& time, double down, double up, double avgDown,
                                  double avgUp, uint64_t totalBytes) {
  const auto f = [](double v) { return QString::number(v, 'f', 2); };
  return QStringLiteral("%1 down=%2 up=%3 avgdown=%4 avgup=%5 total=%6")
      .arg(time, f(down), f(up), f(avgDown), f(avgUp), f(totalBytes / 1024.0));
}

QString HeadlessMeter::FormatJson(const QDateTime& time, const QString& adapter, double down,
                                  double up, double avgDown, double avgUp, uint64_t totalBytes) {
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
  return QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact));
}

QString HeadlessMeter::AdapterName(const CounterSampler& sampler, int16_t selection) {
  return sampler.AdapterName(selection);
}

void HeadlessMeter::PublishResults(double upstream, double downstream) {
  publisher_.PublishResults(upstream, downstream);
  if (format_ == Format::kJson) {
    out_ << FormatJson(QDateTime::currentDateTime(), AdapterName(sampler_, state_.AdapterIndex),
                       downstream, upstream, state_.DownAverage, state_.UpAverage,
                       state_.TotalTraffic)
         << Qt::endl;
    return;
  }
  // The line shows the tick's own rates: the displays keep their last
  // values below 1 kbit/s, a script wants to see the drop.
  const int mode = state_.KilobitMode;
  out_ << FormatLine(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
                     Kbps(downstream, mode), Kbps(upstream, mode), Kbps(state_.DownAverage, mode),
                     Kbps(state_.UpAverage, mode), state_.TotalTraffic)
       << Qt::endl;
}

void HeadlessMeter::HandleException(const std::exception& error) {
  err_ << "Error: " << error.what() << " in program section " << int(state_.ProgramSection)
       << Qt::endl;
}

}  // namespace velmar
