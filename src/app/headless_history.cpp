#include "app/headless_history.h"

namespace velmar {

HeadlessHistory::HeadlessHistory(MeasurementState& state, KeyStore& store,
                                 ProgramVolumeSource* programs, QTextStream& err)
    : err_(err), recorder_(state, &store, dates_) {
  recorder_.SetProgramSource(programs);
  recorder_.MeasuringStarted();
  sinceRecord_.start();
}

void HeadlessHistory::Tick() {
  if (sinceRecord_.elapsed() < recorder_.PeriodMs()) {
    return;
  }
  sinceRecord_.start();
  Guarded(&HistoryRecorder::RecordTick);
}

void HeadlessHistory::Stop() {
  Guarded(&HistoryRecorder::RecordStop);
}

void HeadlessHistory::Guarded(void (HistoryRecorder::*step)()) {
  try {
    (recorder_.*step)();
  } catch (const std::exception& e) {
    // The record's bytes go into the next one; the meter measures on.
    err_ << "velmar: a history record failed: " << e.what() << Qt::endl;
  }
}

}  // namespace velmar
