#include "agent/link_stats.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
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
        stats.LinksChanged() && quiet() &&
        // More links than one part of the answer holds: every one is read.
        run("for i in $(seq 20); do ip link add velmar-m$i type veth peer name velmar-n$i; done") &&
        stats.LinksChanged() && stats.Read(counters) && counters.size() == 41 && quiet();
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

// The same, through the reader the agent uses: while the links stay as they
// are, reading brings only the counters, in place; a new link, a renamed one
// or one gone brings everything again.
bool SendToLoopback() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(9);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool sent = sendto(fd, "x", 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) == 1;
  close(fd);
  return sent;
}

TEST(LinkStatsTest, TheReaderReadsOnlyCountersUntilALinkChanges) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0) {
      _exit(77);
    }
    const auto run = [](const char* command) { return std::system(command) == 0; };
    LinkReader reader;
    std::vector<LinkInfo> links;
    int step = 1;
    const auto check = [&](bool ok) { return ok ? ++step : (_exit(step), 0); };
    check(run("ip link set lo up") && reader.Update(links) && links.size() == 1);
    const LinkInfo* first = links.data();
    const uint64_t before = links[0].rxBytes;
    check(SendToLoopback() && !reader.Update(links));
    check(links.data() == first && links[0].rxBytes > before && reader.FullReads() == 1);
    check(run("ip link add velmar-v0 type veth peer name velmar-v1") && reader.Update(links));
    const auto named = [&](const char* name) {
      return std::any_of(links.begin(), links.end(),
                         [&](const LinkInfo& l) { return l.name == name; });
    };
    check(links.size() == 3 && named("velmar-v0") && named("velmar-v1"));
    check(run("ip link set velmar-v1 name velmar-w1") && reader.Update(links) &&
          named("velmar-w1") && !named("velmar-v1"));
    check(!reader.Update(links) && run("ip link del velmar-v0") && reader.Update(links) &&
          links.size() == 1 && reader.FullReads() == 4);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) {
    GTEST_SKIP() << "no network namespace here (needs root)";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the step that failed";
}

}  // namespace
}  // namespace velmar::agent
