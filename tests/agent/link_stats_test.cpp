#include "agent/link_stats.h"

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "agent/kernel_tables.h"

namespace velmar::agent {
namespace {

TEST(LinkStatsTest, TheStatisticsDumpAgreesWithTheFullLinkDump) {
  LinkStatsReader stats;
  ASSERT_TRUE(stats.Available());
  std::vector<LinkCounters> before, after;
  ASSERT_TRUE(stats.Read(before));
  const std::vector<LinkInfo> links = LinkReader().Read();
  ASSERT_TRUE(stats.Read(after));
  ASSERT_EQ(before.size(), links.size());
  ASSERT_EQ(after.size(), links.size());
  for (size_t i = 0; i < links.size(); ++i) {
    SCOPED_TRACE(links[i].name);
    EXPECT_EQ(before[i].index, links[i].index) << "the same links in the same order";
    // Read between the two dumps, the full dump's counters lie between theirs.
    EXPECT_LE(before[i].rxBytes, links[i].rxBytes);
    EXPECT_LE(links[i].rxBytes, after[i].rxBytes);
    EXPECT_LE(before[i].txPackets, links[i].txPackets);
    EXPECT_LE(links[i].txPackets, after[i].txPackets);
  }
}

// In a network namespace of a child process of its own: a link added, set
// up and deleted is told, and nothing else is.
TEST(LinkStatsTest, ChangesToTheLinksAreToldAndOnlyThey) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0) {
      _exit(77);
    }
    LinkStatsReader stats;
    std::vector<LinkCounters> counters;
    const auto quiet = [&] { return !stats.LinksChanged(); };
    const auto run = [](const char* command) { return std::system(command) == 0; };
    const bool ok =
        stats.LinksChanged() && quiet() && stats.Read(counters) && counters.size() == 1 &&
        quiet() && run("ip link add velmar-v0 type veth peer name velmar-v1") &&
        stats.LinksChanged() && quiet() && stats.Read(counters) && counters.size() == 3 &&
        run("ip link set velmar-v0 up") && stats.LinksChanged() && run("ip link del velmar-v0") &&
        stats.LinksChanged() && quiet();
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) {
    GTEST_SKIP() << "no network namespace here (needs root)";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace velmar::agent
