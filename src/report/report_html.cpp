#include <QLocale>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

#include "config/product.h"
#include "history/day_key_dates.h"
#include "report/report_text.h"
#include "report/report_writers.h"
#include "report/svg_chart.h"

namespace velmar {

namespace {

// More groups than this are drawn as bars of several groups each.
constexpr size_t kMaxBars = 480;

const char kStyle[] = R"(
:root { color-scheme: light dark; --bg: #fbf8ef; --fg: #23231f; --muted: #66655c;
  --card: #f0e7c6; --line: #d6cfb6; --down: #1d6fb8; --up: #cf7a1e; --total: #5d6b2f;
  --warn: #b3261e; --track: #e4dcc0; }
@media (prefers-color-scheme: dark) {
  :root { --bg: #1b1c17; --fg: #e9e7dc; --muted: #a9a89b; --card: #2a2b23; --line: #47483d;
    --down: #6db6f2; --up: #f3a65b; --total: #b5c46e; --warn: #ff8a80; --track: #3a3b31; } }
@media print {
  :root { --bg: #fff; --fg: #000; --muted: #333; --card: #fff; --line: #999; --track: #ddd; }
  body { margin: 0; max-width: none; }
  .wide { overflow: visible; }
  .card { border: 1px solid #999; }
  section, svg, tr { break-inside: avoid; }
  thead { display: table-header-group; } }
* { box-sizing: border-box; }
body { font: 14px/1.45 "DejaVu Sans", system-ui, sans-serif; background: var(--bg);
  color: var(--fg); margin: 24px auto; max-width: 1040px; padding: 0 16px; }
h1 { font-size: 1.5em; margin: 0 0 4px; }
h2 { font-size: 1.15em; margin: 28px 0 8px; border-bottom: 1px solid var(--line); }
.sub, .note, .legend { color: var(--muted); }
.cards { display: flex; flex-wrap: wrap; gap: 10px; margin-top: 16px; }
.card { background: var(--card); border-radius: 6px; padding: 8px 14px; min-width: 150px; }
.card .label { color: var(--muted); font-size: 0.85em; }
.card .figure { font-size: 1.3em; font-weight: bold; }
svg.chart { width: 100%; height: auto; display: block; }
svg .grid { stroke: var(--line); stroke-width: 1; }
svg .baseline { stroke: var(--muted); stroke-width: 1; }
svg .axis { fill: var(--muted); font-size: 11px; font-family: "DejaVu Sans", sans-serif; }
svg rect.down, svg circle.down { fill: var(--down); }
svg rect.up, svg circle.up { fill: var(--up); }
svg rect.total { fill: var(--total); }
svg polyline { fill: none; stroke-width: 2; }
svg polyline.down { stroke: var(--down); }
svg polyline.up { stroke: var(--up); }
svg polyline.peak-down { stroke: var(--down); stroke-dasharray: 5 3; stroke-width: 1.2; }
svg polyline.peak-up { stroke: var(--up); stroke-dasharray: 5 3; stroke-width: 1.2; }
svg circle.peak-down { fill: var(--down); } svg circle.peak-up { fill: var(--up); }
svg g.est rect { fill-opacity: 0.45; }
svg .track { fill: var(--track); }
svg .used { fill: var(--total); } svg .over { fill: var(--warn); }
svg .projected { fill: var(--total); fill-opacity: 0.3; }
svg .limit { stroke: var(--warn); stroke-width: 2; }
.legend .swatch { display: inline-block; width: 12px; height: 12px; margin: 0 4px 0 14px;
  vertical-align: -1px; border-radius: 2px; }
.swatch.down { background: var(--down); } .swatch.up { background: var(--up); }
.swatch.total { background: var(--total); }
table { border-collapse: collapse; width: 100%; font-variant-numeric: tabular-nums;
  font-size: 0.92em; }
.wide { overflow-x: auto; }
th, td { padding: 3px 6px; border-bottom: 1px solid var(--line); text-align: right;
  white-space: nowrap; }
th:first-child, td:first-child { text-align: left; }
th.text, td.text { text-align: left; white-space: normal; }
tfoot td { font-weight: bold; border-top: 2px solid var(--muted); }
tr.empty td { color: var(--muted); }
.est { font-style: italic; }
.over { color: var(--warn); font-weight: bold; }
)";

QString H(QStringView text) {
  return ReportText::Html(text);
}

// "≈ " before a figure that holds estimates.
QString Mark(bool estimated) {
  return estimated ? QStringLiteral("\u2248\u202f") : QString();
}

QString Cell(const QString& text, bool estimated, const QString& what) {
  return QStringLiteral("<td data-value=\"%1\"%2>%3%4</td>")
      .arg(what, estimated ? QStringLiteral(" class=\"est\"") : QString(), Mark(estimated),
           H(text));
}

// A shorter label for the chart's axis.
QString AxisLabel(Grouping grouping, qint64 start, bool severalDays) {
  const QDateTime t = DayKeyDates::FromLocalMs(start);
  const QLocale c = QLocale::c();
  switch (grouping) {
    case Grouping::kFiveMinutes:
    case Grouping::kHour:
      return c.toString(t, severalDays ? QStringLiteral("d MMM HH:mm") : QStringLiteral("HH:mm"));
    case Grouping::kDay:
      return c.toString(t.date(), QStringLiteral("ddd d MMM"));
    case Grouping::kWeek:
      return QStringLiteral("W%1").arg(t.date().weekNumber());
    case Grouping::kMonth:
      return c.toString(t.date(), QStringLiteral("MMM yyyy"));
    case Grouping::kProgram:
      break;
  }
  return {};
}

// Consecutive groups put together so that no chart has more than kMaxBars
// bars.
std::vector<GroupFigures> Bins(const std::vector<GroupFigures>& groups, size_t& perBin) {
  perBin = std::max<size_t>(1, (groups.size() + kMaxBars - 1) / kMaxBars);
  std::vector<GroupFigures> bins;
  for (size_t i = 0; i < groups.size(); i += perBin) {
    GroupFigures bin = groups[i];
    for (size_t j = i + 1; j < std::min(groups.size(), i + perBin); ++j) {
      bin.Add(groups[j]);
      bin.end = groups[j].end;
    }
    bins.push_back(bin);
  }
  return bins;
}

class Page {
 public:
  explicit Page(const Report& report) : r_(report) {}

  QString Make() {
    Head();
    Summary();
    Quota();
    if (r_.profile.grouping == Grouping::kProgram) {
      Programs();
    } else {
      Charts();
      Table();
    }
    Alarms();
    Notes();
    out_ += QStringLiteral("</body>\n</html>\n");
    return out_;
  }

 private:
  QString Speed(double bytesPerSecond) const {
    return ReportText::Speed(bytesPerSecond, r_.kilobitMode);
  }

  void Head() {
    const QString title = r_.title.isEmpty() ? QStringLiteral("Velmar usage report")
                                             : QStringLiteral("Velmar usage report: ") + r_.title;
    out_ += QStringLiteral(
                "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                // Nothing may come from anywhere: the page is whole offline.
                "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                "style-src 'unsafe-inline'; img-src data:\">\n"
                "<meta name=\"color-scheme\" content=\"light dark\">\n"
                "<title>%1</title>\n<style>%2</style>\n</head>\n<body>\n<h1>%1</h1>\n")
                .arg(H(title), QString::fromLatin1(kStyle));
    out_ += QStringLiteral(
                "<p class=\"sub\" id=\"period\">%1: %2 to %3, by %4. Made %5 by %6 %7.</p>\n")
                .arg(H(r_.profile.period.Describe()), H(ReportText::ShortTime(r_.start)),
                     H(ReportText::ShortTime(r_.end)), H(Groupings::Describe(r_.profile.grouping)),
                     H(ReportText::ShortTime(DayKeyDates::LocalMs(r_.generated))),
                     H(kApplicationTitle), QStringLiteral(VELMAR_VERSION_TEXT));
  }

  void Card(const QString& id, const QString& label, const QString& figure, bool estimated) {
    out_ += QStringLiteral(
                "<div class=\"card\" id=\"%1\"><div class=\"label\">%2</div>"
                "<div class=\"figure%3\">%4%5</div></div>\n")
                .arg(id, H(label), estimated ? QStringLiteral(" est") : QString(), Mark(estimated),
                     H(figure));
  }

  void Summary() {
    const GroupFigures& t = r_.totals;
    out_ += QStringLiteral("<section class=\"cards\">\n");
    if (r_.Shows(kDownVolume)) {
      Card(QStringLiteral("total-down"), QStringLiteral("Downloaded"), ReportText::Bytes(t.down),
           t.Estimated());
    }
    if (r_.Shows(kUpVolume)) {
      Card(QStringLiteral("total-up"), QStringLiteral("Uploaded"), ReportText::Bytes(t.up),
           t.Estimated());
    }
    if (r_.Shows(kTotalVolume)) {
      Card(QStringLiteral("total-total"), QStringLiteral("Total"), ReportText::Bytes(t.Total()),
           t.Estimated());
    }
    if (r_.Shows(kAverageSpeeds)) {
      Card(QStringLiteral("average-down"), QStringLiteral("Average down"), Speed(t.AverageDown()),
           t.Estimated());
      Card(QStringLiteral("average-up"), QStringLiteral("Average up"), Speed(t.AverageUp()),
           t.Estimated());
    }
    if (r_.Shows(kPeakSpeeds)) {
      Card(QStringLiteral("peak-down"), QStringLiteral("Peak down (5 min)"), Speed(t.peakDown),
           t.Estimated());
      Card(QStringLiteral("peak-up"), QStringLiteral("Peak up (5 min)"), Speed(t.peakUp),
           t.Estimated());
    }
    if (r_.Shows(kActiveTime)) {
      Card(QStringLiteral("active"), QStringLiteral("Time measured"),
           ReportText::Duration(t.activeMs), false);
    }
    if (r_.Shows(kAlarmEvents)) {
      Card(QStringLiteral("alarm-count"), QStringLiteral("Alarm events"), QString::number(t.alarms),
           false);
    }
    out_ += QStringLiteral("</section>\n");
  }

  void Quota() {
    if (!r_.quota) {
      return;
    }
    const QuotaFigures& q = *r_.quota;
    const QString counts = q.quota.counts == QuotaCounts::kDown ? QStringLiteral("downloads")
                           : q.quota.counts == QuotaCounts::kUp ? QStringLiteral("uploads")
                                                                : QStringLiteral("down + up");
    out_ += QStringLiteral("<section id=\"quota\">\n<h2>Quota</h2>\n");
    out_ +=
        QStringLiteral("<p>%1 a month (%2), quota month %3 to %4.</p>\n")
            .arg(H(ReportText::Bytes(q.quota.bytes)), H(counts), H(ReportText::Day(q.monthStart)),
                 H(ReportText::Day(q.monthEnd - DayKeyDates::kMsPerDay)));
    out_ += SvgChart::QuotaBar(q.used, q.projected, q.quota.bytes) + QLatin1Char('\n');
    const QString used =
        QStringLiteral("<span id=\"quota-used\"%1>%2%3</span> (%4 %)")
            .arg(q.used > q.quota.bytes ? QStringLiteral(" class=\"over\"") : QString(),
                 Mark(q.estimated), H(ReportText::Bytes(q.used)))
            .arg(q.UsedShare() * 100, 0, 'f', 1);
    if (q.complete) {
      out_ += QStringLiteral("<p>Used %1 in that quota month.</p>\n").arg(used);
    } else {
      out_ += QStringLiteral(
                  "<p>Used %1 so far; at this pace <span id=\"quota-projected\"%2>%3%4</span> "
                  "(%5 %) by the end of the quota month.</p>\n")
                  .arg(used,
                       q.projected > q.quota.bytes ? QStringLiteral(" class=\"over\"") : QString(),
                       Mark(q.estimated), H(ReportText::Bytes(q.projected)))
                  .arg(q.ProjectedShare() * 100, 0, 'f', 1);
    }
    out_ += QStringLiteral("</section>\n");
  }

  void Charts() {
    if (r_.groups.empty()) {
      return;
    }
    size_t perBin = 1;
    const std::vector<GroupFigures> bins = Bins(r_.groups, perBin);
    const QString each = perBin > 1
                             ? QStringLiteral(" Each bar or point stands for %1 groups of %2.")
                                   .arg(perBin)
                                   .arg(Groupings::Describe(r_.profile.grouping))
                             : QString();
    if (r_.Shows(kDownVolume) || r_.Shows(kUpVolume) || r_.Shows(kTotalVolume)) {
      VolumeChart(bins, each);
    }
    if (r_.Shows(kAverageSpeeds) || r_.Shows(kPeakSpeeds)) {
      SpeedChart(bins, each);
    }
  }

  QString BinLabel(const GroupFigures& b) const {
    const bool severalDays = r_.end - r_.start > DayKeyDates::kMsPerDay;
    return AxisLabel(r_.profile.grouping, b.start, severalDays);
  }

  void VolumeChart(const std::vector<GroupFigures>& bins, const QString& each) {
    const bool directions = r_.Shows(kDownVolume) || r_.Shows(kUpVolume);
    std::vector<SvgChart::Series> series;
    if (directions) {
      series = {{QStringLiteral("Down"), QStringLiteral("down")},
                {QStringLiteral("Up"), QStringLiteral("up")}};
    } else {
      series = {{QStringLiteral("Total"), QStringLiteral("total")}};
    }
    std::vector<SvgChart::Bin> chart;
    for (const GroupFigures& b : bins) {
      SvgChart::Bin bin;
      bin.label = BinLabel(b);
      bin.estimated = b.Estimated();
      bin.hasData = b.records > 0;
      bin.values = directions ? std::vector<double>{double(b.down), double(b.up)}
                              : std::vector<double>{double(b.Total())};
      bin.tooltip = QStringLiteral("%1: down %2, up %3%4")
                        .arg(GroupLabel(r_.profile.grouping, b.start, b.end),
                             ReportText::Bytes(b.down), ReportText::Bytes(b.up),
                             b.Estimated() ? QStringLiteral(" (estimated)") : QString());
      chart.push_back(bin);
    }
    out_ += QStringLiteral("<section id=\"volume-chart\">\n<h2>Volume</h2>\n");
    out_ += SvgChart::StackedBars(
        QStringLiteral("Volume per ") + Groupings::Describe(r_.profile.grouping), series, chart,
        [](double v) { return ReportText::Bytes(std::llround(v)); });
    out_ += QStringLiteral("\n<p class=\"legend\">");
    for (const SvgChart::Series& s : series) {
      out_ += QStringLiteral("<span class=\"swatch %1\"></span>%2").arg(s.cssClass, H(s.name));
    }
    out_ += QStringLiteral(". Pale bars hold estimates.%1</p>\n</section>\n").arg(H(each));
  }

  void SpeedChart(const std::vector<GroupFigures>& bins, const QString& each) {
    const bool averages = r_.Shows(kAverageSpeeds), peaks = r_.Shows(kPeakSpeeds);
    std::vector<SvgChart::Series> series;
    if (averages) {
      series.push_back({QStringLiteral("Average down"), QStringLiteral("down")});
      series.push_back({QStringLiteral("Average up"), QStringLiteral("up")});
    }
    if (peaks) {
      series.push_back({QStringLiteral("Peak down"), QStringLiteral("peak-down")});
      series.push_back({QStringLiteral("Peak up"), QStringLiteral("peak-up")});
    }
    std::vector<SvgChart::Bin> chart;
    for (const GroupFigures& b : bins) {
      SvgChart::Bin bin;
      bin.label = BinLabel(b);
      bin.hasData = b.records > 0;
      if (averages) {
        bin.values.push_back(b.AverageDown());
        bin.values.push_back(b.AverageUp());
      }
      if (peaks) {
        bin.values.push_back(b.peakDown);
        bin.values.push_back(b.peakUp);
      }
      chart.push_back(bin);
    }
    const int mode = r_.kilobitMode;
    out_ += QStringLiteral("<section id=\"speed-chart\">\n<h2>Speeds</h2>\n");
    out_ +=
        SvgChart::Lines(QStringLiteral("Speeds per ") + Groupings::Describe(r_.profile.grouping),
                        series, chart, [mode](double v) { return ReportText::Speed(v, mode); });
    out_ += QStringLiteral("\n<p class=\"legend\">");
    for (const SvgChart::Series& s : series) {
      out_ += QStringLiteral("<span class=\"swatch %1\"></span>%2")
                  .arg(s.cssClass.endsWith(QLatin1String("down")) ? QStringLiteral("down")
                                                                  : QStringLiteral("up"),
                       H(s.name));
    }
    out_ += QStringLiteral(
                ". Peaks (dashed) are the highest five-minute averages.%1</p>\n"
                "</section>\n")
                .arg(H(each));
  }

  void Row(const GroupFigures& g, const QString& label, bool foot) {
    const bool est = g.Estimated();
    out_ +=
        foot ? QStringLiteral("<tr>")
             : (g.records == 0 ? QStringLiteral("<tr class=\"empty\">") : QStringLiteral("<tr>"));
    out_ += QStringLiteral("<td>%1</td><td data-value=\"records\">%2</td>")
                .arg(H(label))
                .arg(g.records);
    if (r_.Shows(kDownVolume)) {
      out_ += Cell(ReportText::Bytes(g.down), est, QStringLiteral("down"));
    }
    if (r_.Shows(kUpVolume)) {
      out_ += Cell(ReportText::Bytes(g.up), est, QStringLiteral("up"));
    }
    if (r_.Shows(kTotalVolume)) {
      out_ += Cell(ReportText::Bytes(g.Total()), est, QStringLiteral("total"));
    }
    if (r_.Shows(kAverageSpeeds)) {
      out_ += Cell(Speed(g.AverageDown()), est, QStringLiteral("average-down"));
      out_ += Cell(Speed(g.AverageUp()), est, QStringLiteral("average-up"));
    }
    if (r_.Shows(kPeakSpeeds)) {
      out_ += Cell(Speed(g.peakDown), est, QStringLiteral("peak-down"));
      out_ += Cell(Speed(g.peakUp), est, QStringLiteral("peak-up"));
    }
    if (r_.Shows(kActiveTime)) {
      out_ += Cell(ReportText::Duration(g.activeMs), false, QStringLiteral("active"));
    }
    if (r_.Shows(kAlarmEvents)) {
      out_ += Cell(QString::number(g.alarms), false, QStringLiteral("alarms"));
    }
    out_ += QStringLiteral("</tr>\n");
  }

  void Table() {
    out_ += QStringLiteral(
                "<section id=\"groups\">\n<h2>By %1</h2>\n<div class=\"wide\"><table>\n<thead><tr>"
                "<th>%2</th><th>Records</th>")
                .arg(H(Groupings::Describe(r_.profile.grouping)),
                     r_.profile.grouping == Grouping::kDay ? QStringLiteral("Day")
                                                           : QStringLiteral("From"));
    const QString heads[][2] = {{QStringLiteral("Down"), {}},
                                {QStringLiteral("Up"), {}},
                                {QStringLiteral("Total"), {}},
                                {QStringLiteral("Avg down"), QStringLiteral("Avg up")},
                                {QStringLiteral("Peak down"), QStringLiteral("Peak up")},
                                {QStringLiteral("Measured"), {}},
                                {QStringLiteral("Alarms"), {}}};
    for (int i = 0; i < 7; ++i) {
      if (r_.profile.values & (1u << i)) {
        for (const QString& h : heads[i]) {
          if (!h.isEmpty()) {
            out_ += QStringLiteral("<th>%1</th>").arg(H(h));
          }
        }
      }
    }
    out_ += QStringLiteral("</tr></thead>\n<tbody>\n");
    for (const GroupFigures& g : r_.groups) {
      Row(g, GroupLabel(r_.profile.grouping, g.start, g.end), false);
    }
    out_ += QStringLiteral("</tbody>\n<tfoot>\n");
    Row(r_.totals, QStringLiteral("Total"), true);
    out_ += QStringLiteral("</tfoot>\n</table></div>\n</section>\n");
  }

  // One row per program, with what the rows that are no program hold.
  void Programs() {
    out_ += QStringLiteral(
        "<section id=\"programs\">\n<h2>By program</h2>\n<div class=\"wide\"><table>\n"
        "<thead><tr><th class=\"text\">Program</th>");
    const std::pair<ReportValue, QString> volumes[] = {{kDownVolume, QStringLiteral("Down")},
                                                       {kUpVolume, QStringLiteral("Up")},
                                                       {kTotalVolume, QStringLiteral("Total")}};
    for (const auto& [value, head] : volumes) {
      if (r_.Shows(value)) {
        out_ += QStringLiteral("<th>%1</th>").arg(H(head));
      }
    }
    out_ += QStringLiteral("</tr></thead>\n<tbody>\n");
    for (const ProgramRow& p : r_.programs) {
      out_ += QStringLiteral("<tr><td class=\"text\">%1</td>").arg(H(p.program));
      const uint64_t figures[] = {p.down, p.up, p.Total()};
      const QString what[] = {QStringLiteral("down"), QStringLiteral("up"),
                              QStringLiteral("total")};
      for (size_t i = 0; i < std::size(figures); ++i) {
        if (r_.Shows(volumes[i].first)) {
          out_ += Cell(ReportText::Bytes(figures[i]), false, what[i]);
        }
      }
      out_ += QStringLiteral("</tr>\n");
    }
    out_ += QStringLiteral(
        "</tbody>\n</table></div>\n<p class=\"note\">\"other\": the programs beyond the "
        "busiest of each five minutes; \"other users\": sockets of other users' programs; "
        "\"not attributed\": what the interfaces counted beyond every socket read (UDP "
        "without the capture helper, connections opened and closed between two readings, "
        "headers, the kernel's own traffic); \"not recorded by program\": records kept "
        "while the meter did not read the programs.</p>\n</section>\n");
  }

  void Alarms() {
    if (!r_.Shows(kAlarmEvents)) {
      return;
    }
    out_ += QStringLiteral("<section id=\"alarms\">\n<h2>Alarm events</h2>\n");
    if (r_.alarms.empty()) {
      out_ += QStringLiteral(
          "<p class=\"note\">No alarm went off in this period.</p>\n"
          "</section>\n");
      return;
    }
    out_ += QStringLiteral(
        "<table>\n<thead><tr><th>Time</th><th>Code</th><th "
        "class=\"text\">Conditions</th></tr></thead>\n"
        "<tbody>\n");
    for (const ReportAlarm& a : r_.alarms) {
      out_ += QStringLiteral("<tr><td>%1</td><td>%2</td><td class=\"text\">%3</td></tr>\n")
                  .arg(H(ReportText::ShortTime(a.at)))
                  .arg(a.code)
                  .arg(H(a.conditions.isEmpty() ? QStringLiteral("(unknown code)")
                                                : a.conditions.join(QStringLiteral("; "))));
    }
    out_ += QStringLiteral("</tbody>\n</table>\n</section>\n");
  }

  void Notes() {
    out_ += QStringLiteral("<section id=\"notes\">\n<h2>Notes</h2>\n<p class=\"note\">");
    out_ +=
        QStringLiteral(
            "Volumes are the bytes the meter counted on the monitored interfaces. Figures marked "
            "\u2248 hold records from before the meter counted volumes: for those, the volume is "
            "estimated from the five-minute average speeds. Speeds are in kilobits of %1 bits. "
            "\"Measured\" is the time the meter was measuring.")
            .arg(r_.kilobitMode == 1 ? 1024 : 1000);
    if (r_.totals.estimatedRecords > 0) {
      out_ += QStringLiteral(" %1 of the %2 records in this period are estimated.")
                  .arg(r_.totals.estimatedRecords)
                  .arg(r_.totals.records);
    }
    if (r_.totals.notRunningRecords > 0) {
      out_ += QStringLiteral(
                  " Of the volumes, %1 down and %2 up passed while the meter was not running: "
                  "the kernel's counters told them at the next start (%3 records).")
                  .arg(H(ReportText::Bytes(r_.totals.notRunningDown)),
                       H(ReportText::Bytes(r_.totals.notRunningUp)))
                  .arg(r_.totals.notRunningRecords);
    }
    for (const HistoryGap& gap : r_.gaps) {
      out_ += QStringLiteral(
                  " From %1 to %2 the computer was restarted while the meter was not running: "
                  "what passed then is unknown and is not in the volumes.")
                  .arg(H(ReportText::IsoTime(gap.from)), H(ReportText::IsoTime(gap.to)));
    }
    if (r_.incompleteRecords > 0) {
      out_ += QStringLiteral(" %1 records that were never completed were left out.")
                  .arg(r_.incompleteRecords);
    }
    if (r_.unreadableAlarms > 0) {
      out_ += QStringLiteral(" %1 alarm log entries whose time cannot be read were left out.")
                  .arg(r_.unreadableAlarms);
    }
    out_ += QStringLiteral("</p>\n</section>\n");
  }

  const Report& r_;
  QString out_;
};

}  // namespace

QString GroupLabel(Grouping grouping, qint64 start, qint64 end) {
  const QDateTime t = DayKeyDates::FromLocalMs(start);
  const QLocale c = QLocale::c();
  switch (grouping) {
    case Grouping::kFiveMinutes:
    case Grouping::kHour:
      return ReportText::ShortTime(start);
    case Grouping::kDay:
      return ReportText::Day(start);
    case Grouping::kWeek: {
      const QDate last = DayKeyDates::FromLocalMs(end - 1).date();
      return QStringLiteral("Week %1 (%2 - %3)")
          .arg(t.date().weekNumber())
          .arg(c.toString(t.date(), QStringLiteral("d MMM")),
               c.toString(last, QStringLiteral("d MMM yyyy")));
    }
    case Grouping::kMonth:
      return c.toString(t.date(), QStringLiteral("MMMM yyyy"));
    case Grouping::kProgram:
      return QStringLiteral("%1 - %2").arg(ReportText::ShortTime(start),
                                           ReportText::ShortTime(end));
  }
  return ReportText::ShortTime(start);
}

QByteArray WriteHtml(const Report& report) {
  return Page(report).Make().toUtf8();
}

}  // namespace velmar
