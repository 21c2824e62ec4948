#pragma once

#include <QDateTime>
#include <QString>
#include <vector>

#include "programs/program_traffic.h"

namespace velmar::programs {

// The row that sums the programs beyond the top N in a listing.
inline constexpr const char* kOtherPrograms = "other";

// The top `top` programs of `rows` (busiest first, as ProgramTraffic gives
// them), one row "other" for the rest, and "not attributed" last: the rows
// still add up to what the interfaces counted.
std::vector<ProgramFigures> TopPrograms(const std::vector<ProgramFigures>& rows, size_t top);

// What `velmar --headless --programs` prints after a reading: one line per
// row, `HH:MM:SS program="NAME" down=<kbit/s> up=<kbit/s> total=<KBytes>`,
// or one JSON object holding them all.
QString FormatProgramsText(const QString& timeOfDay, const std::vector<ProgramFigures>& rows,
                           int kilobitMode);
QString FormatProgramsJson(const QDateTime& time, const std::vector<ProgramFigures>& rows,
                           bool precise, const QString& notAttributed);

}  // namespace velmar::programs
