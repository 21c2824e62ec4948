#include "metrics/basic_auth.h"

#include <crypt.h>

#include <QCryptographicHash>
#include <chrono>
#include <cstring>
#include <memory>

namespace velmar {

namespace {

// Equal texts of equal length, in a time that does not tell where they
// differ.
bool SameBytes(const char* a, const char* b, size_t size) {
  unsigned char differ = 0;
  for (size_t i = 0; i < size; ++i) {
    differ |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return differ == 0;
}

std::array<char, 32> Digest(const QByteArray& user, const QByteArray& password) {
  QCryptographicHash sha(QCryptographicHash::Sha256);
  sha.addData(user);
  sha.addData(QByteArrayView("\0", 1));
  sha.addData(password);
  const QByteArray result = sha.result();
  std::array<char, 32> out{};
  std::memcpy(out.data(), result.constData(), out.size());
  return out;
}

// Compared with when the user is unknown, so that an unknown name costs
// as long as a wrong password and does not tell which names exist.
constexpr char kNobody[] = "$2y$10$uk.DDGgQUvr0cMwSW/gu8.SHOhIwek7RzFrjKaTeFb0P0KvmoB85y";

}  // namespace

BasicAuth::BasicAuth(std::map<QByteArray, QByteArray> users)
    : Now([] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
      }),
      users_(std::move(users)) {}

bool BasicAuth::Budget() {
  const int64_t second = Now() / 1000;
  if (second != second_) {
    second_ = second;
    checksThisSecond_ = 0;
  }
  if (checksThisSecond_ >= kChecksPerSecond) {
    ++refused_;
    return false;
  }
  ++checksThisSecond_;
  return true;
}

bool BasicAuth::Bcrypt(const QByteArray& password, const QByteArray& hash) {
  ++bcryptRuns_;
  auto data = std::make_unique<crypt_data>();
  const QByteArray setting = hash + '\0';
  const QByteArray phrase = password + '\0';
  const char* result = crypt_rn(phrase.constData(), setting.constData(), data.get(), sizeof *data);
  return result != nullptr && std::strlen(result) == static_cast<size_t>(hash.size()) &&
         SameBytes(result, hash.constData(), static_cast<size_t>(hash.size()));
}

bool BasicAuth::Admits(const QByteArray& authorization) {
  if (users_.empty()) {
    return true;
  }
  const QByteArray value = authorization.trimmed();
  const qsizetype space = value.indexOf(' ');
  if (space < 0 || value.left(space).compare("Basic", Qt::CaseInsensitive) != 0) {
    return false;
  }
  const auto result = QByteArray::fromBase64Encoding(value.mid(space + 1).trimmed(),
                                                     QByteArray::AbortOnBase64DecodingErrors);
  if (!result) {
    return false;
  }
  const QByteArray& decoded = result.decoded;
  const qsizetype colon = decoded.indexOf(':');
  if (colon < 0) {
    return false;
  }
  const QByteArray user = decoded.left(colon);
  const QByteArray password = decoded.mid(colon + 1);
  // A NUL would end the password crypt sees early.
  if (password.contains('\0')) {
    return false;
  }
  const auto found = users_.find(user);
  const std::array<char, 32> digest = Digest(user, password);
  const auto known = good_.find(user);
  if (known != good_.end() && SameBytes(known->second.data(), digest.data(), digest.size())) {
    return true;
  }
  if (!Budget()) {
    return false;
  }
  if (found == users_.end()) {
    Bcrypt(password, kNobody);
    return false;
  }
  if (!Bcrypt(password, found->second)) {
    return false;
  }
  good_[user] = digest;
  return true;
}

}  // namespace velmar
