#include "report/svg_chart.h"

#include <algorithm>
#include <cmath>

#include "report/report_text.h"

namespace velmar {

namespace {

constexpr double kWidth = 960;
constexpr double kHeight = 280;
constexpr double kLeft = 88;
constexpr double kRight = 14;
constexpr double kTop = 14;
constexpr double kBottom = 46;
constexpr double kPlotWidth = kWidth - kLeft - kRight;
constexpr double kPlotHeight = kHeight - kTop - kBottom;
constexpr int kGridSteps = 4;
constexpr int kMaxAxisLabels = 8;

QString Num(double v) {
  return QString::number(v, 'f', 1);
}

QString Open(const QString& title, double height = kHeight) {
  const QString t = ReportText::Html(title);
  return QStringLiteral(
             "<svg class=\"chart\" viewBox=\"0 0 %1 %2\" role=\"img\" "
             "aria-label=\"%3\" xmlns=\"http://www.w3.org/2000/svg\">"
             "<title>%3</title>")
      .arg(kWidth)
      .arg(height)
      .arg(t);
}

// The grid, the value axis and the labels of some bins; returns the top of
// the value axis.
double Frame(QString& svg, double max, const std::vector<SvgChart::Bin>& bins,
             const SvgChart::AxisText& axisText) {
  const double step = SvgChart::NiceStep(max);
  const double top = step * kGridSteps;
  for (int i = 0; i <= kGridSteps; ++i) {
    const double y = kTop + kPlotHeight - kPlotHeight * i / kGridSteps;
    svg += QStringLiteral("<line class=\"grid\" x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\"/>")
               .arg(Num(kLeft), Num(y), Num(kLeft + kPlotWidth));
    svg += QStringLiteral("<text class=\"axis\" x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>")
               .arg(Num(kLeft - 6), Num(y + 4), ReportText::Html(axisText(step * i)));
  }
  const size_t n = bins.size();
  const size_t every = std::max<size_t>(1, (n + kMaxAxisLabels - 1) / kMaxAxisLabels);
  for (size_t i = 0; i < n; i += every) {
    const double x = kLeft + kPlotWidth * (i + 0.5) / n;
    svg += QStringLiteral("<text class=\"axis\" x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>")
               .arg(Num(x), Num(kTop + kPlotHeight + 18), ReportText::Html(bins[i].label));
  }
  return top;
}

}  // namespace

double SvgChart::NiceStep(double max) {
  if (!(max > 0)) {
    return 1;
  }
  const double raw = max / kGridSteps;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (m * power >= raw * (1 - 1e-12)) {
      return m * power;
    }
  }
  return 10 * power;
}

QString SvgChart::StackedBars(const QString& title, const std::vector<Series>& series,
                              const std::vector<Bin>& bins, const AxisText& axisText) {
  double max = 0;
  for (const Bin& bin : bins) {
    double sum = 0;
    for (const double v : bin.values) {
      sum += v;
    }
    max = std::max(max, sum);
  }
  QString svg = Open(title);
  const double top = Frame(svg, max, bins, axisText);
  const size_t n = bins.size();
  const double slot = kPlotWidth / std::max<size_t>(n, 1);
  const double width = std::max(slot * 0.8, 0.6);
  for (size_t i = 0; i < n; ++i) {
    const Bin& bin = bins[i];
    const double x = kLeft + slot * i + (slot - width) / 2;
    double base = kTop + kPlotHeight;
    svg += QStringLiteral("<g%1><title>%2</title>")
               .arg(bin.estimated ? QStringLiteral(" class=\"est\"") : QString(),
                    ReportText::Html(bin.tooltip));
    for (size_t s = 0; s < series.size() && s < bin.values.size(); ++s) {
      const double h = kPlotHeight * bin.values[s] / top;
      if (h <= 0) {
        continue;
      }
      base -= h;
      svg += QStringLiteral("<rect class=\"%1\" x=\"%2\" y=\"%3\" width=\"%4\" height=\"%5\"/>")
                 .arg(ReportText::Html(series[s].cssClass), Num(x), Num(base), Num(width), Num(h));
    }
    svg += QStringLiteral("</g>");
  }
  svg += QStringLiteral("<line class=\"baseline\" x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\"/></svg>")
             .arg(Num(kLeft), Num(kTop + kPlotHeight), Num(kLeft + kPlotWidth));
  return svg;
}

