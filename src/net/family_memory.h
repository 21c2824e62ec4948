#pragma once

#include <QHash>
#include <QString>
#include <chrono>
#include <functional>
#include <mutex>

namespace velmar {

// Which address family won the connection race for a host name, for a
// while. The next connection to that name tries the winner's family first
// (RFC 8305, section 4, lets a client learn from earlier connections), so
// each of Generate's downloads does not wait the attempt delay out on a
// dead IPv6 address again.
class FamilyMemory {
 public:
  // RFC 6555 asks that such a memory be kept no longer than ten minutes:
  // a network that mended its IPv6 gets it used again.
  static constexpr std::chrono::minutes kLifetime{10};
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit FamilyMemory(Clock clock = &std::chrono::steady_clock::now) : clock_(std::move(clock)) {}

  // The one the process's connections share.
  static FamilyMemory& Shared();

  // The family to try first for `name`: the last winner's while it is
  // remembered, else IPv6 (AF_INET6).
  int FirstFamily(const QString& name) const;
  void Remember(const QString& name, int family);

 private:
  struct Winner {
    int family;
    std::chrono::steady_clock::time_point at;
  };
  Clock clock_;
  mutable std::mutex mutex_;
  QHash<QString, Winner> winners_;
};

}  // namespace velmar
