#pragma once

// Runs the current test again in a process of its own, in a network
// namespace of its own, so what it sees of the kernel's tables is what it set
// up there and nothing else: no socket of this machine, no route, no
// neighbour. The fresh process also loads the agent library afresh, so no
// netlink socket opened in the machine's namespace is carried over.
//
//   VELMAR_IN_OWN_NETWORK();
//   ... the test, inside ...
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace velmar::test {

inline constexpr const char* kOwnNetworkVariable = "VELMAR_TEST_OWN_NETWORK";

// True inside (the loopback is up); false outside, after the run inside,
// with `skip` saying why no namespace could be had.
inline bool InOwnNetwork(std::string& skip) {
  if (std::getenv(kOwnNetworkVariable) != nullptr) {
    EXPECT_EQ(std::system("ip link set lo up"), 0);
    return true;
  }
  if (geteuid() != 0 || std::system("unshare --net true 2>/dev/null") != 0) {
    skip = "no network namespace here (needs root and unshare)";
    return false;
  }
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  char self[4096] = {};
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  EXPECT_GT(length, 0);
  const std::string run = std::string(kOwnNetworkVariable) + "=1 unshare --net " + self +
                          " --gtest_filter=" + test->test_suite_name() + "." + test->name();
  const int status = std::system(run.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the run in a namespace of its own failed (its output is above)";
  return false;
}

}  // namespace velmar::test

// Outside, the test ends here: skipped with the reason no namespace could be
// had, or as the run inside passed or failed it.
#define VELMAR_IN_OWN_NETWORK()                          \
  do {                                                   \
    std::string ownNetworkSkip;                          \
    if (!::velmar::test::InOwnNetwork(ownNetworkSkip)) { \
      if (!ownNetworkSkip.empty()) {                     \
        GTEST_SKIP() << ownNetworkSkip;                  \
      }                                                  \
      return;                                            \
    }                                                    \
  } while (false)
