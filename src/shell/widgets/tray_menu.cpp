#include "shell/widgets/tray_menu.h"

#include "shell/paint/application_icon.h"

namespace velmar {

namespace {

QAction* AddItem(QMenu& menu, const QString& caption, const std::function<void()>& command) {
  QAction* action = menu.addAction(caption);
  QObject::connect(action, &QAction::triggered, &menu, [&command] { command(); });
  return action;
}

}  // namespace

TrayMenu::TrayMenu(Commands commands) : commands_(std::move(commands)) {
  menu_ = std::make_unique<QMenu>();
  menu_->setObjectName(QStringLiteral("trayMenu"));
  AddItem(*menu_, QStringLiteral("&Show"), commands_.show);
  active_ = AddItem(*menu_, QStringLiteral("Active"), commands_.toggleActive);
  active_->setCheckable(true);
  stayOnTop_ = AddItem(*menu_, QStringLiteral("Stay on &Top"), commands_.toggleStayOnTop);
  stayOnTop_->setCheckable(true);
  AddItem(*menu_, QStringLiteral("&Hide"), commands_.hide);
  menu_->addSeparator();
  AddItem(*menu_, QStringLiteral("Data &plan..."), commands_.dataPlan);
  AddItem(*menu_, QStringLiteral("&Help"), commands_.help);
  AddItem(*menu_, QStringLiteral("Velmar Website"), commands_.webSite);
  AddItem(*menu_, QStringLiteral("&End"), commands_.end);
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
              commands_.iconClicked();
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
