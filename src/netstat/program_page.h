#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "netstat/net_stat_tables.h"
#include "programs/program_feed.h"

namespace velmar {

// The TCP page's order while byte counts are shown.
enum class TcpSort { kListed, kReceived, kSent, kReceiveRate, kTransmitRate };

// The byte counts of this computer's TCP connections, found by the two
// endpoints the agent's connection table names.
class ConnectionBytes {
 public:
  struct Figures {
    uint64_t received = 0;
    uint64_t sent = 0;
    double receiveRate = 0;  // bytes per second
    double transmitRate = 0;
  };

  void Set(const std::vector<programs::ConnectionFigures>& connections);
  // Null for a row no socket of the latest reading matches (a listener).
  const Figures* Find(const SocketRow& row) const;
  // `rows` in the order `sort` asks for, the busiest first; rows without
  // figures last, in their order.
  void Sort(std::vector<SocketRow>& rows, TcpSort sort) const;

 private:
  using Key = std::tuple<QByteArray, uint32_t, QByteArray, uint32_t>;
  std::map<Key, Figures> byEndpoints_;
};

// The NetStat window's PROGRAMS page: one row per program with its rates
// and what it carried since the window opened, "other users" and "not
// attributed" among them, and below the rows what "not attributed" holds
// and where the figures come from.
class ProgramPageText {
 public:
  static QString Heading();
  static QString Page(const std::vector<programs::ProgramFigures>& rows, bool precise,
                      const QString& notAttributed, int kilobitMode);
  // "1.5 MB": bytes in the largest unit that keeps a number of 1 or more.
  static QString Volume(uint64_t bytes);
};

}  // namespace velmar
