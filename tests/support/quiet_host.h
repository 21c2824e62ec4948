#pragma once

// A tick host for tests that drive the sampler by hand: no timer, no
// download, publication ignored; an exception reaching it fails the test.
#include <gtest/gtest.h>

#include "measure/tick_host.h"

namespace velmar::test {

class QuietHost : public TickHost {
 public:
  void SetCalcTimerEnabled(bool) override {}
  void StartDownload() override {}
  void PublishResults(double, double) override {}
  void HandleException(const std::exception& e) override { ADD_FAILURE() << e.what(); }
};

}  // namespace velmar::test
