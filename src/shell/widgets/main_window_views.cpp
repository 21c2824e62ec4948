#include "shell/widgets/main_window_views.h"

#include <QFontInfo>
#include <algorithm>

#include "config/product.h"
#include "measure/widgets/indicator.h"
#include "measure/widgets/lcd_display.h"

namespace velmar {

// ---- settings ----

void MainWindow::SettingsPart::SetWindowSize(int width, int height) {
  w_.resize(w_.FitToLayout(QSize(width, height)));
}

void MainWindow::SettingsPart::SetSpeedHints(const QString& down, const QString& downAvg,
                                             const QString& up, const QString& upAvg) {
  w_.panel_->SetSpeedHints(down, downAvg, up, upAvg);
}

void MainWindow::SettingsPart::SetTotalDisplay(int value) {
  w_.tabs_->TotalDisplay()->SetValue(value);
}

void MainWindow::SettingsPart::SetAdapterLabel(const QString& caption) {
  w_.panel_->SetAdapterCaption(caption);
}

// ---- analysis ----

void MainWindow::AnalysisPart::ShowActivePressed(bool active) {
  w_.panel_->ShowActivePressed(active);
}

bool MainWindow::AnalysisPart::GenerateDown() const {
  return w_.panel_->GenerateDown();
}

void MainWindow::AnalysisPart::ShowGeneratePressed(bool generate) {
  w_.panel_->ShowGeneratePressed(generate);
}

void MainWindow::AnalysisPart::SetModeButtonsEnabled(bool enabled) {
  w_.panel_->SetModeButtonsEnabled(enabled);
}

void MainWindow::AnalysisPart::ShowLockPicture(bool locked) {
  w_.panel_->ShowLockPicture(locked);
}

void MainWindow::AnalysisPart::ClearActualDisplays() {
  DisplaysPart& displays = w_.views_->displays;
  for (Display d :
       {Display::DownIndicator, Display::AvgIndicator, Display::UpIndicator, Display::DownDigits,
        Display::UpDigits, Display::DownDigits2, Display::UpDigits2}) {
    displays.SetValue(d, 0);
  }
  // The tray tip follows the displays; stopped, it shows no speeds.
  displays.Redraw();
}

void MainWindow::AnalysisPart::ClearAverageDisplays() {
  for (Display d : kAverageDisplays) {
    w_.views_->displays.SetValue(d, 0);
  }
}

void MainWindow::AnalysisPart::SetTotalDisplay(int64_t value) {
  w_.tabs_->TotalDisplay()->SetValue(static_cast<int>(value));
}

// ---- displays ----

void MainWindow::DisplaysPart::SetValue(Display display, int64_t value) {
  const int v = static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
  switch (display) {
    case Display::DownIndicator:
      w_.tabs_->DownIndicator()->SetPosition(v);
      return;
    case Display::UpIndicator:
      w_.tabs_->UpIndicator()->SetPosition(v);
      return;
    case Display::AvgIndicator:
      w_.tabs_->AverageIndicator()->SetPosition(v);
      return;
    case Display::TrafficLCD:
      w_.tabs_->TotalDisplay()->SetValue(v);
      return;
    default:
      w_.panel_->Lcd(display)->SetValue(v);
  }
}

int64_t MainWindow::DisplaysPart::Value(Display display) const {
  switch (display) {
    case Display::DownIndicator:
      return w_.tabs_->DownIndicator()->Position();
    case Display::UpIndicator:
      return w_.tabs_->UpIndicator()->Position();
    case Display::AvgIndicator:
      return w_.tabs_->AverageIndicator()->Position();
    case Display::TrafficLCD:
      return w_.tabs_->TotalDisplay()->Value();
    default:
      return w_.panel_->Lcd(display)->Value();
  }
}

void MainWindow::DisplaysPart::Redraw() {
  if (!w_.session_.State().AnalysisActive) {
    w_.tray_.SetSpeeds(QString());
    return;
  }
  const auto shown = [this](Display whole, Display hundredths) {
    return QStringLiteral("%1.%2")
        .arg(Value(whole))
        .arg(Value(hundredths), 2, 10, QLatin1Char('0'));
  };
  QString unit = w_.panel_->UnitCaption();
  unit.chop(1);  // the caption's full stop
  w_.tray_.SetSpeeds(QStringLiteral("Down %1  Up %2 %3")
                         .arg(shown(Display::DownDigits, Display::DownDigits2),
                              shown(Display::UpDigits, Display::UpDigits2), unit));
}

void MainWindow::DisplaysPart::ShowSpeedUnit(const DisplayUnit& unit) {
  w_.panel_->ShowSpeedUnit(unit);
}

// ---- placement ----

void MainWindow::PlacementPart::SetPlacement(const QRect& rect) {
  if (rect.width() > 0 && rect.height() > 0) {
    w_.setGeometry(QRect(rect.topLeft(), w_.FitToLayout(rect.size())));
  }
}

uint8_t MainWindow::PlacementPart::PlacementState() const {
  // A window hidden in the tray keeps its minimised flag from the click
  // that hid it; the next start must not open it iconified.
  if ((w_.windowState() & Qt::WindowMinimized) && w_.isVisible()) {
    return kMinimised;
  }
  return (w_.windowState() & Qt::WindowMaximized) ? kMaximised : kNormal;
}

void MainWindow::PlacementPart::SetPlacementState(uint8_t s) {
  w_.setWindowState(s == kMinimised   ? Qt::WindowMinimized
                    : s == kMaximised ? Qt::WindowMaximized
                                      : Qt::WindowNoState);
}

// ---- sizer ----

void MainWindow::SizerPart::SetWindowSize(int width, int height) {
  w_.resize(w_.FitToLayout(QSize(width, height)));
}

int MainWindow::SizerPart::TabSheetTop() const {
  return w_.tabs_->SheetTop();
}

int MainWindow::SizerPart::BottomPanelTop() const {
  return w_.panel_->y();
}

void MainWindow::SizerPart::SetBottomPanelTop(int top) {
  w_.panel_->move(w_.panel_->x(), top);
  w_.panel_->raise();
}

int MainWindow::SizerPart::BottomPanelHeight() const {
  return w_.panel_->height();
}

void MainWindow::SizerPart::SetMainPanelVisible(bool visible) {
  w_.tabs_->Gauge()->setVisible(visible);
}

void MainWindow::SizerPart::SetBottomPanelVisible(bool visible) {
  w_.panel_->setVisible(visible);
}

void MainWindow::SizerPart::SetMainPanelOpensMenu(bool opens) {
  w_.tabs_->SetGaugeOpensMenu(opens);
}

// ---- life cycle ----

void MainWindow::LifecyclePart::ResetForStart() {
  // Two points below the design font's nine, and as much larger as the
  // system font is.
  QFont small = w_.statusBar_->font();
  small.setPointSizeF(std::max(1.0, QFontInfo(w_.font()).pointSizeF() * 7.0 / 9.0));
  w_.statusBar_->setFont(small);
  w_.closeAllowed_ = false;
  w_.tabs_->SetGaugeOpensMenu(false);
  w_.tabs_->SetVersionText(QStringLiteral("V. ") + kVersionText);
  w_.sizer_.Record();
}

void MainWindow::LifecyclePart::CloseForShutdown() {
  w_.graphs_.CloseGraph();
  w_.sizer_.Restore();
}

}  // namespace velmar
