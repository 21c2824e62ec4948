#include "shell/plan_watch.h"

#include "history/plan_settings.h"
#include "metrics/metrics_exporter.h"

namespace velmar {

void PlanWatch::Reload() {
  plan_ = PlanSettings::Read(settings_);
  keeper_.SetPlan(plan_);
}

void PlanWatch::Update(const UsageKeeper::Selection& all, MetricsExporter* metrics) {
  const QDateTime now = QDateTime::currentDateTime();
  state_ = UsageState::Of(keeper_, plan_, all, now, false);
  if (metrics != nullptr) {
    std::optional<MetricsSnapshot::Plan> figures;
    if (state_.status) {
      figures = MetricsSnapshot::Plan{state_.status->used, plan_->limitBytes,
                                      state_.status->end.toMSecsSinceEpoch() / 1000.0};
    }
    metrics->SetPlan(figures);
  }
  emit lineChanged(state_.PlanLine());
  if (!alarm_.Check(state_).isEmpty()) {
    emit warned();
  }
}

}  // namespace velmar
