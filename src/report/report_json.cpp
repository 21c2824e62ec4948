#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "history/day_key_dates.h"
#include "report/report_text.h"
#include "report/report_writers.h"

namespace velmar {

namespace {

constexpr int kSchemaVersion = 1;

// WholeBytes numbers only: volumes up to 2^53 bytes (9 PB) are exact in JSON.
qint64 WholeBytes(double value) {
  return static_cast<qint64>(std::llround(value));
}

QJsonObject Figures(const Report& report, const GroupFigures& g) {
  QJsonObject o;
  o.insert(QStringLiteral("records"), g.records);
  o.insert(QStringLiteral("estimatedRecords"), g.estimatedRecords);
  if (g.notRunningRecords > 0) {
    // Part of the volumes: what passed while the meter was not running.
    o.insert(QStringLiteral("notRunningRecords"), g.notRunningRecords);
    o.insert(QStringLiteral("notRunningDown"), static_cast<qint64>(g.notRunningDown));
    o.insert(QStringLiteral("notRunningUp"), static_cast<qint64>(g.notRunningUp));
  }
  if (report.Shows(kDownVolume)) {
    o.insert(QStringLiteral("down"), static_cast<qint64>(g.down));
  }
  if (report.Shows(kUpVolume)) {
    o.insert(QStringLiteral("up"), static_cast<qint64>(g.up));
  }
  if (report.Shows(kTotalVolume)) {
    o.insert(QStringLiteral("total"), static_cast<qint64>(g.Total()));
  }
  if (report.Shows(kAverageSpeeds)) {
    o.insert(QStringLiteral("averageDown"), WholeBytes(g.AverageDown()));
    o.insert(QStringLiteral("averageUp"), WholeBytes(g.AverageUp()));
  }
  if (report.Shows(kPeakSpeeds)) {
    o.insert(QStringLiteral("peakDown"), WholeBytes(g.peakDown));
    o.insert(QStringLiteral("peakUp"), WholeBytes(g.peakUp));
  }
  if (report.Shows(kActiveTime)) {
    o.insert(QStringLiteral("activeSeconds"), (g.activeMs + 500) / 1000);
  }
  if (report.Shows(kAlarmEvents)) {
    o.insert(QStringLiteral("alarms"), g.alarms);
  }
  return o;
}

}  // namespace

QByteArray WriteJson(const Report& report) {
  QJsonObject root;
  root.insert(QStringLiteral("schema"), QStringLiteral("velmar-report"));
  root.insert(QStringLiteral("version"), kSchemaVersion);
  root.insert(QStringLiteral("profile"),
              report.title.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(report.title));
  root.insert(QStringLiteral("generated"),
              ReportText::IsoTime(DayKeyDates::LocalMs(report.generated)));
  root.insert(QStringLiteral("period"),
              QJsonObject{{QStringLiteral("kind"), ReportPeriod::Name(report.profile.period.kind)},
                          {QStringLiteral("start"), ReportText::IsoTime(report.start)},
                          {QStringLiteral("end"), ReportText::IsoTime(report.end)}});
  root.insert(QStringLiteral("grouping"), Groupings::Name(report.profile.grouping));
  root.insert(QStringLiteral("values"),
              QJsonArray::fromStringList(Flags::Names(report.profile.values, Flags::ValueNames())));
  root.insert(QStringLiteral("units"),
              QJsonObject{{QStringLiteral("volume"), QStringLiteral("bytes")},
                          {QStringLiteral("speed"), QStringLiteral("bytes per second")},
                          {QStringLiteral("time"), QStringLiteral("seconds")}});

  QJsonArray groups;
  for (const GroupFigures& g : report.groups) {
    QJsonObject o = Figures(report, g);
    o.insert(QStringLiteral("start"), ReportText::IsoTime(g.start));
    o.insert(QStringLiteral("end"), ReportText::IsoTime(g.end));
    groups.append(o);
  }
  root.insert(QStringLiteral("groups"), groups);
  root.insert(QStringLiteral("totals"), Figures(report, report.totals));
  if (report.profile.grouping == Grouping::kProgram) {
    QJsonArray programs;
    for (const ProgramRow& p : report.programs) {
      QJsonObject o{{QStringLiteral("program"), p.program}};
      if (report.Shows(kDownVolume)) {
        o.insert(QStringLiteral("down"), static_cast<qint64>(p.down));
      }
      if (report.Shows(kUpVolume)) {
        o.insert(QStringLiteral("up"), static_cast<qint64>(p.up));
      }
      if (report.Shows(kTotalVolume)) {
        o.insert(QStringLiteral("total"), static_cast<qint64>(p.Total()));
      }
      programs.append(o);
    }
    root.insert(QStringLiteral("programs"), programs);
  }

  if (report.Shows(kAlarmEvents)) {
    QJsonArray alarms;
    for (const ReportAlarm& a : report.alarms) {
      alarms.append(
          QJsonObject{{QStringLiteral("time"), ReportText::IsoTime(a.at)},
                      {QStringLiteral("code"), a.code},
                      {QStringLiteral("conditions"), QJsonArray::fromStringList(a.conditions)}});
    }
    root.insert(QStringLiteral("alarms"), alarms);
  }
  if (report.quota) {
    const QuotaFigures& q = *report.quota;
    root.insert(QStringLiteral("quota"),
                QJsonObject{{QStringLiteral("bytes"), static_cast<qint64>(q.quota.bytes)},
                            {QStringLiteral("counts"), Quota::CountsName(q.quota.counts)},
                            {QStringLiteral("monthStartsOn"), q.quota.startDay},
                            {QStringLiteral("monthStart"), ReportText::IsoTime(q.monthStart)},
                            {QStringLiteral("monthEnd"), ReportText::IsoTime(q.monthEnd)},
                            {QStringLiteral("used"), static_cast<qint64>(q.used)},
                            {QStringLiteral("projected"), static_cast<qint64>(q.projected)},
                            {QStringLiteral("complete"), q.complete},
                            {QStringLiteral("estimated"), q.estimated}});
  }
  if (!report.gaps.empty()) {
    QJsonArray gaps;
    for (const HistoryGap& gap : report.gaps) {
      gaps.append(QJsonObject{{QStringLiteral("from"), ReportText::IsoTime(gap.from)},
                              {QStringLiteral("to"), ReportText::IsoTime(gap.to)}});
    }
    root.insert(QStringLiteral("gaps"), gaps);
  }
  root.insert(QStringLiteral("notes"),
              QJsonObject{{QStringLiteral("incompleteRecords"), report.incompleteRecords},
                          {QStringLiteral("unreadableAlarms"), report.unreadableAlarms}});
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

}  // namespace velmar
