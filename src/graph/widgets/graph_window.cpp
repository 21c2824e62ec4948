#include "graph/widgets/graph_window.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include "graph/chart_renderer.h"
#include "graph/widgets/print_module.h"
#include "platform/atomic_file.h"
#include "platform/exception.h"
#include "platform/user_interface.h"

namespace velmar {

const QString GraphWindow::kCaption = QStringLiteral("Velmar 3D Graph");
const QSize GraphWindow::kSize(413, 400);
const QString GraphWindow::kNoPrinterMessage = QStringLiteral(
    "No printer is configured on this computer, so the graph cannot be printed.\n"
    "Set up a default printer, or use \"Save Pic\" to keep the graph as a picture.");
const QString GraphWindow::kPrintJobName = QStringLiteral("Chart1");

namespace {

GraphWindow* current = nullptr;
bool firstActivation = true;

enum class Glyph { Bars, Lines, Solid, Dots, Print, Save, Close };

// Small pictures for the buttons, drawn rather than shipped.
QIcon MakeGlyph(Glyph glyph) {
  QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  const QColor dark(60, 60, 60);
  switch (glyph) {
    case Glyph::Bars:
      p.fillRect(QRectF(2, 8, 3, 7), QColor(0, 200, 0));
      p.fillRect(QRectF(6.5, 4, 3, 11), QColor(230, 0, 0));
      p.fillRect(QRectF(11, 10, 3, 5), QColor(0, 120, 0));
      break;
    case Glyph::Lines:
      p.setPen(QPen(QColor(200, 160, 0), 2));
      p.drawPolyline(QPolygonF{QPointF(1, 13), QPointF(5, 6), QPointF(10, 10), QPointF(15, 3)});
      break;
    case Glyph::Solid:
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(220, 180, 0));
      p.drawPolygon(QPolygonF{QPointF(1, 15), QPointF(1, 11), QPointF(5, 6), QPointF(10, 9),
                              QPointF(15, 3), QPointF(15, 15)});
      break;
    case Glyph::Dots:
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(200, 160, 0));
      for (const QPointF c : {QPointF(3, 12), QPointF(7, 6), QPointF(11, 9), QPointF(14, 3)}) {
        p.drawRect(QRectF(c.x() - 1.5, c.y() - 1.5, 3, 3));
      }
      break;
    case Glyph::Print:
      p.setPen(QPen(dark, 1));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4.5, 1.5, 7, 5));
      p.setBrush(QColor(150, 150, 150));
      p.drawRect(QRectF(1.5, 6.5, 13, 6));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4.5, 10.5, 7, 4));
      break;
    case Glyph::Save:
      p.setPen(QPen(dark, 1));
      p.setBrush(QColor(40, 70, 160));
      p.drawRect(QRectF(1.5, 1.5, 13, 13));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4.5, 1.5, 7, 5));
      p.fillRect(QRectF(4, 10, 8, 4), QColor(200, 200, 200));
      break;
    case Glyph::Close:
      p.setPen(QPen(QColor(200, 0, 0), 2.2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(4, 4), QPointF(12, 12));
      p.drawLine(QPointF(12, 4), QPointF(4, 12));
      break;
  }
  return QIcon(QPixmap::fromImage(image));
}

QSlider* MakeSlider(Qt::Orientation orientation, const char* name, const QString& hint, int maximum,
                    int start, int tick) {
  auto* slider = new QSlider(orientation);
  slider->setObjectName(QString::fromLatin1(name));
  slider->setToolTip(hint);
  slider->setAccessibleName(hint);
  slider->setRange(0, maximum);
  slider->setValue(start);
  slider->setTickInterval(tick);
  slider->setTickPosition(orientation == Qt::Horizontal ? QSlider::TicksBelow
                                                        : QSlider::TicksRight);
  slider->setSingleStep(1);
  slider->setPageStep(tick);
  return slider;
}

QPushButton* MakeButton(const char* name, const QString& text, const QString& hint, Glyph glyph) {
  auto* button = new QPushButton(MakeGlyph(glyph), text);
  button->setObjectName(QString::fromLatin1(name));
  button->setToolTip(hint);
  button->setAutoDefault(false);
  return button;
}

