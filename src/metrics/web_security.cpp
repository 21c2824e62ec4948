#include "metrics/web_security.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>

#include <QFile>
#include <cerrno>
#include <cstdint>

namespace velmar {

namespace {

QString SslError() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) {
    return QStringLiteral("unknown TLS error");
  }
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return QString::fromLatin1(text);
}

// RequestClientCert and RequireAnyClientCert take any certificate, as the
// exporters do: the chain is not checked.
int AcceptAnyCertificate(int, X509_STORE_CTX*) {
  return 1;
}

// The connection's socket as OpenSSL's transport. OpenSSL's own socket
// transport writes with write(), and a client gone away would end the
// meter with SIGPIPE: this one sends with MSG_NOSIGNAL, as the plain
// endpoint does.
int SocketOf(BIO* bio) {
  return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
}

int SocketWrite(BIO* bio, const char* data, int size) {
  BIO_clear_retry_flags(bio);
  const ssize_t n = send(SocketOf(bio), data, static_cast<size_t>(size), MSG_NOSIGNAL);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
    BIO_set_retry_write(bio);
  }
  return static_cast<int>(n);
}

int SocketRead(BIO* bio, char* data, int size) {
  BIO_clear_retry_flags(bio);
  const ssize_t n = recv(SocketOf(bio), data, static_cast<size_t>(size), 0);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
    BIO_set_retry_read(bio);
  }
  return static_cast<int>(n);
}

long SocketControl(BIO*, int command, long, void*) {
  return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int SocketCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

BIO_METHOD* SocketMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "velmar socket");
    BIO_meth_set_write(m, SocketWrite);
    BIO_meth_set_read(m, SocketRead);
    BIO_meth_set_ctrl(m, SocketControl);
    BIO_meth_set_create(m, SocketCreate);
    return m;
  }();
  return method;
}

class OpenSslSession : public TlsSession {
 public:
  OpenSslSession(SSL* ssl) : ssl_(ssl) {}
  ~OpenSslSession() override { SSL_free(ssl_); }

  Io Handshake() override { return Outcome(SSL_accept(ssl_)); }
  Io Read(char* data, size_t size, size_t& moved) override {
    return Outcome(SSL_read_ex(ssl_, data, size, &moved));
  }
  Io Write(const char* data, size_t size, size_t& moved) override {
    return Outcome(SSL_write_ex(ssl_, data, size, &moved));
  }
  void Shutdown() override {
    if (SSL_is_init_finished(ssl_)) {
      SSL_shutdown(ssl_);
    }
    ERR_clear_error();
  }

 private:
  Io Outcome(int result) {
    if (result > 0) {
      return Io::kDone;
    }
    const int error = SSL_get_error(ssl_, result);
    // The error queue is per thread: what one client caused must not show
    // up in the next one's outcome.
    ERR_clear_error();
    switch (error) {
      case SSL_ERROR_WANT_READ:
        return Io::kWantRead;
      case SSL_ERROR_WANT_WRITE:
        return Io::kWantWrite;
      case SSL_ERROR_ZERO_RETURN:
        return Io::kClosed;
      default:
        return Io::kFailed;
    }
  }

  SSL* ssl_;
};

}  // namespace

WebSecurity::WebSecurity(WebConfig config, QString source)
    : config_(std::move(config)), source_(std::move(source)), auth_(config_.users) {
  for (const auto& [name, value] : config_.headers) {
    headers_ += name + ": " + value + "\r\n";
  }
  if (config_.tls) {
    cert_ = StampOf(config_.certFile);
    key_ = StampOf(config_.keyFile);
    context_ = Build();
  }
}

WebSecurity::~WebSecurity() {
  SSL_CTX_free(context_);
}

WebSecurity::Stamp WebSecurity::StampOf(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
    return {};
  }
  return {info.st_ino, static_cast<int64_t>(info.st_size),
          static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
          info.st_mode};
}

