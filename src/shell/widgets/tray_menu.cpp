#include "shell/widgets/tray_menu.h"

#include "shell/paint/application_icon.h"

namespace velmar {

namespace {

template <typename Signal>
QAction* AddItem(QMenu& menu, const QString& caption, TrayMenu* tray, Signal chosen) {
  QAction* action = menu.addAction(caption);
  QObject::connect(action, &QAction::triggered, tray, chosen);
  return action;
}

}  // namespace

TrayMenu::TrayMenu() {
  menu_ = std::make_unique<QMenu>();
  menu_->setObjectName(QStringLiteral("trayMenu"));
  AddItem(*menu_, QStringLiteral("&Show"), this, &TrayMenu::showChosen);
  active_ = AddItem(*menu_, QStringLiteral("Active"), this, &TrayMenu::activeToggled);
  active_->setCheckable(true);
  stayOnTop_ = AddItem(*menu_, QStringLiteral("Stay on &Top"), this, &TrayMenu::stayOnTopToggled);
  stayOnTop_->setCheckable(true);
  AddItem(*menu_, QStringLiteral("&Hide"), this, &TrayMenu::hideChosen);
  menu_->addSeparator();
  AddItem(*menu_, QStringLiteral("Data &plan..."), this, &TrayMenu::dataPlanChosen);
  AddItem(*menu_, QStringLiteral("&Help"), this, &TrayMenu::helpChosen);
  AddItem(*menu_, QStringLiteral("Velmar Website"), this, &TrayMenu::webSiteChosen);
  AddItem(*menu_, QStringLiteral("&End"), this, &TrayMenu::endChosen);
}

void TrayMenu::Install() {
  if (icon_ != nullptr) {
    return;
  }
  icon_ = std::make_unique<QSystemTrayIcon>();
  icon_->setIcon(ApplicationIcon());
  icon_->setContextMenu(menu_.get());
  connect(icon_.get(), &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) {
              emit iconClicked();
            }
          });
  ShowTip();
  icon_->show();
}

TrayMenu::~TrayMenu() = default;

void TrayMenu::SetHint(const QString& hint) {
  hint_ = hint;
  ShowTip();
}

void TrayMenu::SetSpeeds(const QString& speeds) {
  if (speeds != speeds_) {
    speeds_ = speeds;
    ShowTip();
  }
}

void TrayMenu::SetPlan(const QString& plan) {
  if (plan != plan_) {
    plan_ = plan;
    ShowTip();
  }
}

QString TrayMenu::Tip() const {
  // The tip of a tray icon holds 63 characters a line.
  QString tip =
      speeds_.isEmpty() ? hint_.left(63) : hint_.left(63) + QLatin1Char('\n') + speeds_.left(63);
  for (const QString& line : plan_.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    tip += QLatin1Char('\n') + line.left(63);
  }
  return tip;
}

void TrayMenu::ShowTip() {
  if (icon_ != nullptr) {
    icon_->setToolTip(Tip());
  }
}

void TrayMenu::DisableStayOnTop(const QString& reason) {
  stayOnTop_->setEnabled(false);
  stayOnTop_->setToolTip(reason);
  menu_->setToolTipsVisible(true);
}

void TrayMenu::HideIcon() {
  if (icon_ != nullptr) {
    icon_->hide();
  }
}

}  // namespace velmar