// One row of buttons, side by side.
QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons) {
  auto* row = new QHBoxLayout;
  row->setSpacing(3);
  for (QPushButton* b : buttons) {
    row->addWidget(b);
  }
  return row;
}

}  // namespace

GraphWindow* GraphWindow::Current() {
  return current;
}

bool GraphWindow::FirstActivationPending() {
  return firstActivation;
}

void GraphWindow::ResetFirstActivation() {
  firstActivation = true;
}

GraphWindow::GraphWindow() {
  if (current != nullptr) {
    throw Exception(QStringLiteral("A 3D graph window is already open"));
  }
  current = this;
  setAttribute(Qt::WA_DeleteOnClose, true);
  setObjectName(QStringLiteral("graphWindow"));
  setWindowTitle(kCaption);
  OpenPrinter = &GraphWindow::DefaultPrinter;
  AskSaveFileName = [this] { return AskWithDialog(); };
  BuildControls();
  resize(kSize);
  // Centred on the desktop.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desk = screen->availableGeometry();
    move(desk.center() - QPoint(kSize.width() / 2, kSize.height() / 2));
  }
  InitializeChart();
}

GraphWindow::~GraphWindow() {
  // The main window's reference goes with the window.
  if (current == this) {
    current = nullptr;
  }
  graph_.disconnect();
}

void GraphWindow::BuildControls() {
  chartView_ = new ChartWidget(graph_.Chart, this);
  chartView_->setObjectName(QStringLiteral("chart"));
  chartView_->setAccessibleName(QStringLiteral("3D graph"));
  chartView_->setMinimumSize(120, 100);
  connect(&graph_, &GraphChart::changed, chartView_, [this] { chartView_->Refresh(); });
  BuildSliders();
  BuildButtons();

  auto* grid = new QGridLayout;
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(2);
  grid->addWidget(chartView_, 0, 0);
  grid->addWidget(elevationSlider_, 0, 1);
  grid->addWidget(rotationSlider_, 1, 0);
  grid->addWidget(zoomSlider_, 2, 0);
  grid->setRowStretch(0, 1);
  grid->setColumnStretch(0, 1);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(4, 4, 4, 4);
  outer->setSpacing(3);
  outer->addLayout(grid, 1);
  outer->addLayout(ButtonRow({barsButton_, linesButton_, solidButton_, dotsButton_}));
  outer->addLayout(ButtonRow({printButton_, savePicButton_, closeButton_}));
}

void GraphWindow::BuildSliders() {
  elevationSlider_ =
      MakeSlider(Qt::Vertical, "elevationSlider", QStringLiteral("Elevation"), 360, 180, 18);
  // 0 at the top, where a vertical track bar's start is expected.
  elevationSlider_->setInvertedAppearance(true);
  rotationSlider_ =
      MakeSlider(Qt::Horizontal, "rotationSlider", QStringLiteral("Rotation"), 360, 180, 18);
  zoomSlider_ = MakeSlider(Qt::Horizontal, "zoomSlider", QStringLiteral("Zoom"), 500, 100, 10);
  connect(rotationSlider_, &QSlider::valueChanged, this, [this] { ApplyRotation(); });
  connect(elevationSlider_, &QSlider::valueChanged, this, [this] { ApplyElevation(); });
  connect(zoomSlider_, &QSlider::valueChanged, this, [this] { ApplyZoom(); });
}

