#pragma once

#include <QByteArray>
#include <QString>

#include "report/report_model.h"

namespace velmar {

// The report in its three formats, UTF-8. Every text that comes from a
// name or label is escaped for its format.
//
// CSV: a header row, then one row per group, lines ending in LF. Columns:
//   start, end            ISO 8601 local time with UTC offset; end excluded
//   records               five-minute records in the group
//   estimated_records     of them, records without counted volumes
//   down_bytes, up_bytes, total_bytes                      (values down, up, total)
//   avg_down_bytes_per_s, avg_up_bytes_per_s              (value average)
//   peak_down_bytes_per_s, peak_up_bytes_per_s            (value peak)
//   active_seconds                                        (value active)
//   alarm_events                                          (value alarms)
// Bytes and speeds are whole numbers; only the chosen values' columns are
// present, in this order.
QByteArray WriteCsv(const Report& report);

// JSON: the schema "velmar-report", version 1, documented in the manual
// (help/index.html, "Report files").
QByteArray WriteJson(const Report& report);

// A self-contained HTML page: inline CSS (light, dark and print), charts as
// inline SVG, no script, nothing loaded from anywhere.
QByteArray WriteHtml(const Report& report);

// The label of a group in the page: "2026-12-08 14:05", "Tue 8 Dec 2026",
// "Week 49 (30 Nov - 6 Dec 2026)", "December 2026".
QString GroupLabel(Grouping grouping, qint64 start, qint64 end);

}  // namespace velmar
