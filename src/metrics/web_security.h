#pragma once

#include <sys/stat.h>

#include <QString>
#include <memory>

#include "metrics/basic_auth.h"
#include "metrics/metrics_server.h"
#include "metrics/web_config.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace velmar {

// The endpoint's security from a web configuration, with OpenSSL: the
// server context is built from the certificate and key on disk, and built
// again at the next connection after either changes, so a renewed
// certificate needs no restart. A pair that does not load (a key written
// before its certificate, or a key others may read) leaves the previous
// context in use until it does.
class WebSecurity : public EndpointSecurity {
 public:
  // Raises WebConfigError, naming `source`, when the certificate, key or
  // client CA cannot be used or the key does not fit the certificate.
  WebSecurity(WebConfig config, QString source);
  ~WebSecurity() override;

  bool Tls() const override { return config_.tls; }
  std::unique_ptr<TlsSession> Open(int socket) override;
  bool NeedsPassword() const override { return auth_.Enabled(); }
  bool Admits(const QByteArray& authorization) override { return auth_.Admits(authorization); }
  QByteArray ResponseHeaders() const override { return headers_; }

  const BasicAuth& Auth() const { return auth_; }

 private:
  struct Stamp {
    ino_t inode = 0;
    int64_t size = -1;
    int64_t modifiedNs = 0;
    mode_t mode = 0;  // a chmod is a change too: the key's privacy is checked again
    bool operator==(const Stamp&) const = default;
  };
  static Stamp StampOf(const QString& path);
  // A context from the files as they are now; raises WebConfigError.
  SSL_CTX* Build() const;

  WebConfig config_;
  QString source_;
  BasicAuth auth_;
  QByteArray headers_;
  SSL_CTX* context_ = nullptr;
  Stamp cert_;
  Stamp key_;
};

// The security a web configuration file asks for; raises WebConfigError.
std::shared_ptr<WebSecurity> LoadWebSecurity(const QString& path);

}  // namespace velmar
