#pragma once

#include <QString>
#include <cstddef>
#include <memory>

#include "metrics/metrics_server.h"

namespace velmar {

// The one entry of libvelmarweb.so: the security a web configuration file
// (UTF-8 path) asks for, owned by the caller; null when the file cannot be
// used, with the reason in `error` (NUL-terminated, cut to `errorSize`).
#define VELMAR_WEB_SECURITY_NEW_NAME "VelmarWebSecurityNew"
using WebSecurityNew = EndpointSecurity* (*)(const char* path, char* error, size_t errorSize);

// The window's endpoint security from a web configuration. TLS, the
// password hashes and the YAML parser need OpenSSL, libcrypt and yaml-cpp,
// so they live in libvelmarweb.so ($VELMAR_WEB_LIBRARY, else beside the
// agent libraries), loaded the first time a web configuration is set: a
// window without one maps none of them. Loaded for the process's life.
// Raises MetricsError when the library cannot be loaded and
// WebConfigError when the configuration cannot be used.
std::shared_ptr<EndpointSecurity> LoadEndpointSecurity(const QString& webConfig);
QString WebLibraryPath();

}  // namespace velmar
