#pragma once

#include <exception>

namespace velmar {

// What the measurement tick needs of the window (or of the headless
// runner) around it.
class TickHost {
 public:
  virtual ~TickHost() = default;
  virtual void SetCalcTimerEnabled(bool enabled) = 0;
  // Starts the Generate-mode download; returns when it has ended and may
  // run the event loop meanwhile.
  virtual void StartDownload() = 0;
  virtual void PublishResults(double upstream, double downstream) = 0;
  // The application's error report.
  virtual void HandleException(const std::exception& error) = 0;
};

}  // namespace velmar
