#pragma once

#include <QBasicTimer>
#include <QDateTime>
#include <QObject>
#include <QTextStream>

#include "measure/counter_sampler.h"
#include "measure/meter_core.h"
#include "measure/tick_host.h"
#include "platform/local_time.h"

namespace velmar {

// The measurement without any window: the same tick as the main window,
// driven by its own calculation timer, printing one line per publication:
// "HH:MM:SS down=<kbit/s> up=<kbit/s> avgdown=<kbit/s> avgup=<kbit/s> total=<KBytes>",
// or one JSON object per publication.
class HeadlessMeter : public QObject, private TickDriver {
  Q_OBJECT

 public:
  enum class Format { kText, kJson };

  HeadlessMeter(InterfaceTable* table, SettingsList& settings, QTextStream& out, QTextStream& err,
                const TickClock& clock = SystemClock());

  // Starts the analysis as the ACTIVE button does.
  void Start();
  void Stop();
  // Starts the analysis and measures until Stop(), without a timer of Qt's:
  // it sleeps to each tick on an absolute beat of the calculation interval
  // and runs Qt's posted events after each tick. When `wakeFd` turns
  // readable (a signal watcher's pipe) it runs the whole queue, whose
  // handlers may Stop. Only for a run whose one timed job is the tick: Qt
  // timers and socket notifiers of anything else are served only then.
  // Returns false when the tick itself ended the beat without a Stop().
  bool MeasureOnOwnBeat(int wakeFd);

  MeterCore& Core() { return core_; }
  CounterSampler& Sampler() { return core_.Sampler(); }
  void SetFormat(Format format) { format_ = format; }
  // Text lines go straight to this descriptor (standard output), one write
  // each, instead of through the stream and its buffers.
  void WriteLinesTo(int fd) { lineFd_ = fd; }

  // One output line: rates in kbit/s, the total in KBytes, written into
  // `line` without allocating; returns its length, below kLineSize. A rate
  // too long for the line (none a link carries) ends it early.
  static constexpr size_t kLineSize = 256;
  static size_t FormatLine(char (&line)[kLineSize], const char* time, double down, double up,
                           double avgDown, double avgUp, uint64_t totalBytes);
  // One JSON object on one line: the time in ISO 8601 with its offset from
  // UTC, the adapter's name (null when the selection names no row), rates
  // and averages in bits per second (given in bytes per second), the total
  // in bytes.
  // An adapter chosen by name that is gone is named with "adapter_absent".
  static QString FormatJson(const QDateTime& time, const QString& adapter, double down, double up,
                            double avgDown, double avgUp, uint64_t totalBytes, bool absent = false);

  // The name of adapter `selection` of the list ("All" for 0), from the
  // sampler's latest tick; a null text when no such row was read. While
  // the adapter chosen by name is gone, its name, never the one now at
  // its row.
  static QString AdapterName(const CounterSampler& sampler, int16_t selection) {
    return sampler.ReportedName(selection);
  }

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  // TickDriver
  void SetCalcTimerEnabled(bool enabled) override;
  void StartDownload() override {}
  void HandleException(const std::exception& error) override;

  // One publication's line.
  void WriteResults(double upstream, double downstream);
  void WriteLine(char (&line)[kLineSize], size_t length);

  QTextStream& out_;
  QTextStream& err_;
  Format format_ = Format::kText;
  LocalTimeOfDay timeOfDay_;
  int lineFd_ = -1;
  // A bare timer event, not a signal: the tick is the only thing it drives.
  QBasicTimer calcTimer_;
  bool timerWanted_ = false;
  bool ownBeat_ = false;
  bool stopped_ = false;
  StoredDisplays displays_;
  MeterCore core_;
};

}  // namespace velmar
