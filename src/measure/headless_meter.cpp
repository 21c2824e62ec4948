#include "headless_meter.h"

#include <QTime>

namespace velmar {

HeadlessMeter::HeadlessMeter(MeasurementState& state, TTolInterfaceTableObject* table,
                             int kilobitMode, QTextStream& out, QTextStream& err,
                             const TickClock& clock)
    : state_(state),
      kilobitMode_(kilobitMode),
      out_(out),
      err_(err),
      sampler_(state, table, *this, clock) {
  calcTimer_.setInterval(500);
  calcTimer_.setTimerType(Qt::PreciseTimer);
  connect(&calcTimer_, &QTimer::timeout, this, [this] { sampler_.CalcIntervalTimerTimer(); });
}

void HeadlessMeter::Start() {
  state_.ResetSampling();
  state_.AnalysisActive = 1;
  calcTimer_.start();
}

void HeadlessMeter::Stop() {
  state_.AnalysisActive = 0;
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

double HeadlessMeter::Kbps(double bytesPerSecond, int kilobitMode) {
  return bytesPerSecond * 8.0 / (1000 + 24 * kilobitMode);
}

QString HeadlessMeter::FormatLine(const QString& time, double down, double up, double avgDown,
                                  double avgUp, uint64_t totalBytes) {
  const auto f = [](double v) { return QString::number(v, 'f', 2); };
  return QStringLiteral("%1 down=%2 up=%3 avgdown=%4 avgup=%5 total=%6")
      .arg(time, f(down), f(up), f(avgDown), f(avgUp), f(totalBytes / 1024.0));
}

void HeadlessMeter::PublishResults(double upstream, double downstream) {
  out_ << FormatLine(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
                     Kbps(downstream, kilobitMode_), Kbps(upstream, kilobitMode_), 0.0, 0.0,
                     state_.TotalTraffic)
       << Qt::endl;
}

void HeadlessMeter::HandleException(const std::exception& error) {
  err_ << "Error: " << error.what() << " in program section " << int(state_.ProgramSection)
       << Qt::endl;
}

}  // namespace velmar
