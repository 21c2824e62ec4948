#include "net/idle_countdown.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "net/interval_timer.h"
#include "net/net_test_support.h"
#include "net/socket_error.h"

namespace velmar {
namespace {

TEST(IdleCountdown, CountsIdleSecondsDownToTheTimeOut) {
  IdleCountdown counter;
  counter.SetTimeOut(3);
  EXPECT_FALSE(counter.Running()) << "made stopped";

  counter.StartCounting();
  EXPECT_TRUE(counter.Running());
  EXPECT_EQ(counter.Remaining(), 3);
  counter.Tick();
  counter.Tick();
  EXPECT_EQ(counter.Remaining(), 1);
  EXPECT_FALSE(counter.TimedOut());
  counter.Tick();
  EXPECT_TRUE(counter.TimedOut()) << "0 left is a time-out";
  counter.Tick();
  EXPECT_EQ(counter.Remaining(), -1) << "keeps running until stopped";
  EXPECT_TRUE(counter.TimedOut());

  // Starting again reloads but leaves the flag; only a restart clears it.
  counter.StartCounting();
  EXPECT_EQ(counter.Remaining(), 3);
  EXPECT_TRUE(counter.TimedOut());
  counter.RestartCounting();
  EXPECT_FALSE(counter.TimedOut());
  EXPECT_EQ(counter.Remaining(), 3);

  counter.StopCounting();
  EXPECT_FALSE(counter.Running());
  counter.RestartCounting();
  EXPECT_TRUE(counter.Running()) << "a restart switches a stopped timer on";
  counter.StopCounting();

  // Moving bytes restarts the countdown: idle time, not total time.
  counter.SetTimeOut(2);
  counter.StartCounting();
  for (int i = 0; i < 10; ++i) {
    counter.Tick();
    counter.RestartCounting();
  }
  EXPECT_FALSE(counter.TimedOut());
  counter.StopCounting();
}

TEST(IdleCountdown, TheOneSecondTimerRunsTheCountdownInTheEventLoop) {
  IdleCountdown counter;
  counter.SetTimeOut(1);
  counter.StartCounting();
  QElapsedTimer guard;
  guard.start();
  while (!counter.TimedOut() && guard.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  }
  EXPECT_TRUE(counter.TimedOut());
  EXPECT_LE(counter.Remaining(), 0);
  counter.StopCounting();
  const int remaining = counter.Remaining();
  QElapsedTimer pause;
  pause.start();
  while (pause.elapsed() < 1300) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  }
  EXPECT_EQ(counter.Remaining(), remaining) << "a stopped counter does not tick";
}

TEST(IntervalTimer, FiresOnTimerWhileEnabledAndNotAfter) {
  IntervalTimer timer(nullptr, false);
  EXPECT_EQ(timer.Interval(), 1000);
  EXPECT_FALSE(timer.Enabled());
  int fired = 0;
  QObject::connect(&timer, &IntervalTimer::timeout, [&](IntervalTimer& sender) {
    EXPECT_EQ(&sender, &timer);
    if (++fired == 3) {
      sender.SetEnabled(false);
    }
  });
  timer.SetInterval(10);
  timer.SetEnabled(true);
  QElapsedTimer guard;
  guard.start();
  while (timer.Enabled() && guard.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  }
  EXPECT_EQ(fired, 3);
  QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(fired, 3);

  IntervalTimer onByDefault;
  EXPECT_TRUE(onByDefault.Enabled());
}

}  // namespace
}  // namespace velmar
