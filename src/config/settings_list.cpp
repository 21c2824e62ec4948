#include "settings_list.h"

#include <QFile>

#include "data_locations.h"

namespace velmar {

QString SettingsList::Line(int n) const {
  return n >= 0 && n < lines_.size() ? lines_[n] : QString();
}

void SettingsList::SetLine(int n, const QString& text) {
  if (n >= 0 && n < lines_.size()) {
    lines_[n] = text;
  }
}

int SettingsList::LineNumber(int n, int fallback) const {
  bool ok = false;
  const int value = Line(n).toInt(&ok, 10);
  return ok ? value : fallback;
}

bool SettingsList::LoadFromFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return false;
  }
  const QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    return false;
  }
  QStringList lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (c == '\r' || c == '\n') {
      lines << QString::fromLatin1(data.mid(start, i - start));
      if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') {
        ++i;
      }
      start = i + 1;
    }
  }
  if (start < data.size()) {
    lines << QString::fromLatin1(data.mid(start));
  }
  lines_ = std::move(lines);
  return true;
}

QStringList SettingsList::DefaultLines() {
  QStringList lines;
  lines << QStringLiteral("Velmar 2000 settings, please don't change this file! ");
  lines << "0"
        << "1"
        << "http://";
  lines << "0"
        << "0"
        << "0"
        << "0";  // 4 to 7
  lines << ""
        << "";  // 8, 9: no proxy
  for (int n = 10; n <= 36; ++n) {
    lines << "0";
  }
  lines << "1"
        << "1"
        << "1";  // 37 to 39
  lines << QStringLiteral("Velmar reserved line, kept as written");
  lines << "1"
        << "1"
        << "1";  // 41 to 43
  return lines;
}

QString SettingsList::FilePath() {
  return DataLocations::Current().SettingsFile();
}

}  // namespace velmar
