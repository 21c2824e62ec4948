#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <utility>
#include <vector>

#include "platform/exception.h"

namespace velmar {

// A web configuration that cannot be used; the message names the file and
// the fault.
class WebConfigError : public Exception {
 public:
  using Exception::Exception;
};

// Who must show a client certificate, and whether it is checked against
// the client CA file: the five policies of Prometheus's exporters.
enum class ClientAuth {
  kNone,              // NoClientCert
  kRequest,           // RequestClientCert: asked for, neither needed nor checked
  kRequireAny,        // RequireAnyClientCert: needed, not checked
  kVerifyIfGiven,     // VerifyClientCertIfGiven
  kRequireAndVerify,  // RequireAndVerifyClientCert
};

// The web configuration file of Prometheus's exporters (YAML): TLS,
// basic-auth users and extra response headers. Paths are absolute, taken
// relative to the file's own folder as the exporters do.
struct WebConfig {
  bool tls = false;
  QString certFile;
  QString keyFile;
  ClientAuth clientAuth = ClientAuth::kNone;
  QString clientCaFile;
  int minVersion = 0x0303;  // TLS 1.2, the exporters' default
  int maxVersion = 0;       // 0: the newest the library has
  // User name -> bcrypt hash.
  std::map<QByteArray, QByteArray> users;
  // Name and value, in the file's order.
  std::vector<std::pair<QByteArray, QByteArray>> headers;
};

// The file's text alone, its relative paths taken from `folder`; `source`
// names it in the errors. Raises WebConfigError at the first fault:
// malformed YAML, an unknown field, a value out of its set, a hash that
// is not bcrypt.
WebConfig ParseWebConfig(const QByteArray& text, const QString& source, const QString& folder);

// Reads and parses the file, then checks what it names: the files exist
// and can be read, and a private key can be read by no one but its owner.
// Whether the key fits the certificate is checked when TLS is set up.
WebConfig LoadWebConfig(const QString& path);

// Whether the text is a bcrypt hash ($2a$, $2b$ or $2y$, cost 4-31).
bool IsBcryptHash(const QByteArray& hash);

}  // namespace velmar
