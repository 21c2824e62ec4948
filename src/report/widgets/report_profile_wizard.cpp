#include "report/widgets/report_profile_wizard.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSignalBlocker>
#include <cmath>

#include "platform/app_paths.h"
#include "platform/launcher.h"
#include "platform/user_interface.h"
#include "platform/widgets/field_caption.h"
#include "platform/widgets/fit_to_font.h"
#include "platform/widgets/picture_view.h"
#include "report/report_text.h"
#include "report/widgets/report_art.h"

namespace velmar {

namespace {

constexpr int kPictureWidth = 112;
constexpr int kTextLeft = 128;
constexpr int kTextWidth = 322;
constexpr int kColumn2 = 290;

const QStringList kUnits{QStringLiteral("MB"), QStringLiteral("GB"), QStringLiteral("TB")};

template <typename T>
T* Place(T* widget, const char* name, QRect geometry) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(geometry);
  return widget;
}

QLabel* Text(QWidget* page, const QString& text, QRect geometry) {
  auto* label = new QLabel(text, page);
  label->setGeometry(geometry);
  label->setWordWrap(geometry.height() > 24);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

// A quota in the largest unit that shows it without loss.
std::pair<QString, QString> QuotaText(uint64_t bytes) {
  for (int power = 4; power >= 2; --power) {
    const double unit = std::pow(1000.0, power);
    if (std::fmod(static_cast<double>(bytes), unit) == 0) {
      return {QString::number(static_cast<double>(bytes) / unit, 'f', 0), kUnits[power - 2]};
    }
  }
  return {QString::number(static_cast<double>(bytes) / 1e9, 'g', 12), QStringLiteral("GB")};
}

}  // namespace

ReportProfileWizard::ReportProfileWizard(const ProfileStore& profiles, QWidget* parent)
    : QDialog(parent), profiles_(profiles) {
  setObjectName(QStringLiteral("ReportProfileWizard"));
  setWindowTitle(QStringLiteral("Velmar 2000 Report Profile Wizard"));
  setFixedSize(kSize);
  setModal(true);
  notebook_ = new QStackedWidget(this);
  notebook_->setObjectName(QStringLiteral("Notebook"));
  notebook_->setGeometry(13, 20, 458, 182);
  BuildPages();
  BuildBar();
  connect(notebook_, &QStackedWidget::currentChanged, this, [this](int page) {
    if (page == kEndPage) {
      ShowSummary();
    }
  });

  // Built in design pixels; a larger font makes it all larger.
  FitToFont(*this);
  // Centred on the screen of the parent, as the setup wizard is.
  const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  }
}

void ReportProfileWizard::BuildBar() {
  bar_ = new WizardBar(this);
  bar_->SetAbortCaption(QStringLiteral("&Cancel"));
  bar_->SetReadyCaption(QStringLiteral("&Finish"));
  bar_->SetHelpCaption(QStringLiteral("&Help"));
  bar_->SetEnableHelp(true);
  connect(bar_, &WizardBar::EndClicked, this, [this] {
    if (bar_->LastPage()) {
      FinishClick();
    } else {
      reject();
    }
  });
  // On the last page the end button finishes; leaving without a profile
  // is still one click away there.
  bar_->SetEnableCancel(true);
  connect(bar_, &WizardBar::CancelClicked, this, [this] { reject(); });
  connect(bar_, &WizardBar::HelpClicked, this,
          [] { Launcher::Open(ExecutableDir() + QStringLiteral("/help/index.html#reports")); });
  connect(bar_, &WizardBar::PageChanging, this, [this](bool back, int& target) {
    const int page = notebook_->currentIndex();
    if (back) {
      return;
    }
    if (!CheckPage(page)) {
      target = page;
      return;
    }
    if (page == kNamePage) {
      LoadNamed();
    }
  });
  bar_->SetNoteBook(notebook_);
}

