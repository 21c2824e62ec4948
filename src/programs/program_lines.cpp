#include "programs/program_lines.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "config/kilobit.h"

namespace velmar::programs {

std::vector<ProgramFigures> TopPrograms(const std::vector<ProgramFigures>& rows, size_t top) {
  std::vector<ProgramFigures> shown;
  ProgramFigures other;
  other.program = kOtherPrograms;
  other.name = kOtherPrograms;
  bool rest = false;
  const ProgramFigures* unattributed = nullptr;
  for (const ProgramFigures& row : rows) {
    if (row.program == kNotAttributed) {
      unattributed = &row;
    } else if (shown.size() < top) {
      shown.push_back(row);
    } else {
      rest = true;
      other.receiveRate += row.receiveRate;
      other.transmitRate += row.transmitRate;
      other.received += row.received;
      other.transmitted += row.transmitted;
    }
  }
  if (rest) {
    shown.push_back(other);
  }
  if (unattributed != nullptr) {
    shown.push_back(*unattributed);
  }
  return shown;
}

QString FormatProgramsText(const QString& timeOfDay, const std::vector<ProgramFigures>& rows,
                           int kilobitMode) {
  QString text;
  for (const ProgramFigures& row : rows) {
    QString name = QString::fromStdString(row.name);
    name.replace(QLatin1Char('"'), QLatin1Char('\''));
    text += QStringLiteral("%1 program=\"%2\" down=%3 up=%4 total=%5\n")
                .arg(timeOfDay, name)
                .arg(Kbps(row.receiveRate, kilobitMode), 0, 'f', 2)
                .arg(Kbps(row.transmitRate, kilobitMode), 0, 'f', 2)
                .arg((row.received + row.transmitted) / 1024);
  }
  return text;
}

QString FormatProgramsJson(const QDateTime& time, const std::vector<ProgramFigures>& rows,
                           bool precise, const QString& notAttributed) {
  const auto bits = [](double bytesPerSecond) { return std::round(bytesPerSecond * 800) / 100; };
  QJsonArray programs;
  for (const ProgramFigures& row : rows) {
    programs.append(
        QJsonObject{{QStringLiteral("program"), QString::fromStdString(row.program)},
                    {QStringLiteral("name"), QString::fromStdString(row.name)},
                    {QStringLiteral("down_bps"), bits(row.receiveRate)},
                    {QStringLiteral("up_bps"), bits(row.transmitRate)},
                    {QStringLiteral("received_bytes"), static_cast<qint64>(row.received)},
                    {QStringLiteral("transmitted_bytes"), static_cast<qint64>(row.transmitted)}});
  }
  const QDateTime local = time.toOffsetFromUtc(time.offsetFromUtc());
  const QJsonObject line{{QStringLiteral("time"), local.toString(Qt::ISODateWithMs)},
                         {QStringLiteral("precise"), precise},
                         {QStringLiteral("not_attributed"), notAttributed},
                         {QStringLiteral("programs"), programs}};
  return QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact));
}

}  // namespace velmar::programs
