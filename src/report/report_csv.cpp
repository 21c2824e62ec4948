#include <QStringList>
#include <cmath>
#include <iterator>
#include <utility>

#include "report/report_text.h"
#include "report/report_writers.h"

namespace velmar {

namespace {

QString Whole(double value) {
  return QString::number(static_cast<qint64>(std::llround(value)));
}

// Grouped by program: "program" and the chosen volumes, one row each.
QByteArray ProgramsCsv(const Report& report) {
  QStringList header{QStringLiteral("program")};
  const std::pair<ReportValue, QString> volumes[] = {{kDownVolume, QStringLiteral("down_bytes")},
                                                     {kUpVolume, QStringLiteral("up_bytes")},
                                                     {kTotalVolume, QStringLiteral("total_bytes")}};
  for (const auto& [value, name] : volumes) {
    if (report.Shows(value)) {
      header << name;
    }
  }
  QString out = header.join(QLatin1Char(',')) + QLatin1Char('\n');
  for (const ProgramRow& p : report.programs) {
    QStringList row{ReportText::CsvField(p.program)};
    const uint64_t figures[] = {p.down, p.up, p.Total()};
    for (size_t i = 0; i < std::size(figures); ++i) {
      if (report.Shows(volumes[i].first)) {
        row << QString::number(figures[i]);
      }
    }
    out += row.join(QLatin1Char(',')) + QLatin1Char('\n');
  }
  return out.toUtf8();
}

}  // namespace

QByteArray WriteCsv(const Report& report) {
  if (report.profile.grouping == Grouping::kProgram) {
    return ProgramsCsv(report);
  }
  QStringList header{QStringLiteral("start"), QStringLiteral("end"), QStringLiteral("records"),
                     QStringLiteral("estimated_records")};
  if (report.Shows(kDownVolume)) {
    header << QStringLiteral("down_bytes");
  }
  if (report.Shows(kUpVolume)) {
    header << QStringLiteral("up_bytes");
  }
  if (report.Shows(kTotalVolume)) {
    header << QStringLiteral("total_bytes");
  }
  if (report.Shows(kAverageSpeeds)) {
    header << QStringLiteral("avg_down_bytes_per_s") << QStringLiteral("avg_up_bytes_per_s");
  }
  if (report.Shows(kPeakSpeeds)) {
    header << QStringLiteral("peak_down_bytes_per_s") << QStringLiteral("peak_up_bytes_per_s");
  }
  if (report.Shows(kActiveTime)) {
    header << QStringLiteral("active_seconds");
  }
  if (report.Shows(kAlarmEvents)) {
    header << QStringLiteral("alarm_events");
  }
  // Only where there is any, so the columns scripts read stay as they were.
  const bool notRunning = report.totals.notRunningRecords > 0;
  if (notRunning) {
    header << QStringLiteral("not_running_down_bytes") << QStringLiteral("not_running_up_bytes");
  }

  QString out;
  out.reserve(static_cast<qsizetype>(report.groups.size()) * 120 + 200);
  out += header.join(QLatin1Char(',')) + QLatin1Char('\n');
  for (const GroupFigures& g : report.groups) {
    QStringList row{ReportText::CsvField(ReportText::IsoTime(g.start)),
                    ReportText::CsvField(ReportText::IsoTime(g.end)), QString::number(g.records),
                    QString::number(g.estimatedRecords)};
    if (report.Shows(kDownVolume)) {
      row << QString::number(g.down);
    }
    if (report.Shows(kUpVolume)) {
      row << QString::number(g.up);
    }
    if (report.Shows(kTotalVolume)) {
      row << QString::number(g.Total());
    }
    if (report.Shows(kAverageSpeeds)) {
      row << Whole(g.AverageDown()) << Whole(g.AverageUp());
    }
    if (report.Shows(kPeakSpeeds)) {
      row << Whole(g.peakDown) << Whole(g.peakUp);
    }
    if (report.Shows(kActiveTime)) {
      row << QString::number((g.activeMs + 500) / 1000);
    }
    if (report.Shows(kAlarmEvents)) {
      row << QString::number(g.alarms);
    }
    if (notRunning) {
      row << QString::number(g.notRunningDown) << QString::number(g.notRunningUp);
    }
    out += row.join(QLatin1Char(',')) + QLatin1Char('\n');
  }
  return out.toUtf8();
}

}  // namespace velmar
