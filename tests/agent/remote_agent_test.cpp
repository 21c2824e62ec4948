// The remote agent library: its snapshot look-ups, and a scripted UDP peer
// that answers its requests with malformed and oversized packets (run
// under the sanitizers in the sanitizer build).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "agent/remote_view.h"
#include "platform/snmp_agent.h"

namespace velmar {
namespace {

using agent::RemoteObject;
using agent::RemoteSnapshot;

TEST(RemoteView, AnswersInMibOrderAndTellsWalkStartsFromRowNames) {
  // Two parts, the first with a neighbour never fetched, the second shared.
  std::vector<RemoteObject> objects;
  for (auto name : {std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 1},
                    std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 2},
                    std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 1}}) {
    objects.push_back(RemoteObject{name, 0x02, 1, {}, {}});
  }
  RemoteSnapshot snapshot;
  const auto ifX =
      std::make_shared<const std::vector<RemoteObject>>(objects.begin() + 2, objects.end());
  snapshot.parts = {
      std::make_shared<const std::vector<RemoteObject>>(objects.begin(), objects.begin() + 2),
      nullptr, std::make_shared<const std::vector<RemoteObject>>(), ifX};
  const auto at = [&](size_t i) { return i < 2 ? &(*snapshot.parts[0])[i] : &(*ifX)[i - 2]; };
  const uint32_t ifIndex[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 1};
  ASSERT_NE(agent::NextObject(snapshot, ifIndex, 10), nullptr);
  EXPECT_EQ(agent::NextObject(snapshot, ifIndex, 10)->name, objects[0].name);
  // An exact name answers with the one after it, across parts; the last,
  // with nothing.
  EXPECT_EQ(agent::NextObject(snapshot, objects[1].name.data(), 11), at(2));
  EXPECT_EQ(agent::NextObject(snapshot, objects[2].name.data(), 12), nullptr);
  const uint32_t root[] = {1, 3};
  EXPECT_EQ(agent::NextObject(snapshot, root, 2), at(0));
  EXPECT_EQ(agent::NextObject(snapshot, root, 0), at(0));

  // A column's own name starts a walk; a row instance goes on with one,
  // also in another interface table (ifHCInOctets.0 after ifTable).
  EXPECT_TRUE(agent::StartsWalk(ifIndex, 10));
  EXPECT_FALSE(agent::StartsWalk(objects[0].name.data(), 11));
  const uint32_t hcInRow0[] = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 0};
  EXPECT_FALSE(agent::StartsWalk(hcInRow0, 12));
  const uint32_t ifNumber[] = {1, 3, 6, 1, 2, 1, 2, 1, 0};
  EXPECT_TRUE(agent::StartsWalk(ifNumber, 9));
  const uint32_t elsewhere[] = {1, 3, 6, 1, 4, 1, 99, 1, 1, 1, 1, 1};
  EXPECT_TRUE(agent::StartsWalk(elsewhere, 12));
}

// A UDP peer on 127.0.0.1 that answers each datagram with what `answer`
// makes of it (nothing when it returns no bytes).
class ScriptedPeer {
 public:
  using Answer = std::function<std::vector<std::string>(const std::string& request)>;

  explicit ScriptedPeer(Answer answer) : answer_(std::move(answer)) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t length = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedPeer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  uint16_t Port() const { return port_; }
  int Requests() const { return requests_; }

 private:
  void Run() {
    std::vector<char> buffer(65536);
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) {
        continue;
      }
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n = recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &length);
      if (n <= 0) {
        continue;  // the agent's empty probe datagram
      }
      ++requests_;
      for (const std::string& reply : answer_(std::string(buffer.data(), static_cast<size_t>(n)))) {
        sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
      }
    }
  }

  Answer answer_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

