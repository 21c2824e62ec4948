#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <array>

namespace velmar {

class SettingsList;

// Edits the alarm lines: the action and its argument, ten conditions with
// their thresholds. Every change goes to its settings line at once (in
// memory, like every setting).
class AlarmWindow : public QDialog {
 public:
  explicit AlarmWindow(SettingsList& settings, QWidget* parent = nullptr);

  QComboBox* Action() { return action_; }
  QLineEdit* Event() { return event_; }
  // The rows, in order: average downstream above, average upstream above,
  // average downstream below, average upstream below, the same four for the
  // actual speeds, then downstream idle and upstream idle.
  QCheckBox* Box(int i) { return conditionBoxes_[static_cast<size_t>(i)]; }
  QLineEdit* Threshold(int i) { return thresholdEdits_[static_cast<size_t>(i)]; }

  // Checks all boxes when any is unchecked, else clears them all.
  void AllOnOff();

  // A threshold that is not a whole number is shown in red, as dark (or
  // light) as the theme's field background needs for a 4.5:1 contrast.
  static bool IsWholeNumber(const QString& text);
  static QColor InvalidColour(const QPalette& palette);
  // The label of the action's parameter field.
  static QString EventCaption(int action);
  QLabel* EventLabel() { return eventLabel_; }

 private:
  // The action, its parameter field, one row per condition at `y`, and the
  // buttons.
  void BuildActionRows();
  void BuildConditionRow(int i, int y);
  void BuildButtons();
  // Widens the action captions' column to its longest caption, the action
  // and its field giving up the room.
  void FitActionCaptions();
  void ShowValidity(int i);
  // Labels the parameter field for `action`, disabled where it means
  // nothing.
  void ShowEventField(int action);

  SettingsList& settings_;
  QComboBox* action_;
  QLabel* trigger_;
  QLabel* eventLabel_;
  QLineEdit* event_;
  std::array<QCheckBox*, 10> conditionBoxes_{};
  std::array<QLineEdit*, 10> thresholdEdits_{};
};

}  // namespace velmar
