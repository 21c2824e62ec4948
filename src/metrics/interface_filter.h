#pragma once

#include <QRegularExpression>
#include <QString>

#include "metrics/interface_figures.h"

namespace velmar {

// Which interfaces the metrics show: those whose name the include
// expression matches (all when there is none) and the exclude expression
// does not. Each expression must match the whole name, as Prometheus's
// own regular expressions do: "veth.*" leaves out every veth, "eth0" is
// eth0 alone.
class InterfaceFilter {
 public:
  InterfaceFilter() = default;
  // Raises MetricsError naming the option for an expression that does not
  // compile.
  InterfaceFilter(const QString& include, const QString& exclude);
  // A settings line of "INCLUDE<TAB>EXCLUDE" (either part may be empty).
  static InterfaceFilter FromLine(const QString& line);

  bool Shows(const QString& name) const;
  // Drops the interfaces the filter leaves out.
  void Apply(InterfaceGathering& gathering) const;
  bool Empty() const { return !include_.isValid() && !exclude_.isValid(); }

 private:
  QRegularExpression include_{QStringLiteral("(")};  // invalid: no expression
  QRegularExpression exclude_{QStringLiteral("(")};
};

}  // namespace velmar
