#pragma once

#include <QStringList>

namespace velmar {

class SettingsList;

// The data plan's setup as a few modal choices through the UserInterface
// seam: the interfaces (those NetworkManager marks metered are offered
// first, with a question), the limit, the period, what counts and the
// warnings. The chosen plan goes to the settings lines; true when the
// lines changed. Cancelling any step changes nothing.
class PlanSetup {
 public:
  PlanSetup(SettingsList& settings, QStringList interfaces, QStringList metered)
      : settings_(settings), interfaces_(std::move(interfaces)), metered_(std::move(metered)) {}

  bool Run();

  static const QString kNoPlan;

 private:
  SettingsList& settings_;
  QStringList interfaces_;  // this computer's, by name
  QStringList metered_;
};

}  // namespace velmar
