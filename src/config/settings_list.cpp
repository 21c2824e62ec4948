#include "config/settings_list.h"

#include <QFile>
#include <QStringDecoder>

#include "platform/data_locations.h"

namespace velmar {

QString SettingsList::Line(int n) const {
  return n >= 0 && n < lines_.size() ? lines_[n] : QString();
}

void SettingsList::SetLine(int n, const QString& text) {
  if (n >= 0 && n < lines_.size()) {
    lines_[n] = text;
  }
}

void SettingsList::SetLineExtending(int n, const QString& text) {
  if (n < 0) {
    return;
  }
  while (lines_.size() <= n) {
    lines_.append(QString());
  }
  lines_[n] = text;
}

void SettingsList::SetLines(QStringList lines) {
  lines_ = std::move(lines);
  foreign_.clear();
}

void SettingsList::Clear() {
  lines_.clear();
  foreign_.clear();
}

QByteArray SettingsList::Encoded(int n) const {
  const QString text = Line(n);
  const auto kept = foreign_.constFind(n);
  if (kept != foreign_.cend() && QString::fromLatin1(*kept) == text) {
    return *kept;
  }
  return text.toUtf8();
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
  QHash<int, QByteArray> foreign;
  // Lines are UTF-8. A line that is not (a file written by another
  // program, in another encoding) is read as Latin-1 and its bytes are
  // kept, so a save writes them back unchanged unless the line was edited.
  const auto add = [&](const QByteArray& bytes) {
    // A line may begin with U+FEFF (an editor's byte order mark on the
    // first, or text of a later meter's line): it is part of the line and
    // goes back into the file with it.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
      foreign.insert(static_cast<int>(lines.size()), bytes);
      text = QString::fromLatin1(bytes);
    }
    lines << text;
  };
  qsizetype start = 0;
  for (qsizetype i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (c == '\r' || c == '\n') {
      add(data.mid(start, i - start));
      if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') {
        ++i;
      }
      start = i + 1;
    }
  }
  if (start < data.size()) {
    add(data.mid(start));
  }
  lines_ = std::move(lines);
  foreign_ = std::move(foreign);
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
