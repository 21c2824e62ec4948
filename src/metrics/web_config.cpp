#include "metrics/web_config.h"

#include <sys/stat.h>
#include <yaml-cpp/yaml.h>

#include <QFile>
#include <QFileInfo>
#include <initializer_list>
#include <set>
#include <string>

namespace velmar {

namespace {

// A name or value of the file inside a one-line message: short, and with
// no character that would break the line.
QString Shown(const QString& text, qsizetype length = 80) {
  QString shown = text.left(length);
  for (QChar& c : shown) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::LineSeparator ||
        c == QChar::ParagraphSeparator) {
      c = QLatin1Char('?');
    }
  }
  return shown;
}

QString Shown(const std::string& text) {
  return Shown(QString::fromStdString(text));
}

QString Shown(const QByteArray& text) {
  return Shown(QString::fromUtf8(text));
}

class Reader {
 public:
  explicit Reader(QString source) : source_(std::move(source)) {}

  [[noreturn]] void Fail(const QString& fault) const {
    throw WebConfigError(QStringLiteral("%1: %2").arg(source_, fault));
  }

  // A mapping whose keys are all among `known`; null is an empty one.
  void CheckMap(const YAML::Node& node, const QString& where,
                std::initializer_list<const char*> known) const {
    if (node.IsNull()) {
      return;
    }
    if (!node.IsMap()) {
      Fail(QStringLiteral("%1 must be a mapping").arg(where));
    }
    for (const auto& item : node) {
      const std::string key = Scalar(item.first, where + " key");
      bool found = false;
      for (const char* k : known) {
        found = found || key == k;
      }
      if (!found) {
        Fail(QStringLiteral("unknown field \"%1\" in %2").arg(Shown(key), where));
      }
    }
  }

  std::string Scalar(const YAML::Node& node, const QString& what) const {
    if (!node.IsScalar()) {
      Fail(QStringLiteral("%1 must be a single value").arg(what));
    }
    return node.Scalar();
  }

  QString Path(const YAML::Node& node, const QString& what, const QString& folder) const {
    const QString text = QString::fromStdString(Scalar(node, what));
    if (text.isEmpty()) {
      return {};
    }
    // Not QDir::isAbsolutePath: it takes ":name" for one of Qt's resources.
    return text.startsWith(QLatin1Char('/')) ? text : folder + QLatin1Char('/') + text;
  }

  int Version(const YAML::Node& node, const QString& what) const {
    const std::string v = Scalar(node, what);
    static const std::pair<const char*, int> kVersions[] = {
        {"TLS10", 0x0301}, {"TLS11", 0x0302}, {"TLS12", 0x0303}, {"TLS13", 0x0304}};
    for (const auto& [name, number] : kVersions) {
      if (v == name) {
        return number;
      }
    }
    Fail(QStringLiteral("%1 \"%2\" is not one of TLS10, TLS11, TLS12, TLS13").arg(what, Shown(v)));
  }

 private:
  QString source_;
};

// The value of a key, or null when the node is no mapping or lacks it.
YAML::Node Child(const YAML::Node& node, const char* key) {
  if (!node.IsMap()) {
    return YAML::Node();
  }
  const YAML::Node found = node[key];
  return found ? found : YAML::Node();
}

ClientAuth ClientAuthOf(const Reader& r, const std::string& name) {
  static const std::pair<const char*, ClientAuth> kPolicies[] = {
      {"", ClientAuth::kNone},
      {"NoClientCert", ClientAuth::kNone},
      {"RequestClientCert", ClientAuth::kRequest},
      {"RequireAnyClientCert", ClientAuth::kRequireAny},
      {"RequireClientCert", ClientAuth::kRequireAny},  // the older name
      {"VerifyClientCertIfGiven", ClientAuth::kVerifyIfGiven},
      {"RequireAndVerifyClientCert", ClientAuth::kRequireAndVerify}};
  for (const auto& [text, policy] : kPolicies) {
    if (name == text) {
      return policy;
    }
  }
  r.Fail(QStringLiteral("client_auth_type \"%1\" is not one of NoClientCert, RequestClientCert, "
                        "RequireAnyClientCert, VerifyClientCertIfGiven, "
                        "RequireAndVerifyClientCert")
             .arg(Shown(name)));
}

