#pragma once

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QWidget>
#include <memory>
#include <vector>

#include "measure/display_unit.h"
#include "measure/result_displays.h"
#include "measure/widgets/lcd_display.h"
#include "measure/widgets/speed_readout.h"

namespace velmar {

// The lower half of the main window: the actual and average speed
// displays, ACTIVE/SLEEP and Spy/Generate, the average lock, the adapter
// caption, and the "3D Graphs" and "Sizer" buttons with their menus.
class MeterPanel : public QWidget {
  Q_OBJECT

 public:
  explicit MeterPanel(QWidget* parent);
  ~MeterPanel() override;

  // The display of a speed digit group; null for the indicators and the
  // total, which live on the tabs.
  LcdDisplay* Lcd(Display display) const;
  void SetSpeedHints(const QString& down, const QString& downAvg, const QString& up,
                     const QString& upAvg);

  void ShowActivePressed(bool active);
  void ShowGeneratePressed(bool generate);
  bool GenerateDown() const { return generate_->isChecked(); }
  void SetModeButtonsEnabled(bool enabled);
  void ShowLockPicture(bool locked);
  void SetAdapterCaption(const QString& caption) { adapterLabel_->setText(caption); }
  // The unit of the speed displays: the caption between them ("Mb/s."),
  // their hints and what the readouts say follow it.
  void ShowSpeedUnit(const DisplayUnit& unit);
  QString UnitCaption() const { return unitLabel_->text(); }
  const std::vector<SpeedReadout*>& Readouts() const { return readouts_; }

  QPushButton* SizerButton() const { return sizer_; }
  QPushButton* GraphButton() const { return graph_; }
  QMenu* GraphMenu() const { return graphMenu_.get(); }
  QMenu* SizerMenu() const { return sizerMenu_.get(); }

 signals:
  // The buttons and the items of their menus.
  void startAnalysis();
  void stopAnalysis();
  void chooseSpy();
  void chooseGenerate();
  void toggleAverageLock();
  void openGraphMenu();
  void showLiveGraph();
  void showHistoryGraph();
  void closeGraph();
  // The sizer button's click (the menu opens beside the button) and its
  // context menu (at the cursor).
  void sizerClicked();
  void sizerContextMenu();
  void onlyBottom();
  void onlyTop();
  void hideWindow();
  void restoreLayout();

 protected:
  // A new theme gets a lock whose shackle shows on the new button face.
  void changeEvent(QEvent* event) override;

 private:
  void BuildDisplays();
  void BuildButtons();
  void BuildMenus();
  // Two checkable buttons of which one is pressed.
  void PairExclusively(QPushButton* first, QPushButton* second);
  // Shows a pair's state without it counting as anyone's toggle.
  void SetPressedQuietly(QPushButton* pressed, QPushButton* released);

  LcdDisplay* downDigits_ = nullptr;
  LcdDisplay* downHundredths_ = nullptr;
  LcdDisplay* upDigits_ = nullptr;
  LcdDisplay* upHundredths_ = nullptr;
  LcdDisplay* downAvgDigits_ = nullptr;
  LcdDisplay* downAvgHundredths_ = nullptr;
  LcdDisplay* upAvgDigits_ = nullptr;
  LcdDisplay* upAvgHundredths_ = nullptr;
  QPushButton* active_ = nullptr;
  QPushButton* sleep_ = nullptr;
  QPushButton* spy_ = nullptr;
  QPushButton* generate_ = nullptr;
  QPushButton* lock_ = nullptr;
  QPushButton* graph_ = nullptr;
  QPushButton* sizer_ = nullptr;
  QLabel* adapterLabel_ = nullptr;
  QLabel* unitLabel_ = nullptr;
  // Downstream, upstream, average downstream, average upstream.
  std::vector<SpeedReadout*> readouts_;
  // The hints as given, for kbit/s, in the order of readouts_.
  QStringList kilobitHints_;
  DisplayUnit unit_;
  bool locked_ = true;
  bool showingState_ = false;
  std::unique_ptr<QMenu> graphMenu_;
  std::unique_ptr<QMenu> sizerMenu_;
};

}  // namespace velmar
