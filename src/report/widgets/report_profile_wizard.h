#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStackedWidget>
#include <map>

#include "report/profile_store.h"
#include "wizard/widgets/wizard_bar.h"
#include "wizard/widgets/wrap_radio_button.h"

namespace velmar {

// "Report Profile Setup Wizard": creates or edits a named report profile,
// one question per page, in the setup wizard's size, bar and pictures.
// Every page checks its entries before the wizard goes on, and "Finish"
// checks them all again; a bad entry gets a message (through
// UserInterface) and saves nothing.
class ReportProfileWizard : public QDialog {
 public:
  static constexpr QSize kSize{484, 266};
  enum Page {
    kNamePage,
    kPeriodPage,
    kGroupingPage,
    kValuesPage,
    kQuotaPage,
    kFormatsPage,
    kEndPage
  };

  explicit ReportProfileWizard(const ProfileStore& profiles, QWidget* parent = nullptr);

  // Shows the wizard modally; the name of the profile it saved, or an
  // empty text when it was cancelled.
  static QString Run(const ProfileStore& profiles, QWidget* parent);

  // The profile the pages show; raises ProfileError for an entry that is
  // not valid (a quota that is no size, an end before the start, ...).
  ReportProfile Profile() const;
  void ShowProfile(const ReportProfile& profile);
  QString ProfileName() const { return nameBox_->currentText(); }

  // The end button on the last page: checks, saves, closes. False, with
  // the reason shown, when nothing was saved.
  bool FinishClick();
  QString SavedName() const { return savedName_; }

  QStackedWidget* NoteBook() const { return notebook_; }
  WizardBar* Bar() const { return bar_; }
  QComboBox* NameBox() const { return nameBox_; }
  WrapRadioButton* PeriodChoice(PeriodKind kind) const { return periods_.at(kind); }
  QDateEdit* FromEdit() const { return from_; }
  QDateEdit* ToEdit() const { return to_; }
  WrapRadioButton* GroupingChoice(Grouping grouping) const { return groupings_.at(grouping); }
  QCheckBox* ValueBox(ReportValue value) const { return values_.at(value); }
  QCheckBox* QuotaBox() const { return quotaBox_; }
  QLineEdit* QuotaEdit() const { return quotaEdit_; }
  QComboBox* QuotaUnit() const { return quotaUnit_; }
  QComboBox* QuotaCountsBox() const { return quotaCounts_; }
  QSpinBox* QuotaDay() const { return quotaDay_; }
  QCheckBox* FormatBox(ReportFormat format) const { return formats_.at(format); }
  QLabel* Summary() const { return summary_; }

 private:
  QWidget* AddPage(const char* name, const QString& question);
  // The pages in order, each with its controls, then the empty profile.
  void BuildPages();
  void BuildNamePage();
  void BuildPeriodPage();
  void BuildGroupingPage();
  void BuildValuesPage();
  void BuildQuotaPage();
  void BuildFormatsPage();
  void BuildEndPage();
  void BuildBar();
  // The last page's account of the profile, or why it cannot be saved.
  void ShowSummary();
  // False, with the reason shown, when page `page` has an entry that
  // cannot be used.
  bool CheckPage(int page);
  // Leaving the name page with the name of an existing profile shows it.
  void LoadNamed();
  void UpdateEnabled();

  const ProfileStore& profiles_;
  QStackedWidget* notebook_;
  WizardBar* bar_;
  QComboBox* nameBox_ = nullptr;
  std::map<PeriodKind, WrapRadioButton*> periods_;
  QDateEdit* from_ = nullptr;
  QDateEdit* to_ = nullptr;
  std::map<Grouping, WrapRadioButton*> groupings_;
  std::map<ReportValue, QCheckBox*> values_;
  QCheckBox* quotaBox_ = nullptr;
  QLineEdit* quotaEdit_ = nullptr;
  QComboBox* quotaUnit_ = nullptr;
  QComboBox* quotaCounts_ = nullptr;
  QSpinBox* quotaDay_ = nullptr;
  std::map<ReportFormat, QCheckBox*> formats_;
  QLabel* summary_ = nullptr;
  QString loadedName_;
  QString savedName_;
};

}  // namespace velmar
