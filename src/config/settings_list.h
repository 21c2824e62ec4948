#pragma once

#include <QString>
#include <QStringList>

namespace velmar {

// The settings: an ordered list of text lines whose meaning is their
// zero-based number, kept in "Velmarsettings.ini" beside the executable.
class Settingslist {
 public:
  static constexpr int kLineCount = 44;

  // Reading past the end yields ""; writing past the end does nothing.
  QString Line(int n) const;
  void SetLine(int n, const QString& text);
  // The line as a decimal integer, or `fallback` when it does not parse.
  int LineNumber(int n, int fallback = 0) const;

  int Count() const { return static_cast<int>(lines_.size()); }
  const QStringList& Lines() const { return lines_; }
  void Clear() { lines_.clear(); }
  void SetLines(QStringList lines) { lines_ = std::move(lines); }

  // Loads a file whose lines end with CR LF (bare LF or CR also end a
  // line). False when the file cannot be read.
  bool LoadFromFile(const QString& path);

  static QStringList DefaultLines();
  // "Velmarsettings.ini" in the executable's directory.
  static QString FilePath();

 private:
  QStringList lines_;
};

}  // namespace velmar