// The offset of the PDU's tag in a v2c message (SEQUENCE, version,
// community, PDU), or npos.
size_t PduTagOffset(const std::string& m) {
  size_t at = 0;
  const auto header = [&](bool enter) {
    if (at + 2 > m.size()) {
      return false;
    }
    ++at;  // the tag
    size_t length = static_cast<uint8_t>(m[at++]);
    if (length & 0x80) {
      const size_t octets = length & 0x7F;
      length = 0;
      for (size_t i = 0; i < octets && at < m.size(); ++i) {
        length = length << 8 | static_cast<uint8_t>(m[at++]);
      }
    }
    if (!enter) {
      at += length;
    }
    return at <= m.size();
  };
  if (!header(true) || !header(false) || !header(false)) {
    return std::string::npos;
  }
  return at < m.size() ? at : std::string::npos;
}

// The request made into a "response" that names the very objects asked
// for: well formed, but a walk on it never moves forward.
std::string EchoAsResponse(std::string request) {
  const size_t tag = PduTagOffset(request);
  if (tag != std::string::npos) {
    request[tag] = static_cast<char>(0xA2);
  }
  return request;
}

struct Outcome {
  SnmpAgent::Failure failure;
  bool walked = false;  // the first walk after a start got an answer
  std::string error;
};

Outcome StartAgainst(uint16_t port, uint32_t timeoutMs = 150) {
  const std::string library = VELMAR_BIN_DIR "/libmib2remote.so";
  SnmpRemoteSource source{};
  source.host = "127.0.0.1";
  source.port = port;
  source.version = 2;
  source.community = "hostile-peer-community";
  source.pollIntervalMs = 200;
  source.timeoutMs = timeoutMs;
  SnmpAgent agent;
  Outcome outcome{agent.Start(library, 0, &source), false, {}};
  if (outcome.failure == SnmpAgent::Failure::kNone) {
    // Answers that net-snmp drops unread look like a device that is off:
    // the agent starts and waits for it, and the walks fail meanwhile.
    uint32_t ifTable[] = {1, 3, 6, 1, 2, 1, 2, 2};
    SnmpVarBind binding{};
    binding.name.ids = ifTable;
    binding.name.idLength = 8;
    SnmpVarBindList list{&binding, 1};
    int32_t status = 0;
    int32_t index = 0;
    outcome.walked = agent.Query()(SNMP_PDU_GETNEXT, &list, &status, &index) != 0;
  }
  outcome.error = agent.AgentError();
  agent.Unload();
  return outcome;
}

TEST(RemoteAgentHostilePeer, MalformedAndOversizedAnswersFailWithoutHarm) {
  uint32_t seed = 12345;
  const auto random = [&seed] {
    seed = seed * 1103515245 + 12345;
    return (seed >> 16) & 0x7FFF;
  };
  const std::vector<std::pair<const char*, ScriptedPeer::Answer>> scripts = {
      {"echo", [](const std::string& r) { return std::vector<std::string>{EchoAsResponse(r)}; }},
      {"truncated",
       [&random](const std::string& r) {
         const std::string echo = EchoAsResponse(r);
         std::vector<std::string> cuts;
         for (int i = 0; i < 8; ++i) {
           cuts.push_back(echo.substr(0, random() % echo.size()));
         }
         return cuts;
       }},
      {"flipped",
       [&random](const std::string& r) {
         std::vector<std::string> replies;
         for (int i = 0; i < 16; ++i) {
           std::string echo = EchoAsResponse(r);
           for (int k = 0; k < 3; ++k) {
             echo[random() % echo.size()] = static_cast<char>(random());
           }
           replies.push_back(echo);
         }
         return replies;
       }},
      {"oversized",
       [](const std::string& r) {
         std::string big = EchoAsResponse(r);
         big.append(65000 - big.size(), '\xA2');
         return std::vector<std::string>{big};
       }},
      {"absurd lengths",
       [](const std::string& r) {
         std::string echo = EchoAsResponse(r);
         const size_t tag = PduTagOffset(r);
         // A PDU that claims four gigabytes, and a message that claims more
         // than it holds.
         std::string huge = echo.substr(0, tag + 1) + "\x84\xFF\xFF\xFF\xF0" + echo.substr(tag + 2);
         std::string claims = echo;
         claims[1] = static_cast<char>(0x7F);
         return std::vector<std::string>{huge, claims};
       }},
      {"garbage",
       [&random](const std::string&) {
         std::string noise(1 + random() % 1400, '\0');
         for (char& c : noise) {
           c = static_cast<char>(random());
         }
         return std::vector<std::string>{noise, std::string(1, '\x30'), std::string()};
       }},
  };
  for (const auto& [name, script] : scripts) {
    SCOPED_TRACE(name);
    ScriptedPeer peer(script);
    const Outcome outcome = StartAgainst(peer.Port());
    EXPECT_TRUE(outcome.failure == SnmpAgent::Failure::kInitFailed ||
                (outcome.failure == SnmpAgent::Failure::kNone && !outcome.walked));
    EXPECT_GT(peer.Requests(), 0);
    EXPECT_NE(outcome.error.find("127.0.0.1:" + std::to_string(peer.Port())), std::string::npos)
        << outcome.error;
    EXPECT_EQ(outcome.error.find("hostile-peer-community"), std::string::npos) << outcome.error;
  }
  // The echo is well formed: the start is refused for answers without
  // values.
  ScriptedPeer echo(scripts[0].second);
  const Outcome refused = StartAgainst(echo.Port());
  EXPECT_EQ(refused.failure, SnmpAgent::Failure::kInitFailed);
  EXPECT_NE(refused.error.find("without values"), std::string::npos) << refused.error;
}