QString SvgChart::Lines(const QString& title, const std::vector<Series>& series,
                        const std::vector<Bin>& bins, const AxisText& axisText) {
  double max = 0;
  for (const Bin& bin : bins) {
    for (const double v : bin.values) {
      max = std::max(max, v);
    }
  }
  QString svg = Open(title);
  const double top = Frame(svg, max, bins, axisText);
  const size_t n = bins.size();
  for (size_t s = 0; s < series.size(); ++s) {
    // A stretch without data breaks the line.
    QString points;
    const auto flush = [&] {
      if (!points.isEmpty()) {
        svg += QStringLiteral("<polyline class=\"%1\" points=\"%2\"/>")
                   .arg(ReportText::Html(series[s].cssClass), points.trimmed());
        points.clear();
      }
    };
    for (size_t i = 0; i < n; ++i) {
      if (!bins[i].hasData || s >= bins[i].values.size()) {
        flush();
        continue;
      }
      const double x = kLeft + kPlotWidth * (i + 0.5) / n;
      const double y = kTop + kPlotHeight - kPlotHeight * bins[i].values[s] / top;
      points += Num(x) + QLatin1Char(',') + Num(y) + QLatin1Char(' ');
      // A lone point between gaps still shows.
      if ((i + 1 == n || !bins[i + 1].hasData) && (i == 0 || !bins[i - 1].hasData)) {
        svg += QStringLiteral("<circle class=\"%1\" cx=\"%2\" cy=\"%3\" r=\"2.5\"/>")
                   .arg(ReportText::Html(series[s].cssClass), Num(x), Num(y));
      }
    }
    flush();
  }
  svg += QStringLiteral("<line class=\"baseline\" x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\"/></svg>")
             .arg(Num(kLeft), Num(kTop + kPlotHeight), Num(kLeft + kPlotWidth));
  return svg;
}

QString SvgChart::QuotaBar(double used, double projected, double limit) {
  constexpr double height = 44;
  const double scale = std::max({limit, projected, used, 1.0});
  const auto at = [&](double v) { return kLeft + kPlotWidth * std::clamp(v / scale, 0.0, 1.0); };
  QString svg = Open(QStringLiteral("Usage against the quota"), height);
  svg += QStringLiteral("<rect class=\"track\" x=\"%1\" y=\"8\" width=\"%2\" height=\"20\"/>")
             .arg(Num(kLeft), Num(kPlotWidth));
  svg += QStringLiteral("<rect class=\"projected\" x=\"%1\" y=\"8\" width=\"%2\" height=\"20\"/>")
             .arg(Num(kLeft), Num(at(projected) - kLeft));
  svg += QStringLiteral("<rect class=\"%1\" x=\"%2\" y=\"8\" width=\"%3\" height=\"20\"/>")
             .arg(used > limit ? QStringLiteral("over") : QStringLiteral("used"), Num(kLeft),
                  Num(at(used) - kLeft));
  svg += QStringLiteral("<line class=\"limit\" x1=\"%1\" y1=\"2\" x2=\"%1\" y2=\"34\"/>")
             .arg(Num(at(limit)));
  svg += QStringLiteral("<text class=\"axis\" x=\"%1\" y=\"22\" text-anchor=\"end\">0</text>")
             .arg(Num(kLeft - 6));
  svg += QStringLiteral("</svg>");
  return svg;
}

}  // namespace velmar
