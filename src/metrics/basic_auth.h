#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <functional>
#include <map>

namespace velmar {

// HTTP basic authentication against bcrypt hashes. bcrypt is slow on
// purpose (tens of milliseconds at cost 10, on the event loop's thread),
// so a password once found good is remembered as its SHA-256 per user:
// a scraper sending it every few seconds costs one bcrypt in all. Other
// passwords are checked at most kChecksPerSecond times a second; beyond
// that they are refused unchecked, so a client guessing passwords cannot
// hold up the ticks for more than a fraction of each second.
class BasicAuth {
 public:
  static constexpr int kChecksPerSecond = 8;

  explicit BasicAuth(std::map<QByteArray, QByteArray> users);

  bool Enabled() const { return !users_.empty(); }
  // Whether the value of an Authorization field names a user and its
  // password. Always true when no users are set.
  bool Admits(const QByteArray& authorization);
  // How many bcrypt computations the checks have cost.
  int BcryptRuns() const { return bcryptRuns_; }
  // Passwords refused unchecked, the budget of their second spent.
  int Refused() const { return refused_; }

  // Monotonic milliseconds (replaceable in tests).
  std::function<int64_t()> Now;

 private:
  bool Bcrypt(const QByteArray& password, const QByteArray& hash);
  // Takes one check from this second's budget; false when none is left.
  bool Budget();

  std::map<QByteArray, QByteArray> users_;
  std::map<QByteArray, std::array<char, 32>> good_;
  int bcryptRuns_ = 0;
  int refused_ = 0;
  int64_t second_ = -1;
  int checksThisSecond_ = 0;
};

}  // namespace velmar
