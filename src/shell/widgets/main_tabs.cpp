#include "shell/widgets/main_tabs.h"

#include <QEvent>

#include "platform/widgets/field_caption.h"
#include "platform/widgets/picture_view.h"
#include "shell/paint/meter_art.h"
#include "shell/widgets/window_parts.h"

namespace velmar {

namespace {

// A line of a tab: its caption (with its mnemonic), and a "..." button
// with its command.
struct TabRow {
  const char* name;
  const char* label;
  const char* hint;
  void (MainTabs::*chosen)();
};

// The "..." button of a row: the caption is its buddy, so the caption's
// mnemonic reaches it, and screen readers call it after its row.
void NameAfterRow(QLabel* caption, QPushButton* button, const QString& hint) {
  CaptionField(*caption, *button);
  button->setAccessibleName(caption->text().remove(QLatin1Char('&')));
  button->setAccessibleDescription(hint);
}

}  // namespace

MainTabs::MainTabs(QWidget* parent) : QTabWidget(parent) {
  setObjectName(QStringLiteral("tabs"));
  setGeometry(4, 4, 273, 231);
  addTab(BuildMainPage(), QStringLiteral("&Main"));
  addTab(BuildSettingsPage(), QStringLiteral("&Settings"));
  addTab(BuildReportingPage(), QStringLiteral("&Reporting"));
  addTab(BuildExitPage(), QStringLiteral("E&xit"));
  setCurrentIndex(2);
  connect(this, &QTabWidget::currentChanged, this, &MainTabs::pageChanged);
}

QWidget* MainTabs::BuildMainPage() {
  auto* page = new QWidget;
  auto* gauge = Place(new PictureView(&MeterArt::MeterBackground, page), 4, 4, 259, 160);
  gauge->setObjectName(QStringLiteral("gauge"));
  gauge->installEventFilter(this);
  gauge_ = gauge;
  const int barTop = 14;
  const int barHeight = 124;
  const auto bar = [&](const char* name, const char* accessibleName, const char* hint, int x) {
    auto* indicator = Place(new Indicator(gauge_), x, barTop, 30, barHeight);
    indicator->setObjectName(QString::fromLatin1(name));
    indicator->setAccessibleName(QString::fromLatin1(accessibleName));
    indicator->setToolTip(QString::fromLatin1(hint));
    return indicator;
  };
  down_ = bar("DownIndicator", "Downstream speed bar", "Actual Downstream Speed (0..100%)", 40);
  average_ = bar("AvgIndicator", "Average speed bar", "Overall Average Speed (0..100%)", 115);
  // Blue, so the average cannot be taken for one of the two speeds.
  average_->SetForeground(QColor(149, 173, 255));
  up_ = bar("UpIndicator", "Upstream speed bar", "Actual Upstream Speed (0..100%)", 190);
  version_ = FixedLabel(page, QString(), 8, 172, 80, 18);
  version_->setObjectName(QStringLiteral("versionLabel"));
  auto* help = FixedButton(page, QStringLiteral("helpButton"), QStringLiteral("&Help"),
                           QStringLiteral("HTML Help"), 183, 168, 80, 25);
  connect(help, &QPushButton::clicked, this, &MainTabs::openHelp);
  return page;
}

QWidget* MainTabs::BuildSettingsPage() {
  auto* page = new QWidget;
  const TabRow rows[] = {
      {"wizardButton", "&Quick configuration using Wizard", "Quick setup using wizard",
       &MainTabs::openSetupWizard},
      {"setupButton", "&Custom configuration", "Tweaking the Velmar parameters",
       &MainTabs::openDetailedSetup},
      {"alarmsButton", "S&et alarms", "Define alarms and actions", &MainTabs::openAlarms},
      {"resetButton", "Reset all &values to installation defaults",
       "Reset all configuration parameters to default values", &MainTabs::resetToDefaults},
  };
  int y = 10;
  for (const TabRow& r : rows) {
    QLabel* caption = FixedLabel(page, QString::fromLatin1(r.label), 8, y, 190, 30);
    caption->setWordWrap(true);
    auto* b = FixedButton(page, QString::fromLatin1(r.name), QStringLiteral("..."),
                          QString::fromLatin1(r.hint), 213, y + 2, 48, 26);
    NameAfterRow(caption, b, QString::fromLatin1(r.hint));
    connect(b, &QPushButton::clicked, this, r.chosen);
    y += 46;
  }
  return page;
}

QWidget* MainTabs::BuildReportingPage() {
  auto* page = new QWidget;
  FixedLabel(page, QStringLiteral("Total traffic:"), 6, 4, 100, 16);
  total_ = Digits(page, QStringLiteral("TrafficLCD"), 14, 6, 22, 11, 22);
  total_->setToolTip(QStringLiteral("Total traffic generated since Velmar was started"));
  total_->setAccessibleName(QStringLiteral("Total traffic"));
  total_->SetReadoutUnit(QStringLiteral("KBytes"));
  FixedLabel(page, QStringLiteral("KBytes"), 164, 24, 50, 18);
  auto* clear = FixedButton(page, QStringLiteral("clearTotalButton"), QStringLiteral("&Clear"),
                            QStringLiteral("Reset the counter"), 218, 20, 46, 24);
  connect(clear, &QPushButton::clicked, this, &MainTabs::clearTotal);

  const TabRow rows[] = {
      {"netStatButton", "Show live &Net statistics (NetStat)", "Network statistics",
       &MainTabs::openNetStat},
      {"reportWizardButton", "Report Profile Setup &Wizard", "Create or change a report profile",
       &MainTabs::openReportWizard},
      {"generateReportButton", "Generate Rep&ort", "Write the reports of a profile",
       &MainTabs::generateReport},
      {"deleteProfilesButton", "Delete Pro&files", "Delete a previously created profile",
       &MainTabs::deleteProfiles},
      {"purgeHistoryButton", "P&urge/backup History",
       "Clear all Velmar history information stored on this system", &MainTabs::purgeHistory},
      {"restoreHistoryButton", "Restore sa&ved History", "Bring back history saved by Purge/backup",
       &MainTabs::restoreHistory},
  };
  int y = 52;
  for (const TabRow& r : rows) {
    QLabel* caption = FixedLabel(page, QString::fromLatin1(r.label), 8, y, 200, 22);
    auto* b = FixedButton(page, QString::fromLatin1(r.name), QStringLiteral("..."),
                          QString::fromLatin1(r.hint), 218, y, 46, 22);
    NameAfterRow(caption, b, QString::fromLatin1(r.hint));
    connect(b, &QPushButton::clicked, this, r.chosen);
    y += 25;
  }
  return page;
}

QWidget* MainTabs::BuildExitPage() {
  auto* page = new QWidget;
  const TabRow rows[] = {
      {"webSiteButton", "Visit the Velmar &WebSite", "", &MainTabs::openWebSite},
      {"saveAndQuitButton", "Save settings and &Quit", "", &MainTabs::saveSettingsAndQuit},
      {"discardAndQuitButton", "D&iscard changes and Quit", "", &MainTabs::discardAndQuit},
  };
  int y = 20;
  for (const TabRow& r : rows) {
    auto* b = FixedButton(page, QString::fromLatin1(r.name), QString::fromLatin1(r.label),
                          QString(), 30, y, 207, 34);
    connect(b, &QPushButton::clicked, this, r.chosen);
    y += 52;
  }
  return page;
}

int MainTabs::SheetTop() const {
  const QWidget* sheet = currentWidget();
  return sheet != nullptr ? sheet->mapTo(this, QPoint(0, 0)).y() : 0;
}

bool MainTabs::eventFilter(QObject* watched, QEvent* event) {
  if (watched == gauge_ && event->type() == QEvent::MouseButtonRelease && gaugeOpensMenu_) {
    emit gaugeClicked();
    return true;
  }
  return QTabWidget::eventFilter(watched, event);
}

}  // namespace velmar