SSL_CTX* WebSecurity::Build() const {
  const auto fail = [this](const QString& fault) {
    throw WebConfigError(QStringLiteral("%1: %2").arg(source_, fault));
  };
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  if (context == nullptr) {
    fail(SslError());
  }
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> owned(context, SSL_CTX_free);
  const QByteArray cert = QFile::encodeName(config_.certFile);
  const QByteArray key = QFile::encodeName(config_.keyFile);
  // Checked at start by the configuration, and again for each renewal: a
  // renewed key written with a loose umask is not taken into use.
  struct stat keyInfo {};
  if (::stat(key.constData(), &keyInfo) == 0 && (keyInfo.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    fail(QStringLiteral("key_file %1 holds a private key that others may read (mode %2): chmod "
                        "600 it")
             .arg(config_.keyFile)
             .arg(keyInfo.st_mode & 07777, 4, 8, QLatin1Char('0')));
  }
  if (SSL_CTX_use_certificate_chain_file(context, cert.constData()) != 1) {
    fail(QStringLiteral("cert_file %1 holds no usable certificate: %2")
             .arg(config_.certFile, SslError()));
  }
  if (SSL_CTX_use_PrivateKey_file(context, key.constData(), SSL_FILETYPE_PEM) != 1) {
    // Loading the key already compares it with the certificate.
    if (ERR_GET_REASON(ERR_peek_last_error()) == X509_R_KEY_VALUES_MISMATCH) {
      ERR_clear_error();
      fail(QStringLiteral("key_file %1 is not the key of cert_file %2")
               .arg(config_.keyFile, config_.certFile));
    }
    fail(QStringLiteral("key_file %1 holds no usable private key: %2")
             .arg(config_.keyFile, SslError()));
  }
  if (SSL_CTX_check_private_key(context) != 1) {
    ERR_clear_error();
    fail(QStringLiteral("key_file %1 is not the key of cert_file %2")
             .arg(config_.keyFile, config_.certFile));
  }
  SSL_CTX_set_min_proto_version(context, config_.minVersion);
  if (config_.maxVersion != 0) {
    SSL_CTX_set_max_proto_version(context, config_.maxVersion);
  }
  // Renegotiation would let a client make the server work without end.
  SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION);
  // A response goes out in pieces as the client takes them.
  SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (!config_.clientCaFile.isEmpty()) {
    const QByteArray ca = QFile::encodeName(config_.clientCaFile);
    STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(ca.constData());
    if (names == nullptr || SSL_CTX_load_verify_locations(context, ca.constData(), nullptr) != 1) {
      if (names != nullptr) {
        sk_X509_NAME_pop_free(names, X509_NAME_free);
      }
      fail(QStringLiteral("client_ca_file %1 holds no usable certificate: %2")
               .arg(config_.clientCaFile, SslError()));
    }
    SSL_CTX_set_client_CA_list(context, names);
  }
  switch (config_.clientAuth) {
    case ClientAuth::kNone:
      SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
      break;
    case ClientAuth::kRequest:
      SSL_CTX_set_verify(context, SSL_VERIFY_PEER, AcceptAnyCertificate);
      break;
    case ClientAuth::kRequireAny:
      SSL_CTX_set_verify(context, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT,
                         AcceptAnyCertificate);
      break;
    case ClientAuth::kVerifyIfGiven:
      SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
      break;
    case ClientAuth::kRequireAndVerify:
      SSL_CTX_set_verify(context, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
      break;
  }
  return owned.release();
}

std::unique_ptr<TlsSession> WebSecurity::Open(int socket) {
  const Stamp cert = StampOf(config_.certFile);
  const Stamp key = StampOf(config_.keyFile);
  // Each change is tried once: a pair that does not load costs no more
  // work per connection until the files change again.
  if (!(cert == cert_) || !(key == key_)) {
    cert_ = cert;
    key_ = key;
    try {
      SSL_CTX* renewed = Build();
      SSL_CTX_free(context_);
      context_ = renewed;
    } catch (const WebConfigError&) {
      // Half written, most likely: the older pair serves until it is whole.
    }
  }
  SSL* ssl = SSL_new(context_);
  BIO* transport = ssl != nullptr ? BIO_new(SocketMethod()) : nullptr;
  if (transport == nullptr) {
    SSL_free(ssl);
    ERR_clear_error();
    return nullptr;
  }
  BIO_set_data(transport, reinterpret_cast<void*>(static_cast<intptr_t>(socket)));
  SSL_set_bio(ssl, transport, transport);
  return std::make_unique<OpenSslSession>(ssl);
}

std::shared_ptr<WebSecurity> LoadWebSecurity(const QString& path) {
  return std::make_shared<WebSecurity>(LoadWebConfig(path), path);
}

}  // namespace velmar
