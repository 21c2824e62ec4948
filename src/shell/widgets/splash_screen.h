#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

namespace velmar {

// The start-up picture: borderless, on top, centred (where the window
// system lets it be placed), 320 x 200; closes itself on the first tick of
// its 2-second timer.
class SplashScreen : public QWidget {
 public:
  SplashScreen();
  ~SplashScreen() override;

  void StartTimer() { closeTimer_.start(); }
  // The one splash window, or null.
  static SplashScreen* Instance();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QTimer closeTimer_;
  // Drawn once for the screen it shows on: every paint shows the same.
  QImage picture_;
};

}  // namespace velmar
