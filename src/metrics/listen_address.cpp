#include "metrics/listen_address.h"

#include <arpa/inet.h>

#include <algorithm>

#include "metrics/metrics_server.h"

namespace velmar {

ListenAddress ListenAddress::Parse(const QString& text) {
  const auto fail = [&text]() -> ListenAddress {
    throw MetricsError(
        QStringLiteral("\"%1\" is no metrics address: give [ADDRESS:]PORT, e.g. 9473, "
                       "127.0.0.1:9473 or [::1]:9473")
            .arg(text));
  };
  ListenAddress result;
  QString portText = text.trimmed();
  const qsizetype colon = portText.lastIndexOf(QLatin1Char(':'));
  if (colon >= 0) {
    QString host = portText.left(colon);
    portText = portText.mid(colon + 1);
    const bool bracketed = host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'));
    if (bracketed) {
      host = host.mid(1, host.size() - 2);
    }
    if (host == QLatin1String("localhost")) {
      host = QStringLiteral("127.0.0.1");
    }
    // Numeric addresses only, and IPv4 as four dotted numbers (inet_pton
    // takes no short forms such as "10.1"); an IPv6 address in brackets.
    // Nothing but an address's characters: inet_pton stops at a NUL, so
    // "127.0.0.1\0junk" would pass it and be shown as the address.
    const bool addressCharacters = std::all_of(host.begin(), host.end(), [](QChar c) {
      return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
             (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
             (c >= QLatin1Char('A') && c <= QLatin1Char('F')) || c == QLatin1Char('.') ||
             c == QLatin1Char(':');
    });
    unsigned char bytes[16];
    const QByteArray latin = host.toLatin1();
    result.ipv6 = bracketed;
    if (host.isEmpty() || !addressCharacters ||
        inet_pton(bracketed ? AF_INET6 : AF_INET, latin.constData(), bytes) != 1) {
      return fail();
    }
    result.address = host;
  }
  const bool digits = !portText.isEmpty() && portText.size() <= 5 &&
                      std::all_of(portText.begin(), portText.end(), [](QChar c) {
                        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
                      });
  const uint port = digits ? portText.toUInt() : 65536;
  if (port > 65535) {
    return fail();
  }
  result.port = static_cast<quint16>(port);
  return result;
}

QString ListenAddress::Text() const {
  return (ipv6 ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(address).arg(port);
}

}  // namespace velmar