void ReportProfileWizard::ShowSummary() {
  try {
    const ReportProfile p = Profile();
    QString text =
        QStringLiteral("Profile \"%1\": %2, by %3; %4.")
            .arg(
                ProfileName(), p.period.Describe().toLower(), Groupings::Describe(p.grouping),
                Flags::Names(p.formats, Flags::FormatNames()).join(QStringLiteral(", ")).toUpper());
    if (p.quota) {
      text += QStringLiteral(" Quota %1 a month from day %2.")
                  .arg(ReportText::Bytes(p.quota->bytes))
                  .arg(p.quota->startDay);
    }
    summary_->setText(text);
  } catch (const ProfileError& e) {
    summary_->setText(e.Message());
  }
}

QWidget* ReportProfileWizard::AddPage(const char* name, const QString& question) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromLatin1(name));
  const int number = notebook_->count();
  auto* picture = new PictureView(
      [number](QSize size, qreal ratio) { return ReportArt::WizardPicture(number, size, ratio); },
      page);
  picture->setObjectName(QStringLiteral("Picture"));
  picture->setGeometry(0, 0, kPictureWidth, 182);
  Text(page, question, QRect(kTextLeft, 8, kTextWidth, 18));
  notebook_->addWidget(page);
  return page;
}

void ReportProfileWizard::BuildPages() {
  BuildNamePage();
  BuildPeriodPage();
  BuildGroupingPage();
  BuildValuesPage();
  BuildQuotaPage();
  BuildFormatsPage();
  BuildEndPage();
  ShowProfile(ReportProfile{});
}

void ReportProfileWizard::BuildNamePage() {
  QWidget* page = AddPage("NamePage", QStringLiteral("Name of the report profile:"));
  nameBox_ = Place(new QComboBox(page), "NameBox", QRect(kTextLeft, 32, kTextWidth, 26));
  nameBox_->setEditable(true);
  nameBox_->setInsertPolicy(QComboBox::NoInsert);
  nameBox_->addItems(profiles_.Names());
  nameBox_->setCurrentIndex(-1);
  nameBox_->setEditText(QString());
  nameBox_->setAccessibleName(QStringLiteral("Name of the report profile"));
  Text(page, QStringLiteral("Pick a profile to change it, or type a new name."),
       QRect(kTextLeft, 68, kTextWidth, 38));
  Text(page,
       QStringLiteral("A profile is kept in its own folder under \"Profiles\" beside the "
                      "settings, with the reports made from it."),
       QRect(kTextLeft, 110, kTextWidth, 48));
}

void ReportProfileWizard::BuildPeriodPage() {
  QWidget* page = AddPage("PeriodPage", QStringLiteral("Which time should the report cover?"));
  const std::pair<PeriodKind, const char*> periods[] = {
      {PeriodKind::kToday, "Today"},          {PeriodKind::kYesterday, "Yesterday"},
      {PeriodKind::kThisWeek, "This week"},   {PeriodKind::kLast7Days, "Last 7 days"},
      {PeriodKind::kThisMonth, "This month"}, {PeriodKind::kLastMonth, "Last month"},
      {PeriodKind::kRange, "Dates:"}};
  for (int i = 0; i < 7; ++i) {
    const int column = i < 4 ? kTextLeft : kColumn2;
    const int row = i < 4 ? i : i - 4;
    auto* choice = new WrapRadioButton(QString::fromLatin1(periods[i].second), page);
    choice->setObjectName(QStringLiteral("Period_") + ReportPeriod::Name(periods[i].first));
    choice->setGeometry(column, 32 + 24 * row, 150, 22);
    periods_[periods[i].first] = choice;
    connect(choice, &QRadioButton::toggled, this, [this] { UpdateEnabled(); });
  }
  QLabel* fromCaption = Text(page, QStringLiteral("from"), QRect(kColumn2 + 18, 106, 34, 22));
  from_ = Place(new QDateEdit(page), "FromEdit", QRect(kColumn2 + 52, 102, 108, 24));
  QLabel* toCaption = Text(page, QStringLiteral("to"), QRect(kColumn2 + 18, 134, 34, 22));
  to_ = Place(new QDateEdit(page), "ToEdit", QRect(kColumn2 + 52, 130, 108, 24));
  CaptionField(*fromCaption, *from_);
  CaptionField(*toCaption, *to_);
  for (QDateEdit* edit : {from_, to_}) {
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setCalendarPopup(true);
  }
}

