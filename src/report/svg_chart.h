#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace velmar {

// The report's charts as inline SVG. Colours come from CSS classes of the
// page ("down", "up", ...), so the charts follow its light, dark and print
// styles. Every text is escaped here; callers pass plain text.
class SvgChart {
 public:
  struct Series {
    QString name;
    QString cssClass;
  };
  // One bar, or one point of each line.
  struct Bin {
    QString label;               // under the axis (not every bin's is shown)
    QString tooltip;             // the exact figures
    std::vector<double> values;  // one per series
    bool estimated = false;
    bool hasData = true;  // lines skip bins without data
  };
  using AxisText = std::function<QString(double)>;

  // Bars with the series stacked from the first one up.
  static QString StackedBars(const QString& title, const std::vector<Series>& series,
                             const std::vector<Bin>& bins, const AxisText& axisText);
  // One line per series through the bins that have data.
  static QString Lines(const QString& title, const std::vector<Series>& series,
                       const std::vector<Bin>& bins, const AxisText& axisText);
  // `used` and `projected` against `limit`, with the limit marked.
  static QString QuotaBar(double used, double projected, double limit);

  // A round top for an axis: 1, 2, 2.5 or 5 times a power of ten, at or
  // above `value`, for four grid steps.
  static double NiceStep(double max);
};

}  // namespace velmar
