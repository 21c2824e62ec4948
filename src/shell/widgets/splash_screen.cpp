#include "shell/widgets/splash_screen.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "shell/paint/meter_art.h"
#include "shell/widgets/window_system.h"

namespace velmar {

namespace {
SplashScreen* instance = nullptr;
}

SplashScreen::SplashScreen()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  instance = this;
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(QStringLiteral("splashScreen"));
  setFixedSize(320, 200);
  // Centred where the window system lets a program place its windows;
  // Wayland places them itself.
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen != nullptr && !OnWayland()) {
    move(screen->geometry().center() - rect().center());
  }
  closeTimer_.setInterval(2000);
  closeTimer_.setSingleShot(true);
  connect(&closeTimer_, &QTimer::timeout, this, &QWidget::close);
}

SplashScreen::~SplashScreen() {
  if (instance == this) {
    instance = nullptr;
  }
}

SplashScreen* SplashScreen::Instance() {
  return instance;
}

void SplashScreen::closeEvent(QCloseEvent* event) {
  // Closed means gone: the window is deleted later, but no one may show
  // it again meanwhile.
  if (instance == this) {
    instance = nullptr;
  }
  QWidget::closeEvent(event);
}

void SplashScreen::paintEvent(QPaintEvent*) {
  // Drawn for the screen's device pixel ratio the first time it shows.
  if (picture_.isNull() || picture_.devicePixelRatio() != devicePixelRatioF()) {
    picture_ = MeterArt::Splash(size(), devicePixelRatioF());
  }
  QPainter p(this);
  p.drawImage(QPointF(0, 0), picture_);
}

}  // namespace velmar
