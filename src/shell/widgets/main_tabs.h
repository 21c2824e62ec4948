#pragma once

#include <QLabel>
#include <QTabWidget>
#include <functional>

#include "measure/widgets/indicator.h"
#include "measure/widgets/lcd_display.h"

namespace velmar {

// The upper half of the main window: the "Main", "Settings", "Reporting"
// and "Exit" tabs. Each button runs one of the commands it is given.
class MainTabs : public QTabWidget {
 public:
  struct Commands {
    std::function<void()> openHelp;
    std::function<void()> openSetupWizard;
    std::function<void()> openDetailedSetup;
    std::function<void()> openAlarms;
    std::function<void()> resetToDefaults;
    std::function<void()> clearTotal;
    std::function<void()> openNetStat;
    std::function<void()> openReportWizard;
    std::function<void()> generateReport;
    std::function<void()> deleteProfiles;
    std::function<void()> purgeHistory;
    std::function<void()> restoreHistory;
    std::function<void()> openWebSite;
    std::function<void()> saveSettingsAndQuit;
    std::function<void()> discardAndQuit;
    // A click on the meter picture while it opens the sizer menu.
    std::function<void()> gaugeClicked;
    std::function<void()> pageChanged;
  };

  MainTabs(QWidget* parent, Commands commands);

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

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildMainPage();
  QWidget* BuildSettingsPage();
  QWidget* BuildReportingPage();
  QWidget* BuildExitPage();

  Commands commands_;
  QWidget* gauge_ = nullptr;
  Indicator* down_ = nullptr;
  Indicator* average_ = nullptr;
  Indicator* up_ = nullptr;
  LcdDisplay* total_ = nullptr;
  QLabel* version_ = nullptr;
  bool gaugeOpensMenu_ = false;
};

}  // namespace velmar