void ReportProfileWizard::BuildGroupingPage() {
  QWidget* page = AddPage("GroupingPage", QStringLiteral("Add the figures up by..."));
  const std::pair<Grouping, const char*> groupings[] = {
      {Grouping::kFiveMinutes, "5 minutes (a row for every record)"},
      {Grouping::kHour, "hour"},
      {Grouping::kDay, "day"},
      {Grouping::kWeek, "week (Monday to Sunday)"},
      {Grouping::kMonth, "month"},
      {Grouping::kProgram, "program (what each moved in the period)"}};
  for (int i = 0; i < 6; ++i) {
    auto* choice = new WrapRadioButton(QString::fromLatin1(groupings[i].second), page);
    choice->setObjectName(QStringLiteral("Grouping_") + Groupings::Name(groupings[i].first));
    choice->setGeometry(kTextLeft, 32 + 24 * i, kTextWidth, 22);
    groupings_[groupings[i].first] = choice;
  }
}

void ReportProfileWizard::BuildValuesPage() {
  QWidget* page = AddPage("ValuesPage", QStringLiteral("Show these values:"));
  const std::pair<ReportValue, const char*> values[] = {
      {kDownVolume, "Volume down"},       {kUpVolume, "Volume up"},
      {kTotalVolume, "Volume in total"},  {kAlarmEvents, "Alarm events"},
      {kAverageSpeeds, "Average speeds"}, {kPeakSpeeds, "Peak speeds"},
      {kActiveTime, "Time measured"}};
  for (int i = 0; i < 7; ++i) {
    auto* box = new QCheckBox(QString::fromLatin1(values[i].second), page);
    box->setObjectName(QStringLiteral("Value_") +
                       Flags::Names(values[i].first, Flags::ValueNames()).value(0));
    box->setGeometry(i < 4 ? kTextLeft : kColumn2, 32 + 24 * (i < 4 ? i : i - 4), 158, 22);
    values_[values[i].first] = box;
  }
  Text(page, QStringLiteral("Peak speeds are the highest five-minute averages."),
       QRect(kTextLeft, 134, kTextWidth, 38));
}

