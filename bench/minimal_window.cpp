// The least a Qt program with the meter's shape maps: a window with a tab
// widget and a tray icon, nothing measured. bench/window_memory.py sets the
// meter's window beside it.
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTabWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QTabWidget tabs;
  tabs.setWindowTitle(QStringLiteral("Minimal Qt window"));
  tabs.addTab(new QLabel(QStringLiteral("0.00 kbit/s")), QStringLiteral("Meter"));
  tabs.addTab(new QLabel(QStringLiteral("Settings")), QStringLiteral("Settings"));
  tabs.resize(400, 300);
  tabs.show();
  QPixmap pixmap(22, 22);
  pixmap.fill(Qt::darkGreen);
  QSystemTrayIcon tray{QIcon(pixmap)};
  tray.show();
  return app.exec();
}
