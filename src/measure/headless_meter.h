#pragma once

#include <QObject>
#include <QTextStream>
#include <QTimer>

#include "averaging_engine.h"
#include "counter_sampler.h"
#include "measurement_state.h"
#include "result_publisher.h"
#include "tick_host.h"

namespace velmar {

// The measurement without any window: the same tick as the main window,
// driven by its own calculation timer, printing one line per publication:
// "HH:MM:SS down=<kbit/s> up=<kbit/s> avgdown=<kbit/s> avgup=<kbit/s> total=<KBytes>".
class HeadlessMeter : public QObject, public TickHost {
 public:
  HeadlessMeter(MeasurementState& state, InterfaceTable* table, SettingsList& settings,
                QTextStream& out, QTextStream& err, const TickClock& clock = SystemClock());

  // Starts the analysis as the ACTIVE button does.
  void Start();
  void Stop();

  CounterSampler& Sampler() { return sampler_; }

  // One output line: rates in kbit/s, the total in KBytes.
  static QString FormatLine(const QString& time, double down, double up, double avgDown,
                            double avgUp, uint64_t totalBytes);

  void SetCalcTimerEnabled(bool enabled) override;
  void StartDownload() override {}
  void PublishResults(double upstream, double downstream) override;
  void HandleException(const std::exception& error) override;

 private:
  MeasurementState& state_;
  QTextStream& out_;
  QTextStream& err_;
  QTimer calcTimer_;
  CounterSampler sampler_;
  AveragingEngine engine_;
  StoredDisplays displays_;
  ResultPublisher publisher_;
};

}  // namespace velmar
