#pragma once

#include <QByteArray>
#include <array>
#include <map>

namespace velmar {

// HTTP basic authentication against bcrypt hashes. bcrypt is slow on
// purpose (tens of milliseconds at cost 10, on the event loop's thread),
// so a password once found good is remembered as its SHA-256 per user:
// a scraper sending it every few seconds costs one bcrypt in all.
class BasicAuth {
 public:
  explicit BasicAuth(std::map<QByteArray, QByteArray> users) : users_(std::move(users)) {}

  bool Enabled() const { return !users_.empty(); }
  // Whether the value of an Authorization field names a user and its
  // password. Always true when no users are set.
  bool Admits(const QByteArray& authorization);
  // How many bcrypt computations the checks have cost.
  int BcryptRuns() const { return bcryptRuns_; }

 private:
  bool Bcrypt(const QByteArray& password, const QByteArray& hash);

  std::map<QByteArray, QByteArray> users_;
  std::map<QByteArray, std::array<char, 32>> good_;
  int bcryptRuns_ = 0;
};

}  // namespace velmar
