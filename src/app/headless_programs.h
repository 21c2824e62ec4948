#pragma once

#include <QString>
#include <QTextStream>
#include <memory>

#include "programs/program_feed.h"
#include "programs/program_history.h"
#include "programs/program_series.h"

namespace velmar {

class MetricsExporter;
struct MeasurementState;

// The per-program figures of a run without a window: read at the feed's
// own beat after the meter's ticks, printed after the tick's line when
// asked (--programs), and served as counters by the metrics endpoint.
class HeadlessPrograms {
 public:
  struct Options {
    bool print = false;  // --programs
    bool json = false;   // --format json
    size_t top = 20;     // --programs-top, else settings line 64
    QString helper;      // the capture helper to start; empty for none
  };

  HeadlessPrograms(const MeasurementState& state, Options options, QTextStream& out,
                   QTextStream& err);

  // The endpoint to hand the counters to; null for none.
  void ServeTo(MetricsExporter* exporter) { exporter_ = exporter; }
  // After each publication of the meter: reads when the feed's beat is due.
  void Tick();
  // The volumes per program for the history's records.
  ProgramVolumeSource& History() { return history_; }

 private:
  const MeasurementState& state_;
  Options options_;
  QTextStream& out_;
  QTextStream& err_;
  std::unique_ptr<programs::ProgramFeed> feed_;
  programs::ProgramSeries series_;
  programs::ProgramHistory history_;
  MetricsExporter* exporter_ = nullptr;
  bool failed_ = false;
};

}  // namespace velmar
