#pragma once

#include <QComboBox>
#include <QDate>
#include <QDialog>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>

namespace velmar {

// Picks a date: a month list, a year spinner, a month grid with week
// numbers and the chosen date under it.
class DateDialog : public QDialog {
 public:
  explicit DateDialog(const QDate& initial, QWidget* parent = nullptr);

  QDate Date() const { return date_; }
  void SetDate(const QDate& date);

  QComboBox* MonthList() { return month_; }
  QSpinBox* YearSpinner() { return year_; }
  QTableWidget* Grid() { return grid_; }
  QLabel* DateLabel() { return label_; }

 private:
  void Rebuild();
  void SetYearMonth(int year, int month);
  void OnCellClicked(int row, int column);

  QDate date_;
  QComboBox* month_;
  QSpinBox* year_;
  QTableWidget* grid_;
  QLabel* label_;
};

}  // namespace velmar
