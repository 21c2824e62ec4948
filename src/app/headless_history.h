#pragma once

#include <QElapsedTimer>
#include <QTextStream>

#include "history/day_key_dates.h"
#include "history/history_recorder.h"

namespace velmar {

class KeyStore;
struct MeasurementState;

// The five-minute history of a run without a window (--record-history):
// the records the window writes, with the volumes per program when the
// programs are read. Driven by the meter's publications rather than a
// timer of its own, so a run of lines alone keeps its own beat.
class HeadlessHistory {
 public:
  HeadlessHistory(MeasurementState& state, KeyStore& store, ProgramVolumeSource* programs,
                  QTextStream& err);

  // After each publication: a record once the period has passed.
  void Tick();
  // The run ends: the bytes since the last record go into one more.
  void Stop();

 private:
  void Guarded(void (HistoryRecorder::*step)());

  QTextStream& err_;
  DayKeyDates dates_;
  HistoryRecorder recorder_;
  QElapsedTimer sinceRecord_;
};

}  // namespace velmar
