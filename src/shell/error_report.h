#pragma once

#include <QString>
#include <cstdint>

namespace velmar {

// The error report: what failed, in which program section, and whom to ask.
QString ErrorReportText(const QString& message, uint8_t section);
// What the status bar shows of an error.
QString ErrorStatusText(const QString& message);

}  // namespace velmar
