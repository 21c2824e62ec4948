#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "config/settings_line.h"

namespace velmar {

// The settings: an ordered list of text lines whose meaning is their
// zero-based number, kept in "Velmarsettings.ini" (see DataLocations for
// the folder).
class SettingsList {
 public:
  static constexpr int kLineCount = 44;

  // Reading past the end yields ""; writing past the end does nothing.
  QString Line(int n) const;
  void SetLine(int n, const QString& text);
  // Sets line n of a file that may end before it (an older file without
  // the lines after kLineCount): the lines between are added empty, which
  // is the default of every line after the core ones.
  void SetLineExtending(int n, const QString& text);
  // The line as a decimal integer, or `fallback` when it does not parse.
  int LineNumber(int n, int fallback = 0) const;

  // The same by name; the numbered forms serve loops over the whole file.
  QString Line(SettingsLine line) const { return Line(static_cast<int>(line)); }
  void SetLine(SettingsLine line, const QString& text) { SetLine(static_cast<int>(line), text); }
  void SetLineExtending(SettingsLine line, const QString& text) {
    SetLineExtending(static_cast<int>(line), text);
  }
  int LineNumber(SettingsLine line, int fallback = 0) const {
    return LineNumber(static_cast<int>(line), fallback);
  }
  // A yes/no line: "1" is yes, any other text no; written as "1" or "0".
  bool Flag(SettingsLine line) const { return Line(line) == QLatin1String("1"); }
  void SetFlag(SettingsLine line, bool on) {
    SetLine(line, on ? QStringLiteral("1") : QStringLiteral("0"));
  }

  // The meter's readings of its lines, as every start applies them (an
  // averaging mode of 0 counts as 1).
  uint8_t KilobitMode() const {
    return static_cast<uint8_t>(LineNumber(SettingsLine::kKilobitMode, 0));
  }
  uint8_t AveragingMode() const {
    const auto mode = static_cast<uint8_t>(LineNumber(SettingsLine::kAveragingMode, 1));
    return mode == 0 ? 1 : mode;
  }
  int16_t AdapterIndex() const {
    return static_cast<int16_t>(LineNumber(SettingsLine::kAdapterIndex, 0));
  }

  int Count() const { return static_cast<int>(lines_.size()); }
  const QStringList& Lines() const { return lines_; }
  void Clear();
  void SetLines(QStringList lines);
  // Line n as the file holds it: UTF-8, or the bytes it was read from when
  // those were not UTF-8 and the line has not changed since.
  QByteArray Encoded(int n) const;

  // Loads a file whose lines end with CR LF (bare LF or CR also end a
  // line), in UTF-8. False when the file cannot be read.
  bool LoadFromFile(const QString& path);
  // LoadFromFile, and true only when the file held every line the meter
  // has.
  bool LoadComplete(const QString& path) { return LoadFromFile(path) && Count() >= kLineCount; }

  static QStringList DefaultLines();
  // "Velmarsettings.ini" beside the executable or in $XDG_CONFIG_HOME/velmar.
  static QString FilePath();

 private:
  QStringList lines_;
  // Lines read from bytes that are not UTF-8, by number.
  QHash<int, QByteArray> foreign_;
};

}  // namespace velmar
