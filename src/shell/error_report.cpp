#include "shell/error_report.h"

#include "config/product.h"

namespace velmar {

QString ErrorReportText(const QString& message, uint8_t section) {
  return QStringLiteral(
             "Error: %1\r\nin program section %2\r\n"
             "Please report this to the Velmar help desk: %3")
      .arg(message)
      .arg(section)
      .arg(kHelpDeskAddress);
}

QString ErrorStatusText(const QString& message) {
  return QStringLiteral("Error :") + message;
}

}  // namespace velmar