void ReportProfileWizard::BuildQuotaPage() {
  QWidget* page = AddPage("QuotaPage", QString());
  quotaBox_ = Place(new QCheckBox(QStringLiteral("Compare with a monthly quota of"), page),
                    "QuotaBox", QRect(kTextLeft, 6, kTextWidth, 22));
  quotaEdit_ = Place(new QLineEdit(page), "QuotaEdit", QRect(kTextLeft + 18, 34, 90, 24));
  quotaUnit_ = Place(new QComboBox(page), "QuotaUnit", QRect(kTextLeft + 114, 34, 64, 24));
  quotaUnit_->addItems(kUnits);
  quotaUnit_->setCurrentIndex(1);
  quotaEdit_->setAccessibleName(QStringLiteral("Monthly quota"));
  quotaUnit_->setAccessibleName(QStringLiteral("Quota unit"));
  QLabel* countsCaption = Text(page, QStringLiteral("counting"), QRect(kTextLeft + 18, 68, 70, 22));
  quotaCounts_ = Place(new QComboBox(page), "QuotaCounts", QRect(kTextLeft + 90, 64, 150, 24));
  CaptionField(*countsCaption, *quotaCounts_);
  quotaCounts_->addItems({QStringLiteral("down + up"), QStringLiteral("downloads only"),
                          QStringLiteral("uploads only")});
  QLabel* dayCaption = Text(page, QStringLiteral("The quota month starts on day"),
                            QRect(kTextLeft + 18, 98, 200, 22));
  quotaDay_ = Place(new QSpinBox(page), "QuotaDay", QRect(kTextLeft + 222, 94, 56, 24));
  CaptionField(*dayCaption, *quotaDay_);
  quotaDay_->setRange(1, 31);
  Text(page,
       QStringLiteral("The report shows the use in the quota month and where it ends at this "
                      "pace."),
       QRect(kTextLeft, 128, kTextWidth, 38));
  connect(quotaBox_, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
}

void ReportProfileWizard::BuildFormatsPage() {
  QWidget* page = AddPage("FormatsPage", QStringLiteral("Write the report as:"));
  const std::pair<ReportFormat, const char*> formats[] = {
      {kHtmlFormat, "HTML page with charts (opened when made)"},
      {kCsvFormat, "CSV table, a row per group"},
      {kJsonFormat, "JSON, for programs"}};
  for (int i = 0; i < 3; ++i) {
    auto* box = new QCheckBox(QString::fromLatin1(formats[i].second), page);
    box->setObjectName(QStringLiteral("Format_") +
                       Flags::Names(formats[i].first, Flags::FormatNames()).value(0));
    box->setGeometry(kTextLeft, 32 + 24 * i, kTextWidth, 22);
    formats_[formats[i].first] = box;
  }
  Text(page,
       QStringLiteral("They go into the profile's folder as report.html, report.csv and "
                      "report.json, replacing the ones made before."),
       QRect(kTextLeft, 110, kTextWidth, 48));
}

void ReportProfileWizard::BuildEndPage() {
  QWidget* page = AddPage("EndPage", QString());
  QLabel* ready = Text(page, QStringLiteral("Ready! Press 'Finish' to save the profile."),
                       QRect(kTextLeft, 8, kTextWidth, 20));
  QFont bold = ready->font();
  bold.setBold(true);
  ready->setFont(bold);
  summary_ = Text(page, QString(), QRect(kTextLeft, 36, kTextWidth, 130));
  summary_->setObjectName(QStringLiteral("Summary"));
}

void ReportProfileWizard::UpdateEnabled() {
  const bool range = periods_.at(PeriodKind::kRange)->isChecked();
  from_->setEnabled(range);
  to_->setEnabled(range);
  const bool quota = quotaBox_->isChecked();
  for (QWidget* w :
       std::initializer_list<QWidget*>{quotaEdit_, quotaUnit_, quotaCounts_, quotaDay_}) {
    w->setEnabled(quota);
  }
}

void ReportProfileWizard::ShowProfile(const ReportProfile& profile) {
  periods_.at(profile.period.kind)->setChecked(true);
  const QDate today = QDate::currentDate();
  from_->setDate(profile.period.from.isValid() ? profile.period.from
                                               : QDate(today.year(), today.month(), 1));
  to_->setDate(profile.period.to.isValid() ? profile.period.to : today);
  groupings_.at(profile.grouping)->setChecked(true);
  for (const auto& [value, box] : values_) {
    box->setChecked(profile.values & value);
  }
  quotaBox_->setChecked(profile.quota.has_value());
  const Quota quota = profile.quota.value_or(Quota{});
  if (profile.quota) {
    const auto [number, unit] = QuotaText(quota.bytes);
    quotaEdit_->setText(number);
    quotaUnit_->setCurrentText(unit);
  } else {
    quotaEdit_->clear();
  }
  quotaCounts_->setCurrentIndex(static_cast<int>(quota.counts));
  quotaDay_->setValue(quota.startDay);
  for (const auto& [format, box] : formats_) {
    box->setChecked(profile.formats & format);
  }
  UpdateEnabled();
}

ReportProfile ReportProfileWizard::Profile() const {
  ReportProfile profile;
  for (const auto& [kind, choice] : periods_) {
    if (choice->isChecked()) {
      profile.period.kind = kind;
    }
  }
  if (profile.period.kind == PeriodKind::kRange) {
    profile.period.from = from_->date();
    profile.period.to = to_->date();
  }
  for (const auto& [grouping, choice] : groupings_) {
    if (choice->isChecked()) {
      profile.grouping = grouping;
    }
  }
  profile.values = 0;
  for (const auto& [value, box] : values_) {
    if (box->isChecked()) {
      profile.values |= value;
    }
  }
  if (quotaBox_->isChecked()) {
    Quota quota;
    try {
      quota.bytes = ParseSize(quotaEdit_->text(), quotaUnit_->currentText());
    } catch (const ProfileError& e) {
      throw ProfileError(QStringLiteral("The quota: ") + e.Message());
    }
    quota.counts = static_cast<QuotaCounts>(quotaCounts_->currentIndex());
    quota.startDay = quotaDay_->value();
    profile.quota = quota;
  }
  profile.formats = 0;
  for (const auto& [format, box] : formats_) {
    if (box->isChecked()) {
      profile.formats |= format;
    }
  }
  profile.Validate();
  return profile;
}

bool ReportProfileWizard::CheckPage(int page) {
  try {
    switch (page) {
      case kNamePage:
        ProfileStore::CheckName(ProfileName());
        break;
      case kPeriodPage:
        if (periods_.at(PeriodKind::kRange)->isChecked() && to_->date() < from_->date()) {
          throw ProfileError(
              QStringLiteral("The date range ends (%1) before it starts (%2).")
                  .arg(to_->date().toString(Qt::ISODate), from_->date().toString(Qt::ISODate)));
        }
        break;
      case kValuesPage:
        if (std::none_of(values_.begin(), values_.end(),
                         [](const auto& v) { return v.second->isChecked(); })) {
          throw ProfileError(QStringLiteral("Choose at least one value to show."));
        }
        break;
      case kQuotaPage:
        if (quotaBox_->isChecked()) {
          try {
            ParseSize(quotaEdit_->text(), quotaUnit_->currentText());
          } catch (const ProfileError& e) {
            throw ProfileError(QStringLiteral("The quota: ") + e.Message());
          }
        }
        break;
      case kFormatsPage:
        if (std::none_of(formats_.begin(), formats_.end(),
                         [](const auto& f) { return f.second->isChecked(); })) {
          throw ProfileError(QStringLiteral("Choose at least one output format."));
        }
        break;
      default:
        break;
    }
  } catch (const ProfileError& e) {
    UserInterface::Get().Message(e.Message());
    return false;
  }
  return true;
}

void ReportProfileWizard::LoadNamed() {
  const QString name = ProfileName();
  if (name == loadedName_ || !profiles_.Exists(name)) {
    return;
  }
  loadedName_ = name;
  try {
    ShowProfile(profiles_.Load(name));
  } catch (const ProfileError& e) {
    ShowProfile(ReportProfile{});
    UserInterface::Get().Message(
        e.Message() +
        QStringLiteral("\r\nThe wizard shows the defaults; \"Finish\" replaces the profile."));
  }
}

bool ReportProfileWizard::FinishClick() {
  try {
    ProfileStore::CheckName(ProfileName());
    profiles_.Save(ProfileName(), Profile());
  } catch (const ProfileError& e) {
    UserInterface::Get().Message(e.Message());
    return false;
  }
  savedName_ = ProfileName();
  accept();
  return true;
}

QString ReportProfileWizard::Run(const ProfileStore& profiles, QWidget* parent) {
  QPointer<ReportProfileWizard> wizard = new ReportProfileWizard(profiles, parent);
  wizard->exec();
  QString saved;
  if (wizard != nullptr) {
    saved = wizard->SavedName();
    delete wizard.data();
  }
  return saved;
}

}  // namespace velmar
