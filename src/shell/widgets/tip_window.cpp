#include "shell/widgets/tip_window.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "platform/widgets/fit_to_font.h"
#include "platform/widgets/picture_view.h"
#include "shell/paint/meter_art.h"

namespace velmar {

namespace {
TipWindow* shownTip = nullptr;
}

QString TipText(Tip tip) {
  switch (tip) {
    case Tip::kAverageUnlocked:
      return QStringLiteral(
          "If you leave off the Average lock (little lock button on main screen), the history "
          "data (used e.g. by the Reporting engine) will hold many \"0\" values! We advise to "
          "switch off the Average lock only for a short period of time.");
    case Tip::kAllAdapters:
      return QStringLiteral(
          "We have excluded the \"Microsoft TCP LoopBack Interface\" from the \"All\" selection, "
          "because not doing so will result in loopback behaviour and thus showing the same max. "
          "reading for up and downstream speeds.");
    case Tip::kGraphSliders:
      return QStringLiteral(
          "Use the sliders to tilt, rotate and scale the graph. You can zoom in on specific "
          "values by selecting a part of the graph while holding down the left mouse key.");
  }
  return QString();
}

TipWindow::TipWindow(const QString& text, QWidget* parent) : QDialog(parent) {
  shownTip = this;
  setObjectName(QStringLiteral("tipWindow"));
  setWindowTitle(QStringLiteral("Information"));
  setFixedSize(417, 233);
  // The window paints its own background, so it brings its text colours.
  setPalette(MeterArt::Skin(palette(), MeterArt::Surface::kWindow));
  setAutoFillBackground(true);

  auto* picture = new PictureView(
      [](QSize size, qreal ratio) {
        QImage icon =
            MeterArt::TrayIcon(static_cast<int>(std::min(size.width(), size.height()) * ratio));
        icon.setDevicePixelRatio(ratio);
        return icon;
      },
      this);
  picture->setGeometry(16, 32, 72, 72);
  text_ = new QPlainTextEdit(this);
  text_->setObjectName(QStringLiteral("tipText"));
  text_->setGeometry(105, 32, 298, 133);
  text_->setReadOnly(true);
  text_->setFrameShape(QFrame::NoFrame);
  text_->setPlainText(text);
  dontRemindBox_ = new QCheckBox(QStringLiteral("Don't remind me again"), this);
  dontRemindBox_->setObjectName(QStringLiteral("dontRemindBox"));
  dontRemindBox_->setGeometry(105, 180, 180, 24);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("closeButton"));
  close->setGeometry(318, 178, 85, 28);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  FitToFont(*this);
}

TipWindow::~TipWindow() {
  if (shownTip == this) {
    shownTip = nullptr;
  }
}

TipWindow* TipWindow::Instance() {
  return shownTip;
}

}  // namespace velmar
