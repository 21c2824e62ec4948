#include "metrics/security_loader.h"

#include "metrics/web_config.h"
#include "platform/app_paths.h"
#include "platform/dynamic_library.h"

namespace velmar {

QString WebLibraryPath() {
  const QString over = qEnvironmentVariable("VELMAR_WEB_LIBRARY");
  return over.isEmpty() ? AgentLibraryPath(QStringLiteral("libvelmarweb.so")) : over;
}

std::shared_ptr<EndpointSecurity> LoadEndpointSecurity(const QString& webConfig) {
  // Never unloaded: OpenSSL keeps process-wide state, and a session the
  // endpoint still holds runs its code.
  static DynamicLibrary* library = new DynamicLibrary;
  static WebSecurityNew create = nullptr;
  if (create == nullptr) {
    const QString path = WebLibraryPath();
    if (!library->Load(path.toStdString())) {
      throw MetricsError(QStringLiteral("The web security library %1 cannot be loaded: %2")
                             .arg(path, QString::fromStdString(library->LastError())));
    }
    create = reinterpret_cast<WebSecurityNew>(library->Symbol(VELMAR_WEB_SECURITY_NEW_NAME));
    if (create == nullptr) {
      library->Unload();
      throw MetricsError(QStringLiteral("%1 has no %2 entry.")
                             .arg(path, QStringLiteral(VELMAR_WEB_SECURITY_NEW_NAME)));
    }
  }
  char error[1024] = {};
  EndpointSecurity* security = create(webConfig.toUtf8().constData(), error, sizeof error);
  if (security == nullptr) {
    throw WebConfigError(QString::fromUtf8(error));
  }
  return std::shared_ptr<EndpointSecurity>(security);
}

}  // namespace velmar
