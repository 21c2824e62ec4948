#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

#include "history/data_plan.h"
#include "history/usage_keeper.h"

namespace velmar {

// The current period's use and, with a plan, where the plan stands: what
// `velmar --usage`, the window, the tray tip and the metrics show.
struct UsageState {
  std::optional<DataPlan> plan;
  PeriodUse use;
  // Which interfaces "All" takes; per interface, whether the plan counts it.
  std::vector<bool> counted;
  std::optional<PlanStatus> status;

  // `fresh`: the counters now are added to what the keeper stored.
  static UsageState Of(const UsageKeeper& keeper, const std::optional<DataPlan>& plan,
                       const UsageKeeper::Selection& all, const QDateTime& now, bool fresh);

  // `velmar --usage`: one line per interface, then the plan's.
  QString Text() const;
  // `velmar --usage --json`, as docs/usage.schema.json describes it.
  QJsonObject Json(const QDateTime& generated) const;
  // One line for the window and the tray tip: used, limit, left, days
  // left and the forecast; empty without a plan.
  QString PlanLine() const;
  // The same in two short lines, for the tray tip (63 characters a line).
  QString PlanTip() const;
  // A few characters for the status bar: "Plan 85 %, 27 d".
  QString PlanBadge() const;
};

// Bytes as a person reads them: "12.3 GB" (decimal units, three digits).
QString ByteText(uint64_t bytes);

}  // namespace velmar