void ReadTls(const Reader& r, const YAML::Node& node, const QString& folder, WebConfig& config) {
  const QString where = QStringLiteral("tls_server_config");
  r.CheckMap(node, where,
             {"cert_file", "key_file", "client_auth_type", "client_ca_file", "min_version",
              "max_version"});
  if (node.IsNull() || node.size() == 0) {
    return;
  }
  config.tls = true;
  if (node["cert_file"]) {
    config.certFile = r.Path(node["cert_file"], "cert_file", folder);
  }
  if (node["key_file"]) {
    config.keyFile = r.Path(node["key_file"], "key_file", folder);
  }
  if (config.certFile.isEmpty()) {
    r.Fail(QStringLiteral("tls_server_config needs cert_file"));
  }
  if (config.keyFile.isEmpty()) {
    r.Fail(QStringLiteral("tls_server_config needs key_file"));
  }
  if (node["client_auth_type"]) {
    config.clientAuth = ClientAuthOf(r, r.Scalar(node["client_auth_type"], "client_auth_type"));
  }
  if (node["client_ca_file"]) {
    config.clientCaFile = r.Path(node["client_ca_file"], "client_ca_file", folder);
  }
  const bool verifies = config.clientAuth == ClientAuth::kVerifyIfGiven ||
                        config.clientAuth == ClientAuth::kRequireAndVerify;
  if (verifies && config.clientCaFile.isEmpty()) {
    r.Fail(
        QStringLiteral("client_auth_type verifies client certificates but no client_ca_file "
                       "is given"));
  }
  if (!config.clientCaFile.isEmpty() && config.clientAuth == ClientAuth::kNone) {
    r.Fail(
        QStringLiteral("client_ca_file is given but client_auth_type asks for no client "
                       "certificate"));
  }
  if (node["min_version"]) {
    config.minVersion = r.Version(node["min_version"], "min_version");
  }
  if (node["max_version"]) {
    config.maxVersion = r.Version(node["max_version"], "max_version");
    if (config.maxVersion < config.minVersion) {
      r.Fail(QStringLiteral("max_version is older than min_version"));
    }
  }
}

// The headers the exporters let a configuration set, with the values some
// of them are limited to.
void ReadHeaders(const Reader& r, const YAML::Node& node, WebConfig& config) {
  static const char* const kAllowed[] = {"Strict-Transport-Security", "X-Content-Type-Options",
                                         "X-Frame-Options", "X-XSS-Protection",
                                         "Content-Security-Policy"};
  if (node.IsNull()) {
    return;
  }
  if (!node.IsMap()) {
    r.Fail(QStringLiteral("http_server_config.headers must be a mapping"));
  }
  for (const auto& item : node) {
    const QByteArray name = QByteArray::fromStdString(r.Scalar(item.first, "a header's name"));
    const QByteArray value = QByteArray::fromStdString(r.Scalar(item.second, "a header's value"));
    const char* known = nullptr;
    for (const char* allowed : kAllowed) {
      if (name.compare(allowed, Qt::CaseInsensitive) == 0) {
        known = allowed;
      }
    }
    if (known == nullptr) {
      r.Fail(QStringLiteral("header \"%1\" cannot be set (only Strict-Transport-Security, "
                            "X-Content-Type-Options, X-Frame-Options, X-XSS-Protection, "
                            "Content-Security-Policy)")
                 .arg(Shown(name)));
    }
    for (const char c : value) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
        r.Fail(QStringLiteral("header %1 has a control character in its value")
                   .arg(QLatin1String(known)));
      }
    }
    const QByteArray lower = value.toLower();
    if (qstrcmp(known, "X-Content-Type-Options") == 0 && lower != "nosniff") {
      r.Fail(QStringLiteral("X-Content-Type-Options can only be nosniff"));
    }
    if (qstrcmp(known, "X-Frame-Options") == 0 && lower != "deny" && lower != "sameorigin") {
      r.Fail(QStringLiteral("X-Frame-Options can only be deny or sameorigin"));
    }
    config.headers.emplace_back(known, value);
  }
}

