#include "measure/averaging_engine.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <numeric>

#include "platform/message_queue.h"

namespace velmar {
namespace {

class AveragingEngineTest : public ::testing::Test {
 protected:
  AveragingEngineTest() : engine(state) {
    state.AnalysisActive = true;
    MessageQueue::SetMinimumInterval(std::chrono::nanoseconds(0));
  }
  ~AveragingEngineTest() override {
    MessageQueue::SetMinimumInterval(std::chrono::milliseconds(1));
  }

  // Feeds samples in order; returns the last result.
  float Feed(const std::vector<float>& samples, uint8_t direction = AveragingEngine::kDown) {
    float result = -1;
    for (float s : samples) {
      result = engine.ComputeAverage(direction, s);
    }
    return result;
  }

  MeasurementState state;
  AveragingEngine engine;
};

// P positive samples: 1..P interleaved from both ends (P, 1, P-1, 2, ...),
// so the order of arrival differs from the sorted order.
std::vector<float> Samples(int p) {
  std::vector<float> v;
  for (int lo = 1, hi = p; lo <= hi; ++lo, --hi) {
    v.push_back(static_cast<float>(hi));
    if (lo != hi)
      v.push_back(static_cast<float>(lo));
  }
  return v;
}

// The mean of the sorted samples 1..P from index `from` to `to` (inclusive).
float MeanOfSorted(int from, int to) {
  float sum = 0;
  for (int k = from; k <= to; ++k)
    sum += static_cast<float>(k + 1);
  return sum / static_cast<float>(to - from + 1);
}

TEST_F(AveragingEngineTest, TheTableOfResultsForEveryCountAndMode) {
  for (uint8_t mode : {1, 2, 3, 0, 7}) {
    for (int p = 1; p <= 32; ++p) {
      MeasurementState fresh;
      fresh.AnalysisActive = true;
      fresh.AveragingMode = mode;
      state = fresh;
      const float got = Feed(Samples(p));
      float want = 0;
      const bool threePole = mode != 2 && mode != 3;
      if (p < 2) {
        want = 0;
      } else if (p <= 27) {
        want = MeanOfSorted(0, p - 1);
      } else if (p <= 31) {
        want = mode == 3 ? MeanOfSorted(0, 27) : MeanOfSorted(12, 27);
      } else if (mode == 2) {
        want = MeanOfSorted(12, 27);
      } else if (mode == 3) {
        want = MeanOfSorted(0, 27);
      } else {
        ASSERT_TRUE(threePole);
        want = ((MeanOfSorted(0, 11) + MeanOfSorted(28, 31)) / 2 + MeanOfSorted(12, 27)) / 2;
      }
      EXPECT_NEAR(got, want, 1e-4) << "P=" << p << " mode=" << int(mode);
    }
  }
}

TEST_F(AveragingEngineTest, TheThreeBandExample) {
  std::vector<float> s;
  for (int i = 0; i < 4; ++i)
    s.push_back(1000);
  for (int i = 0; i < 16; ++i)
    s.push_back(100);
  for (int i = 0; i < 12; ++i)
    s.push_back(10);
  state.AveragingMode = 1;
  EXPECT_FLOAT_EQ(Feed(s), 302.5f);
  MeasurementState fresh;
  fresh.AnalysisActive = true;
  fresh.AveragingMode = 2;
  state = fresh;
  EXPECT_FLOAT_EQ(Feed(s), 100.0f);
  fresh.AveragingMode = 3;
  state = fresh;
  EXPECT_NEAR(Feed(s), 1720.0f / 28.0f, 1e-4);  // 61.43
  EXPECT_FLOAT_EQ(state.DownHighWater, 1000.0f);

  // Twenty samples of 100 and nothing else: 100 in every mode.
  for (uint8_t mode : {1, 2, 3}) {
    fresh.AveragingMode = mode;
    state = fresh;
    EXPECT_FLOAT_EQ(Feed(std::vector<float>(20, 100.0f)), 100.0f);
  }
}

TEST_F(AveragingEngineTest, FirstSampleResetsTheMarkSmallSamplesStayOut) {
  EXPECT_EQ(engine.ComputeAverage(AveragingEngine::kUp, 500), 0);
  EXPECT_EQ(state.UpHighWater, 0) << "P = 1 resets the high-water mark";
  EXPECT_EQ(state.UpWindow[31], 500);
  EXPECT_FLOAT_EQ(engine.ComputeAverage(AveragingEngine::kUp, 300), 400.0f);
  EXPECT_EQ(state.UpHighWater, 500);

  const auto before = state.UpWindow;
  EXPECT_EQ(engine.ComputeAverage(AveragingEngine::kUp, 0.5f), 0);
  EXPECT_EQ(engine.ComputeAverage(AveragingEngine::kUp, -3), 0);
  EXPECT_EQ(state.UpWindow, before) << "samples below 1 never enter the window";
  EXPECT_EQ(state.DownWindow, (std::array<float, 32>{})) << "the other direction is untouched";

  // Unknown directions change nothing.
  EXPECT_EQ(engine.ComputeAverage(0, 100), 0);
  EXPECT_EQ(engine.ComputeAverage(3, 100), 0);
  EXPECT_EQ(state.UpWindow, before);
  EXPECT_EQ(state.ProgramSection, 5);
}

TEST_F(AveragingEngineTest, HugeSamplesAreNeverPickedButRaiseTheMark) {
  // 1e12 and more never reach the sorted list; the other samples average.
  EXPECT_FLOAT_EQ(Feed({100, 300, 1e12f, 2e12f}), 200.0f);
  EXPECT_FLOAT_EQ(state.DownHighWater, 2e12f);
  // Only huge samples: nothing sorted, no average.
  MeasurementState fresh;
  fresh.AnalysisActive = true;
  state = fresh;
  EXPECT_EQ(Feed({1e12f, 1e13f}), 0);

  // The mark only grows while samples come, and a window that slides
  // past its largest sample keeps the mark.
  state = fresh;
  Feed({5000, 10});
  for (int i = 0; i < 40; ++i)
    engine.ComputeAverage(AveragingEngine::kDown, 20);
  EXPECT_FLOAT_EQ(state.DownHighWater, 5000.0f);
  EXPECT_FLOAT_EQ(engine.ComputeAverage(AveragingEngine::kDown, 20), 20.0f);
}

TEST_F(AveragingEngineTest, SleepPressedDuringAnAveragingReturnsZeroMidway) {
  std::vector<float> full(32);
  std::iota(full.begin(), full.end(), 100.0f);
  Feed(full);
  const auto before = state.DownWindow;
  // A handler that runs from the queue while the engine works: SLEEP.
  QTimer::singleShot(0, [this] { state.AnalysisActive = false; });
  EXPECT_EQ(engine.ComputeAverage(AveragingEngine::kDown, 400), 0);
  // The first shift step ran, then the engine stopped: the window is
  // partly shifted and the new sample never arrived.
  EXPECT_EQ(state.DownWindow[30], before[30]);
  EXPECT_EQ(state.DownWindow[31], before[31]);
  EXPECT_NE(state.DownWindow, before);
  EXPECT_EQ(state.DownWindow[0], before[1]);

  // Stopped during the sort: 0 as well, with the sample already in place.
  state.AnalysisActive = true;
  int calls = 0;
  QTimer stopper;
  QObject::connect(&stopper, &QTimer::timeout, [&] {
    if (++calls == 40)
      state.AnalysisActive = false;
  });
  stopper.start(0);
  EXPECT_EQ(engine.ComputeAverage(AveragingEngine::kDown, 500), 0);
  EXPECT_EQ(state.DownWindow[31], 500);
}

TEST_F(AveragingEngineTest, TheQueueRunsAtEveryStepOnlyWhenAskedTo) {
  Feed(std::vector<float>(32, 50.0f));
  const auto before = MessageQueue::Runs();
  engine.ComputeAverage(AveragingEngine::kDown, 50);
  EXPECT_EQ(MessageQueue::Runs() - before, 31u + 32u * 32u)
      << "after every shift and every comparison of a full window";

  MessageQueue::SetMinimumInterval(std::chrono::seconds(10));
  MessageQueue::RunNow();
  const auto start = MessageQueue::Runs();
  Feed(std::vector<float>(32, 50.0f));
  EXPECT_EQ(MessageQueue::Runs() - start, 0u) << "no run before the interval is due";

  // Time the event loop spent waiting is not work: an averaging in a tick
  // handler after a quiet spell does not run the queue from inside the
  // tick. (100 ms leaves a sanitized, loaded machine ample room.)
  MessageQueue::SetMinimumInterval(std::chrono::milliseconds(100));
  Feed(std::vector<float>(32, 50.0f));
  unsigned long long inside = ~0ull;
  QTimer::singleShot(300, [&] {
    const auto atTick = MessageQueue::Runs();
    engine.ComputeAverage(AveragingEngine::kDown, 50);
    inside = MessageQueue::Runs() - atTick;
  });
  QElapsedTimer waited;
  waited.start();
  while (inside == ~0ull && waited.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  EXPECT_EQ(inside, 0u) << "the quiet spell before the tick counted as work";
}

}  // namespace
}  // namespace velmar
