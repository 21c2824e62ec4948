#include "history/widgets/date_dialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {

namespace {
constexpr int kDateRole = Qt::UserRole + 1;
}

DateDialog::DateDialog(const QDate& initial, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("dateDialog"));
  setWindowTitle(QStringLiteral("Choose a date"));
  auto* box = new QGroupBox(QStringLiteral(" &Date "), this);
  month_ = new QComboBox(box);
  month_->setObjectName(QStringLiteral("MonthList"));
  month_->setMaxVisibleItems(12);
  for (int m = 1; m <= 12; ++m) {
    month_->addItem(QLocale::system().standaloneMonthName(m, QLocale::LongFormat));
  }
  year_ = new QSpinBox(box);
  year_->setObjectName(QStringLiteral("YearSpinner"));
  year_->setRange(-9999, 9999);
  year_->findChild<QLineEdit*>()->setReadOnly(true);
  grid_ = new QTableWidget(7, 8, box);
  grid_->setObjectName(QStringLiteral("MonthGrid"));
  grid_->horizontalHeader()->hide();
  grid_->verticalHeader()->hide();
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  grid_->setMinimumSize(8 * 34, 7 * 24);
  label_ = new QLabel(box);
  label_->setObjectName(QStringLiteral("DateLabel"));
  label_->setAlignment(Qt::AlignCenter);

  auto* top = new QHBoxLayout;
  top->addWidget(month_, 1);
  top->addWidget(year_);
  auto* inner = new QVBoxLayout(box);
  inner->addLayout(top);
  inner->addWidget(grid_);
  inner->addWidget(label_);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(box);
  outer->addWidget(buttons);

  connect(month_, &QComboBox::currentIndexChanged, this,
          [this](int index) { SetYearMonth(date_.year(), index + 1); });
  connect(year_, &QSpinBox::valueChanged, this, [this](int year) {
    // There is no year 0: the spinner steps over it.
    if (year == 0) {
      year_->setValue(date_.year() > 0 ? -1 : 1);
      return;
    }
    SetYearMonth(year, date_.month());
  });
  connect(grid_, &QTableWidget::cellClicked, this, &DateDialog::OnCellClicked);
  SetDate(initial.isValid() ? initial : QDate::currentDate());
}

void DateDialog::SetDate(const QDate& date) {
  if (!date.isValid()) {
    return;
  }
  date_ = date;
  const QSignalBlocker quietMonth(month_);
  const QSignalBlocker quietYear(year_);
  month_->setCurrentIndex(date.month() - 1);
  year_->setValue(date.year());
  Rebuild();
}

void DateDialog::SetYearMonth(int year, int month) {
  // The day is kept where the month has it, else the month's last day.
  const QDate first(year, month, 1);
  SetDate(QDate(year, month, std::min(date_.day(), first.daysInMonth())));
}

void DateDialog::Rebuild() {
  grid_->clearContents();
  const QLocale locale = QLocale::system();
  grid_->setItem(0, 0, new QTableWidgetItem(QStringLiteral("Wk")));
  for (int d = 1; d <= 7; ++d) {
    grid_->setItem(0, d, new QTableWidgetItem(locale.dayName(d, QLocale::ShortFormat)));
  }
  // Weeks start on Monday, numbered as ISO 8601 does.
  const QDate first(date_.year(), date_.month(), 1);
  QDate day = first.addDays(1 - first.dayOfWeek());
  for (int row = 1; row <= 6; ++row) {
    auto* week = new QTableWidgetItem(QString::number(day.weekNumber()));
    week->setForeground(Qt::darkGray);
    grid_->setItem(row, 0, week);
    for (int col = 1; col <= 7; ++col, day = day.addDays(1)) {
      auto* cell = new QTableWidgetItem(QString::number(day.day()));
      cell->setData(kDateRole, day);
      cell->setTextAlignment(Qt::AlignCenter);
      if (day.month() != date_.month()) {
        cell->setForeground(Qt::gray);
      }
      grid_->setItem(row, col, cell);
      if (day == date_) {
        grid_->setCurrentCell(row, col);
      }
    }
  }
  label_->setText(locale.toString(date_, QLocale::LongFormat));
}

void DateDialog::OnCellClicked(int row, int column) {
  if (row == 0 || column == 0) {
    return;
  }
  const QDate picked = grid_->item(row, column)->data(kDateRole).toDate();
  if (picked.isValid()) {
    SetDate(picked);
  }
}

}  // namespace velmar