void ReadUsers(const Reader& r, const YAML::Node& node, WebConfig& config) {
  if (node.IsNull()) {
    return;
  }
  if (!node.IsMap()) {
    r.Fail(QStringLiteral("basic_auth_users must be a mapping of user names to bcrypt hashes"));
  }
  for (const auto& item : node) {
    const QByteArray user = QByteArray::fromStdString(r.Scalar(item.first, "a user name"));
    const QByteArray hash = QByteArray::fromStdString(r.Scalar(item.second, "a password hash"));
    if (user.isEmpty() || user.contains(':')) {
      r.Fail(QStringLiteral("user name \"%1\" is empty or holds a colon").arg(Shown(user)));
    }
    if (!IsBcryptHash(hash)) {
      r.Fail(QStringLiteral("the password hash of user \"%1\" is not a bcrypt hash ($2y$, $2b$ "
                            "or $2a$; htpasswd -nBC 10 USER makes one)")
                 .arg(Shown(user)));
    }
    config.users[user] = hash;
  }
}

// A file the configuration names: readable, and a private key kept from
// everyone but its owner.
void CheckFile(const Reader& r, const QString& path, const QString& what, bool secret) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
    r.Fail(QStringLiteral("%1 %2: %3")
               .arg(what, Shown(path, 4096), QString::fromLocal8Bit(strerror(errno))));
  }
  QFile file(path);
  if (!S_ISREG(info.st_mode) || !file.open(QIODevice::ReadOnly)) {
    r.Fail(QStringLiteral("%1 %2 cannot be read").arg(what, Shown(path, 4096)));
  }
  if (secret && (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    r.Fail(QStringLiteral("%1 %2 holds a private key that others may read (mode %3): chmod 600 it")
               .arg(what, Shown(path, 4096))
               .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0')));
  }
}

}  // namespace

bool IsBcryptHash(const QByteArray& hash) {
  if (hash.size() != 60 || hash[0] != '$' || hash[1] != '2' || hash[3] != '$' || hash[6] != '$') {
    return false;
  }
  if (hash[2] != 'a' && hash[2] != 'b' && hash[2] != 'y') {
    return false;
  }
  if (hash[4] < '0' || hash[4] > '9' || hash[5] < '0' || hash[5] > '9') {
    return false;
  }
  const int cost = (hash[4] - '0') * 10 + (hash[5] - '0');
  if (cost < 4 || cost > 31) {
    return false;
  }
  for (qsizetype i = 7; i < hash.size(); ++i) {
    const char c = hash[i];
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '/';
    if (!ok) {
      return false;
    }
  }
  return true;
}

WebConfig ParseWebConfig(const QByteArray& text, const QString& source, const QString& folder) {
  const Reader r(source);
  YAML::Node root;
  try {
    root = YAML::Load(text.toStdString());
  } catch (const YAML::Exception& e) {
    r.Fail(QStringLiteral("not valid YAML: %1").arg(Shown(std::string(e.what()))));
  }
  WebConfig config;
  try {
    r.CheckMap(root, QStringLiteral("the file"),
               {"tls_server_config", "http_server_config", "basic_auth_users"});
    ReadTls(r, Child(root, "tls_server_config"), folder, config);
    const YAML::Node http = Child(root, "http_server_config");
    r.CheckMap(http, QStringLiteral("http_server_config"), {"headers"});
    ReadHeaders(r, Child(http, "headers"), config);
    ReadUsers(r, Child(root, "basic_auth_users"), config);
  } catch (const YAML::Exception& e) {
    r.Fail(QStringLiteral("not valid YAML: %1").arg(Shown(std::string(e.what()))));
  }
  return config;
}

WebConfig LoadWebConfig(const QString& path) {
  const Reader r(path);
  // A path starting with a colon is a file, not one of Qt's resources.
  QFile file(path.startsWith(QLatin1Char(':')) ? QStringLiteral("./") + path : path);
  if (!file.open(QIODevice::ReadOnly)) {
    r.Fail(QStringLiteral("cannot be read: %1").arg(file.errorString()));
  }
  // A web configuration is a page or two; anything far larger is not one.
  const QByteArray text = file.read(1 << 20);
  if (file.error() != QFileDevice::NoError) {
    r.Fail(QStringLiteral("cannot be read: %1").arg(file.errorString()));
  }
  WebConfig config = ParseWebConfig(text, path, QFileInfo(path).absolutePath());
  if (config.tls) {
    CheckFile(r, config.certFile, QStringLiteral("cert_file"), false);
    CheckFile(r, config.keyFile, QStringLiteral("key_file"), true);
    if (!config.clientCaFile.isEmpty()) {
      CheckFile(r, config.clientCaFile, QStringLiteral("client_ca_file"), false);
    }
  }
  return config;
}

}  // namespace velmar