void GraphWindow::BuildButtons() {
  const QString styleHint = QStringLiteral("Select other Graph style");
  barsButton_ = MakeButton("barsButton", QStringLiteral("Vert.Bars"), styleHint, Glyph::Bars);
  linesButton_ = MakeButton("linesButton", QStringLiteral("Hor.Lines"), styleHint, Glyph::Lines);
  solidButton_ = MakeButton("solidButton", QStringLiteral("Hor.Solid"), styleHint, Glyph::Solid);
  dotsButton_ = MakeButton("dotsButton", QStringLiteral("Dots"), styleHint, Glyph::Dots);
  printButton_ = MakeButton("printButton", QStringLiteral("Print"), QString(), Glyph::Print);
  savePicButton_ = MakeButton("savePicButton", QStringLiteral("Save Pic"), QString(), Glyph::Save);
  closeButton_ = MakeButton("closeButton", QStringLiteral("Close"), QString(), Glyph::Close);
  connect(barsButton_, &QPushButton::clicked, this, [this] { SelectBarsStyle(); });
  connect(linesButton_, &QPushButton::clicked, this, [this] { SelectLinesStyle(); });
  connect(dotsButton_, &QPushButton::clicked, this, [this] { SelectDotsStyle(); });
  connect(solidButton_, &QPushButton::clicked, this, [this] { SelectSolidStyle(); });
  connect(printButton_, &QPushButton::clicked, this, [this] { Print(); });
  connect(savePicButton_, &QPushButton::clicked, this, [this] { SavePicture(); });
  connect(closeButton_, &QPushButton::clicked, this, [this] { RequestClose(); });
}

void GraphWindow::InitializeChart() {
  graph_.InitializeTitleAndStyle();
}

void GraphWindow::SelectStyle(uint8_t n) {
  graph_.SelectStyle(n);
}

void GraphWindow::ApplyRotation() {
  graph_.SetRotationFromSlider(rotationSlider_->value());
}

void GraphWindow::ApplyElevation() {
  graph_.SetElevationFromSlider(elevationSlider_->value());
}

void GraphWindow::ApplyZoom() {
  graph_.SetZoomFromSlider(zoomSlider_->value());
}

std::unique_ptr<QPagedPaintDevice> GraphWindow::DefaultPrinter() {
  return std::unique_ptr<QPagedPaintDevice>(PrintModule().openDefaultPrinter());
}

void GraphWindow::Print() {
  std::unique_ptr<QPagedPaintDevice> printer = OpenPrinter ? OpenPrinter() : nullptr;
  if (printer == nullptr) {
    UserInterface::Get().Beep();
    UserInterface::Get().Message(kNoPrinterMessage);
    return;
  }
  const PrintEntries& print = PrintModule();
  print.nameJob(printer.get(), kPrintJobName);
  QPainter painter;
  if (!painter.begin(printer.get())) {
    throw Exception(
        QStringLiteral("The printer could not start the print job \"%1\"").arg(kPrintJobName));
  }
  // One page: the chart as the window shows it, within the print margins.
  const QRectF page(QPointF(0, 0), print.printableSize(printer.get()));
  ChartRenderer::RenderOnPage(graph_.Chart, painter, page, QSizeF(chartView_->size()));
  painter.end();
}

QString GraphWindow::BitmapFileName(const QString& answer) {
  if (answer.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive)) {
    return answer;
  }
  return answer + QStringLiteral(".bmp");
}

QString GraphWindow::AskWithDialog() {
  QFileDialog dialog(this, QStringLiteral("Save Pic"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("bmp"));
  dialog.setNameFilter(QStringLiteral("Bitmap pictures (*.bmp)"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return QString();
  }
  return dialog.selectedFiles().constFirst();
}

void GraphWindow::SavePicture() {
  const QString answer = AskSaveFileName ? AskSaveFileName() : QString();
  if (answer.isEmpty()) {
    return;
  }
  const QString path = BitmapFileName(answer);
  const QImage image = chartView_->RenderImage();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "BMP")) {
    throw Exception(QStringLiteral("Could not make a bitmap of the graph"));
  }
  WriteFileAtomically(path, bytes);
}

void GraphWindow::RequestClose() {
  Q_EMIT CloseRequested();
  if (current == this) {
    close();
  }
}

void GraphWindow::ShowTipOnFirstActivation() {
  if (!firstActivation) {
    return;
  }
  // Cleared before the tip shows: the modal tip hands the activation back
  // to this window when it closes, and that must not show it again.
  firstActivation = false;
  Q_EMIT TipDue(Tip::kGraphSliders);
}

bool GraphWindow::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) {
    ShowTipOnFirstActivation();
  }
  return QWidget::event(event);
}

void GraphWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (!event->isAccepted()) {
    return;
  }
  // From here on the window is no longer open; it is freed once its
  // events are done (a handler may still be running on it).
  if (current == this) {
    current = nullptr;
  }
  Q_EMIT Closed();
}

}  // namespace velmar
