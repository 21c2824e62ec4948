#pragma once

#include <QString>
#include <optional>

#include "history/data_plan.h"

namespace velmar {

class SettingsList;

// The data plan as the settings file keeps it, on lines of their own
// (56-63) that a person can read and edit.
struct PlanSettings {
  // The plan the lines hold; nullopt without one (line 56 empty) or when a
  // line holds something else than its part of a plan.
  static std::optional<DataPlan> Read(const SettingsList& settings);
  // Writes the plan's lines, adding them to an older file; the warnings'
  // state is left as it is.
  static void Write(const DataPlan& plan, SettingsList& settings);
  // No plan any more: the plan's lines empty.
  static void Clear(SettingsList& settings);

  static PlanWarnings Warned(const SettingsList& settings);
  static void SetWarned(const PlanWarnings& warned, SettingsList& settings);

  // A limit as line 56 shows it: whole GiB in GiB, else GB.
  static QString LimitText(uint64_t bytes);
  // The period as line 57 shows it, and a person reads it.
  static QString PeriodText(const DataPlan& plan);
};

}  // namespace velmar