TEST(RemoteAgentConfiguration, UnusableSettingsAndLibrariesSayWhy) {
  const std::string library = VELMAR_BIN_DIR "/libmib2remote.so";
  const auto start = [&library](SnmpRemoteSource source) {
    SnmpAgent agent;
    const SnmpAgent::Failure failure = agent.Start(library, 0, &source);
    const std::string error = agent.AgentError();
    agent.Unload();
    return std::make_pair(failure, error);
  };
  SnmpRemoteSource v3{};
  v3.host = "127.0.0.1";
  v3.port = 9;
  v3.version = 3;
  v3.user = "someone";
  v3.authProtocol = "MD4";
  v3.authPassphrase = "long enough secret";
  auto [failure, error] = start(v3);
  EXPECT_EQ(failure, SnmpAgent::Failure::kInitFailed);
  EXPECT_NE(error.find("authentication protocol 'MD4' for 127.0.0.1:9"), std::string::npos)
      << error;
  EXPECT_NE(error.find("(weak) MD5"), std::string::npos) << error;
  v3.authProtocol = "SHA-256";
  v3.authPassphrase = "short";
  std::tie(failure, error) = start(v3);
  EXPECT_NE(error.find("too short"), std::string::npos) << error;
  EXPECT_EQ(error.find("short\""), std::string::npos);
  v3.authPassphrase = "long enough secret";
  v3.privProtocol = "IDEA";
  v3.privPassphrase = "another long secret";
  std::tie(failure, error) = start(v3);
  EXPECT_NE(error.find("privacy protocol 'IDEA'"), std::string::npos) << error;
  EXPECT_NE(error.find("(weak) DES"), std::string::npos) << error;
  SnmpRemoteSource v2{};
  v2.host = "127.0.0.1";
  v2.version = 2;
  std::tie(failure, error) = start(v2);
  EXPECT_NE(error.find("needs a community for 127.0.0.1:161"), std::string::npos) << error;
  EXPECT_NE(error.find("community= line of the --snmp-secrets file"), std::string::npos) << error;

  // The local agent cannot be pointed at a device.
  SnmpAgent local;
  v2.community = "c";
  EXPECT_EQ(local.Start(VELMAR_BIN_DIR "/libmib2.so", 0, &v2), SnmpAgent::Failure::kNotRemote);
}

}  // namespace
}  // namespace velmar
