#include "interfaces/mib_row.h"

namespace velmar {

QString MibRow::AddressText(const Address& a) {
  return QStringLiteral("%1.%2.%3.%4").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]);
}

QString MibRow::StateName(int32_t state) {
  static const char* const kNames[] = {"CLOSED",      "LISTEN",     "SYN_SENT",   "SYN_RECEIVED",
                                       "ESTABLISHED", "FIN_WAIT_1", "FIN_WAIT_2", "CLOSE_WAIT",
                                       "LAST_ACK",    "CLOSING",    "TIME_WAIT",  "TCB_DISCARD"};
  if (state >= 1 && state <= 12) {
    return QString::fromLatin1(kNames[state - 1]);
  }
  return QStringLiteral("UNKNOWN");
}

}  // namespace velmar
