#pragma once

#include <QLabel>
#include <QTabWidget>

#include "measure/widgets/indicator.h"
#include "measure/widgets/lcd_display.h"

namespace velmar {

// The upper half of the main window: the "Main", "Settings", "Reporting"
// and "Exit" tabs. Each button sends its signal; the window acts on it.
class MainTabs : public QTabWidget {
  Q_OBJECT

 public:
  explicit MainTabs(QWidget* parent);

  Indicator* DownIndicator() const { return down_; }
  Indicator* AverageIndicator() const { return average_; }
  Indicator* UpIndicator() const { return up_; }
  LcdDisplay* TotalDisplay() const { return total_; }
  QWidget* Gauge() const { return gauge_; }
  void SetVersionText(const QString& text) { version_->setText(text); }
  // Whether a click on the meter picture opens the sizer menu (while only
  // the top of the window shows).
  void SetGaugeOpensMenu(bool opens) { gaugeOpensMenu_ = opens; }
  bool GaugeOpensMenu() const { return gaugeOpensMenu_; }
  // Where the current sheet starts inside the tab control.
  int SheetTop() const;

 signals:
  // The buttons of the pages, the page changed.
  void openHelp();
  void openSetupWizard();
  void openDetailedSetup();
  void openAlarms();
  void resetToDefaults();
  void clearTotal();
  void openNetStat();
  void openReportWizard();
  void generateReport();
  void deleteProfiles();
  void purgeHistory();
  void restoreHistory();
  void openWebSite();
  void saveSettingsAndQuit();
  void discardAndQuit();
  // A click on the meter picture while it opens the sizer menu.
  void gaugeClicked();
  void pageChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildMainPage();
  QWidget* BuildSettingsPage();
  QWidget* BuildReportingPage();
  QWidget* BuildExitPage();

  QWidget* gauge_ = nullptr;
  Indicator* down_ = nullptr;
  Indicator* average_ = nullptr;
  Indicator* up_ = nullptr;
  LcdDisplay* total_ = nullptr;
  QLabel* version_ = nullptr;
  bool gaugeOpensMenu_ = false;
};

}  // namespace velmar
