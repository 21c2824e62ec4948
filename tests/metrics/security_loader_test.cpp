#include "metrics/security_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "metrics/web_config.h"

namespace velmar {
namespace {

using ::testing::HasSubstr;

constexpr char kBcryptHash[] = "$2y$04$s3wnIBWigW.3.l.vBBnKkegnWiO/w3b0KfYqUw.SxyS1GPL2/tuki";

QString Write(const QTemporaryDir& dir, const char* name, const QByteArray& text) {
  QFile file(dir.filePath(QString::fromLatin1(name)));
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text);
  return file.fileName();
}

std::string LoadError(const QString& webConfig) {
  try {
    LoadEndpointSecurity(webConfig);
  } catch (const Exception& e) {
    return e.what();
  }
  return "loaded";
}

// One process, one library for its life: the failures to load come first.
TEST(SecurityLoaderTest, LoadsTheWebSecurityOnceAndCarriesItsFaultsOut) {
  QTemporaryDir dir;
  const QString password = Write(
      dir, "password.yml", QByteArray("basic_auth_users:\n  prometheus: ") + kBcryptHash + "\n");
  const QString missingCertificate =
      Write(dir, "tls.yml", "tls_server_config:\n  cert_file: none.crt\n  key_file: none.key\n");

  qputenv("VELMAR_WEB_LIBRARY", "/nonexistent/libvelmarweb.so");
  EXPECT_THAT(LoadError(password), HasSubstr("/nonexistent/libvelmarweb.so cannot be"));
  qputenv("VELMAR_WEB_LIBRARY", VELMAR_BIN_DIR "/libmib2.so");
  EXPECT_THAT(LoadError(password), HasSubstr("has no VelmarWebSecurityNew entry"));

  qputenv("VELMAR_WEB_LIBRARY", VELMAR_BIN_DIR "/libvelmarweb.so");
  // A fault inside the library comes out as the configuration's own error.
  try {
    LoadEndpointSecurity(missingCertificate);
    ADD_FAILURE() << "a certificate that is not there was taken";
  } catch (const WebConfigError& e) {
    EXPECT_THAT(e.what(), HasSubstr("none.crt"));
  }
  const std::shared_ptr<EndpointSecurity> security = LoadEndpointSecurity(password);
  ASSERT_NE(security, nullptr);
  EXPECT_FALSE(security->Tls());
  EXPECT_TRUE(security->NeedsPassword());
  EXPECT_TRUE(security->Admits("Basic " + QByteArray("prometheus:good-password").toBase64()));
  EXPECT_FALSE(security->Admits("Basic " + QByteArray("prometheus:bad-password").toBase64()));

  qputenv("VELMAR_WEB_LIBRARY", "/nonexistent/libvelmarweb.so");
  EXPECT_NE(LoadEndpointSecurity(password), nullptr) << "loaded once, for good";
  qunsetenv("VELMAR_WEB_LIBRARY");
}

}  // namespace
}  // namespace velmar
