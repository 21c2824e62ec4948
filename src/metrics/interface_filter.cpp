#include "metrics/interface_filter.h"

#include <algorithm>

#include "metrics/metrics_server.h"

namespace velmar {

namespace {

QRegularExpression Anchored(const QString& pattern, const char* option) {
  QRegularExpression expression(QRegularExpression::anchoredPattern(pattern));
  if (!expression.isValid()) {
    throw MetricsError(QStringLiteral("%1 \"%2\" is no regular expression: %3")
                           .arg(QLatin1String(option), pattern, expression.errorString()));
  }
  expression.optimize();
  return expression;
}

}  // namespace

InterfaceFilter::InterfaceFilter(const QString& include, const QString& exclude) {
  if (!include.isEmpty()) {
    include_ = Anchored(include, "--metrics-include");
  }
  if (!exclude.isEmpty()) {
    exclude_ = Anchored(exclude, "--metrics-exclude");
  }
}

InterfaceFilter InterfaceFilter::FromLine(const QString& line) {
  const qsizetype tab = line.indexOf(QLatin1Char('\t'));
  return tab < 0 ? InterfaceFilter(line, {}) : InterfaceFilter(line.left(tab), line.mid(tab + 1));
}

bool InterfaceFilter::Shows(const QString& name) const {
  if (include_.isValid() && !include_.match(name).hasMatch()) {
    return false;
  }
  return !exclude_.isValid() || !exclude_.match(name).hasMatch();
}

void InterfaceFilter::Apply(InterfaceGathering& gathering) const {
  if (Empty()) {
    return;
  }
  auto& all = gathering.interfaces;
  all.erase(std::remove_if(all.begin(), all.end(),
                           [this](const InterfaceFigures& i) { return !Shows(i.name); }),
            all.end());
}

}  // namespace velmar
