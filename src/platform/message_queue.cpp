#include "platform/message_queue.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

namespace velmar {

namespace {
using Clock = std::chrono::steady_clock;
std::chrono::nanoseconds minimumInterval = std::chrono::milliseconds(1);
Clock::time_point lastRun{};
unsigned long long runs = 0;
}  // namespace

void MessageQueue::RunNow() {
  lastRun = Clock::now();
  ++runs;
  QCoreApplication::processEvents();
}

namespace {

// Time spent waiting for events is no work: the interval counts from the
// moment the event loop last woke (or the queue last ran), so a short
// computation in a tick handler does not run the queue from inside it.
void CountFromWakeUps() {
  static bool hooked = false;
  if (hooked) {
    return;
  }
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
    QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [] { lastRun = Clock::now(); });
    hooked = true;
  }
}

}  // namespace

void MessageQueue::RunIfDue() {
  if (minimumInterval.count() <= 0) {
    RunNow();
    return;
  }
  CountFromWakeUps();
  // A step of a compute loop takes nanoseconds; asking the clock at every
  // one would cost more than the work. Every 32nd step is often enough.
  static unsigned steps = 0;
  if ((++steps & 31) == 0 && Clock::now() - lastRun >= minimumInterval) {
    RunNow();
  }
}

void MessageQueue::SetMinimumInterval(std::chrono::nanoseconds interval) {
  minimumInterval = interval;
}

std::chrono::nanoseconds MessageQueue::MinimumInterval() {
  return minimumInterval;
}

unsigned long long MessageQueue::Runs() {
  return runs;
}

}  // namespace velmar
