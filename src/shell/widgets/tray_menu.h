#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <memory>

namespace velmar {

// The notification-area icon and its menu: "&Show", "Active", "Stay on
// &Top", "&Hide", "&Help", "Velmar Website", "&End". A left click on the
// icon brings the window back.
//
// The icon itself is made only by Install, once there is a tray to show it:
// Qt decides at its first tray icon whether icons go over D-Bus, and keeps
// that answer for the life of the process.
class TrayMenu : public QObject {
  Q_OBJECT

 public:
  TrayMenu();
  ~TrayMenu() override;

  // Makes and shows the icon; nothing once it is there.
  void Install();
  bool Installed() const { return icon_ != nullptr; }

  // The icon's tip: the hint (as much as a tray tip holds), and under it
  // the speeds while the meter measures (empty: none).
  void SetHint(const QString& hint);
  void SetSpeeds(const QString& speeds);
  // The data plan's lines under them (empty: no plan).
  void SetPlan(const QString& plan);
  QString Hint() const { return hint_; }
  QString Tip() const;
  void SetActiveChecked(bool checked) { active_->setChecked(checked); }
  void SetStayOnTopChecked(bool checked) { stayOnTop_->setChecked(checked); }
  // Where the window system keeps no window on top, the item says why.
  void DisableStayOnTop(const QString& reason);
  void HideIcon();
  // Null until installed.
  QSystemTrayIcon* Icon() { return icon_.get(); }
  QMenu* Menu() { return menu_.get(); }

 signals:
  // The menu's items, and a left click on the icon.
  void showChosen();
  void activeToggled();
  void stayOnTopToggled();
  void hideChosen();
  void dataPlanChosen();
  void helpChosen();
  void webSiteChosen();
  void endChosen();
  void iconClicked();

 private:
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  QAction* active_ = nullptr;
  QAction* stayOnTop_ = nullptr;
  void ShowTip();
  QString plan_;

  QString hint_;
  QString speeds_;
};

}  // namespace velmar
