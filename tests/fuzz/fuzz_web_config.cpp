// The web configuration parser on arbitrary text. It must never crash and
// either refuse the text with one line naming the source, or hand out a
// configuration that holds together: TLS with both files, only bcrypt
// hashes, header values a response can carry, versions in order.
#include <cstdint>
#include <cstdlib>

#include "metrics/web_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  try {
    const velmar::WebConfig config = velmar::ParseWebConfig(text, "web.yml", "/etc/velmar");
    if (config.tls && (config.certFile.isEmpty() || config.keyFile.isEmpty() ||
                       !config.certFile.startsWith('/') || !config.keyFile.startsWith('/'))) {
      abort();
    }
    if (!config.tls &&
        (!config.certFile.isEmpty() || config.clientAuth != velmar::ClientAuth::kNone)) {
      abort();
    }
    if (config.maxVersion != 0 && config.maxVersion < config.minVersion) {
      abort();
    }
    for (const auto& [user, hash] : config.users) {
      if (user.isEmpty() || user.contains(':') || !velmar::IsBcryptHash(hash)) {
        abort();
      }
    }
    for (const auto& [name, value] : config.headers) {
      if (name.isEmpty() || value.contains('\r') || value.contains('\n')) {
        abort();
      }
    }
  } catch (const velmar::WebConfigError& e) {
    const QByteArray message(e.what());
    if (!message.startsWith("web.yml: ") || message.contains('\n')) {
      abort();
    }
  }
  return 0;
}
