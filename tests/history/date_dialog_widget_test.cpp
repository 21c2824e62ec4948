#include "history/widgets/date_dialog.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(DateDialogTest, MonthYearAndGridChooseTheDate) {
  DateDialog dialog(QDate(2026, 12, 8));
  EXPECT_EQ(dialog.Date(), QDate(2026, 12, 8));
  EXPECT_EQ(dialog.MonthList()->count(), 12);
  EXPECT_EQ(dialog.MonthList()->currentIndex(), 11);
  EXPECT_EQ(dialog.YearSpinner()->minimum(), -9999);
  EXPECT_EQ(dialog.YearSpinner()->maximum(), 9999);
  QTableWidget* grid = dialog.Grid();
  ASSERT_EQ(grid->rowCount(), 7);
  ASSERT_EQ(grid->columnCount(), 8);
  // December 2026 starts on a Tuesday in ISO week 49.
  EXPECT_EQ(grid->item(1, 0)->text(), "49");
  EXPECT_EQ(grid->item(1, 1)->text(), "30") << "Monday 30 November, from the month before";
  EXPECT_EQ(grid->item(1, 2)->text(), "1");
  EXPECT_FALSE(dialog.DateLabel()->text().isEmpty());

  // A click on a day chooses it; the grid's edges do not.
  emit grid->cellClicked(2, 2);  // Tuesday 8 December
  EXPECT_EQ(dialog.Date(), QDate(2026, 12, 8));
  emit grid->cellClicked(5, 4);
  EXPECT_EQ(dialog.Date(), QDate(2026, 12, 31));
  emit grid->cellClicked(0, 3);
  emit grid->cellClicked(3, 0);
  EXPECT_EQ(dialog.Date(), QDate(2026, 12, 31));

  // A shorter month keeps the day within it.
  dialog.MonthList()->setCurrentIndex(1);
  EXPECT_EQ(dialog.Date(), QDate(2026, 2, 28));
  dialog.YearSpinner()->setValue(2028);
  EXPECT_EQ(dialog.Date(), QDate(2028, 2, 28));
  // The spinner steps over the year 0 both ways.
  dialog.SetDate(QDate(1, 3, 1));
  dialog.YearSpinner()->setValue(0);
  EXPECT_EQ(dialog.Date().year(), -1);
  dialog.YearSpinner()->setValue(0);
  EXPECT_EQ(dialog.Date().year(), 1);
  // A day clicked from the next month moves there.
  dialog.SetDate(QDate(2026, 12, 8));
  emit grid->cellClicked(6, 7);
  EXPECT_EQ(dialog.Date().month(), 1);
}

}  // namespace
}  // namespace velmar
