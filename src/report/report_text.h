#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>

namespace velmar {

// How the report's writers put figures and texts into their formats.
class ReportText {
 public:
  // ISO 8601 local time with its UTC offset, "2026-12-08T14:05:00+01:00",
  // for a DayKeyDates::LocalMs. A wall-clock time that a DST change skips
  // gets the offset in force before the change.
  static QString IsoTime(qint64 localMs);
  // "2026-12-08 14:05", for people.
  static QString ShortTime(qint64 localMs);
  static QString Day(qint64 localMs);  // "Tue 8 Dec 2026"

  // Bytes in units of 1000 with two decimals: "512 B", "1.50 kB",
  // "123.46 MB", "2.00 GB".
  static QString Bytes(uint64_t bytes);
  // A speed in bytes per second as kbit/s, Mbit/s or Gbit/s with two
  // decimals; a kilobit is 1000 bits, or 1024 with kilobitMode 1.
  static QString Speed(double bytesPerSecond, int kilobitMode);
  // "0 min", "45 min", "3 h 05 min", "2 d 03 h".
  static QString Duration(qint64 ms);

  // Text for HTML and SVG element content and attribute values.
  static QString Html(QStringView text);
  // One CSV field: quoted when it holds a comma, a quote or a line break,
  // and a text a spreadsheet would run as a formula (=, +, -, @) gets a
  // leading apostrophe.
  static QString CsvField(QStringView text);
};

}  // namespace velmar
