#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

namespace velmar {

// The notification-area icon and its menu: "&Show", "Active", "Stay on
// &Top", "&Hide", "&Help", "Velmar Website", "&End". A left click on the
// icon brings the window back.
class TrayMenu : public QObject {
 public:
  struct Commands {
    std::function<void()> show;
    std::function<void()> toggleActive;
    std::function<void()> toggleStayOnTop;
    std::function<void()> hide;
    std::function<void()> help;
    std::function<void()> webSite;
    std::function<void()> end;
    std::function<void()> iconClicked;
  };

  explicit TrayMenu(Commands commands);
  ~TrayMenu() override;

  // The icon's tip: the hint (as much as a tray tip holds), and under it
  // the speeds while the meter measures (empty: none).
  void SetHint(const QString& hint);
  void SetSpeeds(const QString& speeds);
  QString Hint() const { return hint_; }
  void SetActiveChecked(bool checked) { active_->setChecked(checked); }
  void SetStayOnTopChecked(bool checked) { stayOnTop_->setChecked(checked); }
  void HideIcon() { icon_->hide(); }
  QSystemTrayIcon* Icon() { return icon_.get(); }
  QMenu* Menu() { return menu_.get(); }

 private:
  Commands commands_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  QAction* active_ = nullptr;
  QAction* stayOnTop_ = nullptr;
  void ShowTip();

  QString hint_;
  QString speeds_;
};

}  // namespace velmar
