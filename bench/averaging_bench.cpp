// ComputeAverage on a full 32-sample window, with its message-queue runs:
// as the meter runs it (the queue at most once per millisecond of work) and
// literally at every step.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "measure/averaging_engine.h"
#include "platform/message_queue.h"

namespace {

void Run(benchmark::State& bench, std::chrono::nanoseconds queueInterval, uint8_t mode) {
  velmar::MessageQueue::SetMinimumInterval(queueInterval);
  velmar::MeasurementState state;
  state.AnalysisActive = true;
  state.AveragingMode = mode;
  velmar::AveragingEngine engine(state);
  for (int i = 0; i < 32; ++i) {
    engine.ComputeAverage(velmar::AveragingEngine::kDown,
                          1000.0f + static_cast<float>(i * 37 % 32));
  }
  const auto runsBefore = velmar::MessageQueue::Runs();
  float sample = 1000;
  for (auto _ : bench) {
    sample = sample > 2000 ? 1000 : sample + 13;
    benchmark::DoNotOptimize(engine.ComputeAverage(velmar::AveragingEngine::kDown, sample));
  }
  bench.counters["queue_runs_per_call"] =
      static_cast<double>(velmar::MessageQueue::Runs() - runsBefore) /
      static_cast<double>(bench.iterations());
  velmar::MessageQueue::SetMinimumInterval(std::chrono::milliseconds(1));
}

void BM_ComputeAverage_Throttled(benchmark::State& s) {
  Run(s, std::chrono::milliseconds(1), static_cast<uint8_t>(s.range(0)));
}
void BM_ComputeAverage_QueueEveryStep(benchmark::State& s) {
  Run(s, std::chrono::nanoseconds(0), static_cast<uint8_t>(s.range(0)));
}

BENCHMARK(BM_ComputeAverage_Throttled)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComputeAverage_QueueEveryStep)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
