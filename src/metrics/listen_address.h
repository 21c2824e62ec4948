#pragma once

#include <QString>

namespace velmar {

// Where the metrics endpoint listens, from "[ADDR:]PORT": "9473",
// "127.0.0.1:9473", "0.0.0.0:9473", "[::1]:9473", "localhost:9473". The
// address is the loopback one unless given: reaching the meter from other
// hosts takes an explicit address. Port 0 asks for any free port.
struct ListenAddress {
  QString address = QStringLiteral("127.0.0.1");  // a numeric IPv4 or IPv6 address
  bool ipv6 = false;
  quint16 port = 0;

  // Raises MetricsError for anything else.
  static ListenAddress Parse(const QString& text);
  // "127.0.0.1:9473", "[::1]:9473".
  QString Text() const;
};

}  // namespace velmar
