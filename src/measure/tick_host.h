#pragma once

#include <exception>

namespace velmar {

// The calculation timer's period. A tick whose time since the previous one
// rounds to half a second or less yields no rate; a precise 500 ms timer on
// a quiet machine lands on exactly 500 ms (the tick count has millisecond
// steps) about every other tick, which zeroed real traffic. One millisecond
// more keeps every regular tick above the line; the rule still catches
// ticks that come early.
constexpr int kCalcTimerIntervalMs = 501;

// Where an error raised inside the tick goes: the application's report.
class TickErrors {
 public:
  virtual ~TickErrors() = default;
  virtual void HandleException(const std::exception& error) = 0;
};

// What the measurement core needs of the program around it (the window's
// session, the headless run): its calculation timer, Generate mode's
// download and its error report.
class TickDriver : public TickErrors {
 public:
  virtual void SetCalcTimerEnabled(bool enabled) = 0;
  // Starts the Generate-mode download; returns when it has ended and may
  // run the event loop meanwhile.
  virtual void StartDownload() = 0;
};

// What the measurement tick needs of the core around it.
class TickHost : public TickErrors {
 public:
  virtual void SetCalcTimerEnabled(bool enabled) = 0;
  // Starts the Generate-mode download; returns when it has ended and may
  // run the event loop meanwhile.
  virtual void StartDownload() = 0;
  virtual void PublishResults(double upstream, double downstream) = 0;
};

}  // namespace velmar
