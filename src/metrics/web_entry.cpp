// The entry of libvelmarweb.so: a web configuration's TLS, passwords and
// headers, for a program that loads them only once it is given one
// (metrics/security_loader.h).
#include <cstring>

#include "metrics/security_loader.h"
#include "metrics/web_security.h"

extern "C" __attribute__((visibility("default"))) velmar::EndpointSecurity* VelmarWebSecurityNew(
    const char* path, char* error, size_t errorSize) {
  const auto tell = [error, errorSize](const char* message) {
    if (error != nullptr && errorSize > 0) {
      std::strncpy(error, message, errorSize - 1);
      error[errorSize - 1] = '\0';
    }
  };
  if (path == nullptr) {
    tell("No web configuration file was given.");
    return nullptr;
  }
  // No exception crosses the library's edge: its types are its own.
  try {
    return new velmar::WebSecurity(velmar::LoadWebConfig(QString::fromUtf8(path)),
                                   QString::fromUtf8(path));
  } catch (const std::exception& e) {
    tell(e.what());
  }
  return nullptr;
}
