#include "history/program_volumes.h"

#include <QStringList>

namespace velmar {

QString EncodeProgramVolumes(const std::vector<ProgramVolume>& rows) {
  QString text;
  for (const ProgramVolume& row : rows) {
    QString name = row.program;
    name.replace(QLatin1Char('\n'), QLatin1Char('?')).replace(QLatin1Char('\r'), QLatin1Char('?'));
    text += QString::number(row.down) + QLatin1Char(' ') + QString::number(row.up) +
            QLatin1Char(' ') + name + QLatin1Char('\n');
  }
  return text;
}

std::optional<std::vector<ProgramVolume>> DecodeProgramVolumes(const QString& text) {
  if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) {
    return std::nullopt;
  }
  std::vector<ProgramVolume> rows;
  for (const QStringView line : QStringView(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const qsizetype first = line.indexOf(QLatin1Char(' '));
    const qsizetype second = first < 0 ? -1 : line.indexOf(QLatin1Char(' '), first + 1);
    if (second < 0 || second + 1 >= line.size()) {
      return std::nullopt;
    }
    bool downOk = false;
    bool upOk = false;
    ProgramVolume row;
    row.down = line.first(first).toULongLong(&downOk);
    row.up = line.sliced(first + 1, second - first - 1).toULongLong(&upOk);
    // Digits only, as written: no sign, no blank.
    if (!downOk || !upOk || !line.front().isDigit() || !line.at(first + 1).isDigit()) {
      return std::nullopt;
    }
    row.program = line.sliced(second + 1).toString();
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace velmar
