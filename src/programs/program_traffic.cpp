#include "programs/program_traffic.h"

#include <algorithm>

namespace velmar::programs {

namespace {

std::string FileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

ProgramTraffic::ProgramTraffic(SocketFilter counts) : counts_(std::move(counts)) {}

ProgramTraffic::SocketFilter ProgramTraffic::DefaultFilter() {
  return [](const TcpSocketBytes& s) { return !s.OnLoopback(); };
}

ProgramFigures& ProgramTraffic::Row(const std::string& program) {
  auto [it, added] = rows_.try_emplace(program);
  if (added) {
    it->second.program = program;
    it->second.name =
        program == kOtherUsers || program == kNotAttributed ? program : FileName(program);
  }
  return it->second;
}

void ProgramTraffic::Update(const std::vector<TcpSocketBytes>& sockets,
                            const SocketOwnerIndex& owners, uint64_t countedReceived,
                            uint64_t countedTransmitted, Clock::time_point at) {
  std::unordered_map<uint64_t, Counts> seen;
  seen.reserve(sockets.size());
  std::map<std::string, Counts> moved;
  for (const TcpSocketBytes& s : sockets) {
    if (!counts_(s)) {
      continue;
    }
    seen[s.inode] = Counts{s.received, s.sent};
    if (!started_) {
      continue;
    }
    // A socket first seen now was opened since the last reading: all it
    // carried is new.
    const auto before = sockets_.find(s.inode);
    const Counts old = before == sockets_.end() ? Counts{} : before->second;
    const SocketOwner& owner = owners.OwnerOf(s.inode);
    const std::string program = owner.kind == SocketOwner::Kind::Program     ? owner.program
                                : owner.kind == SocketOwner::Kind::OtherUser ? kOtherUsers
                                                                             : kNotAttributed;
    Counts& m = moved[program];
    m.received += Grown(s.received, old.received);
    m.sent += Grown(s.sent, old.sent);
  }
  sockets_.swap(seen);
  const Counts counted{countedReceived, countedTransmitted};
  if (!started_) {
    started_ = true;
    last_ = at;
    lastCounted_ = counted;
    return;
  }
  const double seconds = std::chrono::duration<double>(at - last_).count();
  const Counts total{Grown(counted.received, lastCounted_.received),
                     Grown(counted.sent, lastCounted_.sent)};
  last_ = at;
  lastCounted_ = counted;
  Counts attributed;
  for (auto& [program, row] : rows_) {
    row.receiveRate = 0;
    row.transmitRate = 0;
  }
  for (const auto& [program, m] : moved) {
    if (program == kNotAttributed) {
      continue;
    }
    ProgramFigures& row = Row(program);
    row.received += m.received;
    row.transmitted += m.sent;
    if (seconds > 0) {
      row.receiveRate = static_cast<double>(m.received) / seconds;
      row.transmitRate = static_cast<double>(m.sent) / seconds;
    }
    attributed.received += m.received;
    attributed.sent += m.sent;
  }
  // The sockets count payload, the interfaces whole packets: more than
  // the sum is the rule. Less happens only when a socket's traffic took an
  // interface the selection does not count; "not attributed" then shows 0
  // rather than a negative volume.
  ProgramFigures& rest = Row(kNotAttributed);
  const uint64_t restReceived =
      total.received > attributed.received ? total.received - attributed.received : 0;
  const uint64_t restSent = total.sent > attributed.sent ? total.sent - attributed.sent : 0;
  rest.received += restReceived;
  rest.transmitted += restSent;
  if (seconds > 0) {
    rest.receiveRate = static_cast<double>(restReceived) / seconds;
    rest.transmitRate = static_cast<double>(restSent) / seconds;
  }
}

std::vector<ProgramFigures> ProgramTraffic::Rows() const {
  std::vector<ProgramFigures> rows;
  rows.reserve(rows_.size());
  for (const auto& [program, row] : rows_) {
    rows.push_back(row);
  }
  std::stable_sort(rows.begin(), rows.end(), [](const ProgramFigures& a, const ProgramFigures& b) {
    const bool aRest = a.program == kNotAttributed;
    const bool bRest = b.program == kNotAttributed;
    if (aRest != bRest) {
      return bRest;
    }
    const double aRate = a.receiveRate + a.transmitRate;
    const double bRate = b.receiveRate + b.transmitRate;
    if (aRate != bRate) {
      return aRate > bRate;
    }
    return a.received + a.transmitted > b.received + b.transmitted;
  });
  return rows;
}

}  // namespace velmar::programs
