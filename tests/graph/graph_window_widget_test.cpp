#include "graph/widgets/graph_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMouseEvent>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "graph/chart_renderer.h"
#include "graph/widgets/graph_window_host.h"
#include "support/scripted_ui.h"

namespace velmar {
namespace {

// Runs the event loop until `done` holds; false if it never does (a
// bound against hanging, not a measurement).
template <typename Done>
bool Until(Done done) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > 5000) {
      return false;
    }
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Frees windows closed with their delete-on-close.
void FreeClosedWindows() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::processEvents();
}

int OpenGraphWindows() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    n += dynamic_cast<GraphWindow*>(w) != nullptr && w->isVisible();
  }
  return n;
}

class GraphWindowTest : public ::testing::Test {
 protected:
  GraphWindowTest() {
    GraphWindow::ResetFirstActivation();
    host = std::make_unique<GraphWindowHost>();
    QObject::connect(host.get(), &GraphWindowHost::TipDue,
                     [this](Tip tip) { tips.push_back(static_cast<uint8_t>(tip)); });
    QObject::connect(host.get(), &GraphWindowHost::FeedChanged,
                     [this](GraphFeed* feed) { feeds.push_back(feed); });
  }
  ~GraphWindowTest() override {
    host.reset();
    FreeClosedWindows();
  }

  void FeedLive(int64_t up = 187, int64_t down = 812) {
    displays.SetValue(Display::UpDigits, up);
    displays.SetValue(Display::UpAvgDigits, 142);
    displays.SetValue(Display::DownDigits, down);
    displays.SetValue(Display::DownAvgDigits, 655);
    ASSERT_NE(host->Feed(), nullptr);
    host->Feed()->Feed(state, displays, 900, DisplayUnit());
  }
  void FeedHistory() {
    state.UpWindow.fill(20000);
    state.DownWindow.fill(90000);
    state.AlarmToggle = false;
    ASSERT_NE(host->Feed(), nullptr);
    host->Feed()->Feed(state, displays, 900, DisplayUnit());
  }

  std::unique_ptr<GraphWindowHost> host;
  std::vector<uint8_t> tips;
  std::vector<GraphFeed*> feeds;
  MeasurementState state;
  StoredDisplays displays;
  test::ScriptedUi ui;
};

TEST_F(GraphWindowTest, TheWindowAsCreated) {
  host->ShowGraph(1);
  GraphWindow* w = host->Window();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w, GraphWindow::Current());
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), "Velmar 3D Graph");
  EXPECT_EQ(w->size(), QSize(413, 400));
  EXPECT_EQ(w->parentWidget(), nullptr) << "no owner";
  EXPECT_TRUE(w->testAttribute(Qt::WA_DeleteOnClose));
  EXPECT_EQ(w->CurrentStyle(), 0);
  EXPECT_EQ(w->ChartView()->toolTip(), "Velmar 2000 3D Graph");

  struct Slider {
    QSlider* slider;
    const char* hint;
    int maximum, start, tick;
    Qt::Orientation orientation;
  };
  for (const Slider& s : {Slider{w->ElevationSlider(), "Elevation", 360, 180, 18, Qt::Vertical},
                          Slider{w->RotationSlider(), "Rotation", 360, 180, 18, Qt::Horizontal},
                          Slider{w->ZoomSlider(), "Zoom", 500, 100, 10, Qt::Horizontal}}) {
    EXPECT_EQ(s.slider->toolTip(), s.hint);
    EXPECT_EQ(s.slider->minimum(), 0);
    EXPECT_EQ(s.slider->maximum(), s.maximum);
    EXPECT_EQ(s.slider->value(), s.start);
    EXPECT_EQ(s.slider->tickInterval(), s.tick);
    EXPECT_NE(s.slider->tickPosition(), QSlider::NoTicks);
    EXPECT_EQ(s.slider->orientation(), s.orientation);
  }

  // Placement: the elevation slider right of the chart, rotation under
  // it, zoom under that; the style buttons left to right (bars, lines,
  // solid, dots), then Print, Save Pic, Close in a row below.
  const auto at = [w](QWidget* c) { return c->mapTo(w, QPoint(0, 0)); };
  EXPECT_GE(at(w->ElevationSlider()).x(), at(w->ChartView()).x() + w->ChartView()->width());
  EXPECT_GE(at(w->RotationSlider()).y(), at(w->ChartView()).y() + w->ChartView()->height());
  EXPECT_GT(at(w->ZoomSlider()).y(), at(w->RotationSlider()).y());
  const std::vector<std::pair<QPushButton*, const char*>> styles = {{w->BarsButton(), "Vert.Bars"},
                                                                    {w->LinesButton(), "Hor.Lines"},
                                                                    {w->SolidButton(), "Hor.Solid"},
                                                                    {w->DotsButton(), "Dots"}};
  for (size_t i = 0; i < styles.size(); ++i) {
    EXPECT_EQ(styles[i].first->text(), styles[i].second);
    EXPECT_EQ(styles[i].first->toolTip(), "Select other Graph style");
    EXPECT_GT(at(styles[i].first).y(), at(w->ZoomSlider()).y());
    if (i > 0) {
      EXPECT_GT(at(styles[i].first).x(), at(styles[i - 1].first).x());
      EXPECT_EQ(at(styles[i].first).y(), at(styles[i - 1].first).y());
    }
  }
  const std::vector<std::pair<QPushButton*, const char*>> actions = {
      {w->PrintButton(), "Print"}, {w->SavePicButton(), "Save Pic"}, {w->CloseButton(), "Close"}};
  for (size_t i = 0; i < actions.size(); ++i) {
    EXPECT_EQ(actions[i].first->text(), actions[i].second);
    EXPECT_GT(at(actions[i].first).y(), at(w->BarsButton()).y());
    if (i > 0) {
      EXPECT_GT(at(actions[i].first).x(), at(actions[i - 1].first).x());
    }
  }
  // All inside the window.
  for (QWidget* c :
       std::initializer_list<QWidget*>{w->ChartView(), w->ElevationSlider(), w->RotationSlider(),
                                       w->ZoomSlider(), w->DotsButton(), w->CloseButton()}) {
    EXPECT_TRUE(w->rect().contains(QRect(at(c), c->size()))) << c->objectName().toStdString();
  }

  // Only one graph window: a second one cannot be made.
  EXPECT_THROW(GraphWindow(), std::exception);
  EXPECT_EQ(GraphWindow::Current(), w);
}

TEST_F(GraphWindowTest, StyleButtonsSelectTheirStyles) {
  host->ShowGraph(1);
  GraphWindow* w = host->Window();
  FeedLive();
  const std::pair<QPushButton*, uint8_t> buttons[] = {
      {w->LinesButton(), 1}, {w->DotsButton(), 2}, {w->SolidButton(), 3}, {w->BarsButton(), 0}};
  QImage last = w->ChartView()->RenderImage();
  for (const auto& [button, style] : buttons) {
    w->RotationSlider()->setValue(100);
    button->click();
    EXPECT_EQ(w->CurrentStyle(), style);
    EXPECT_EQ(&w->Graph().ActiveSeries(), &w->Graph().Chart.Series(style));
    EXPECT_EQ(w->Graph().ActiveSeries().Count(), 0);
    EXPECT_EQ(w->Graph().Chart.Rotation, 344) << "the view is reset";
    EXPECT_EQ(w->RotationSlider()->value(), 100) << "the slider is not moved";
    FeedLive();
    const QImage image = w->ChartView()->RenderImage();
    EXPECT_NE(image, last);
    last = image;
  }
}

TEST_F(GraphWindowTest, SlidersAtTheirExtremes) {
  host->ShowGraph(1);
  GraphWindow* w = host->Window();
  FeedLive();
  const Chart3D& c = w->Graph().Chart;
  const std::pair<int, double> angles[] = {{0, 180}, {360, -180}, {180, 0}, {90, 90}};
  for (const auto& [position, angle] : angles) {
    w->RotationSlider()->setValue(position);
    EXPECT_EQ(c.Rotation, angle) << position;
    w->ElevationSlider()->setValue(position);
    EXPECT_EQ(c.Elevation, angle) << position;
  }
  w->ZoomSlider()->setValue(500);
  EXPECT_EQ(c.Zoom, 500);
  w->ZoomSlider()->setValue(0);
  EXPECT_EQ(c.Zoom, 0) << "zoom 0 reaches the chart";
  const QImage nothing = w->ChartView()->RenderImage();
  EXPECT_EQ(nothing.size(), w->ChartView()->size());
  int bars = 0;
  for (int y = 0; y < nothing.height(); ++y) {
    for (int x = 0; x < nothing.width(); ++x) {
      bars += (nothing.pixel(x, y) & 0xffffffu) == 0xff0000u;
    }
  }
  EXPECT_EQ(bars, 0) << "a chart zoomed to nothing shows no bars";
  w->repaint();  // paints without harm
}

TEST_F(GraphWindowTest, ModeSwitchKeepsOneWindowAndItsPoints) {
  host->ShowGraph(1);
  GraphWindow* first = host->Window();
  ASSERT_EQ(feeds.size(), 1u);
  EXPECT_NE(feeds[0], nullptr);
  EXPECT_EQ(host->GraphMode(), 1);
  FeedLive();
  EXPECT_EQ(first->Graph().ActiveSeries().Count(), 4);

  host->ShowGraph(2);
  EXPECT_EQ(host->Window(), first);
  EXPECT_EQ(OpenGraphWindows(), 1);
  EXPECT_EQ(feeds.size(), 1u) << "the same feed goes on";
  EXPECT_EQ(host->GraphMode(), 2);
  EXPECT_EQ(first->Graph().ActiveSeries().Count(), 4) << "kept until the next feed";
  FeedHistory();
  EXPECT_EQ(first->Graph().ActiveSeries().Count(), 16);
  EXPECT_EQ(first->ChartView()->toolTip(), "") << "the history has no hint";

  host->ShowGraph(1);
  EXPECT_EQ(OpenGraphWindows(), 1);
  FeedLive();
  EXPECT_EQ(first->Graph().ActiveSeries().Count(), 4);
  EXPECT_EQ(first->ChartView()->toolTip(), "Velmar 2000 3D Graph");
}

TEST_F(GraphWindowTest, ReopeningResetsStyleAndViewButNotTheSlidersMeaning) {
  host->ShowGraph(1);
  GraphWindow* w = host->Window();
  w->DotsButton()->click();
  w->RotationSlider()->setValue(100);
  w->ElevationSlider()->setValue(300);
  w->ZoomSlider()->setValue(250);
  w->ChartView()->Chart().ZoomWindow = QRectF(0.2, 0.2, 0.5, 0.5);
  host->CloseGraph();
  EXPECT_EQ(host->Window(), nullptr) << "closed is gone at once";
  EXPECT_EQ(host->Feed(), nullptr);
  ASSERT_EQ(feeds.size(), 2u);
  EXPECT_EQ(feeds[1], nullptr);
  FreeClosedWindows();

  host->ShowGraph(2);
  w = host->Window();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->CurrentStyle(), 0);
  EXPECT_TRUE(w->Graph().BarSeries->Active);
  EXPECT_EQ(w->RotationSlider()->value(), 180);
  EXPECT_EQ(w->ElevationSlider()->value(), 180);
  EXPECT_EQ(w->ZoomSlider()->value(), 100);
  const Chart3D& c = w->Graph().Chart;
  EXPECT_EQ(c.Elevation, 342);
  EXPECT_EQ(c.Rotation, 344);
  EXPECT_EQ(c.Zoom, 90);
  EXPECT_FALSE(c.Zoomed());
  // The next slider change sets the view from the slider's position.
  w->RotationSlider()->setValue(170);
  EXPECT_EQ(c.Rotation, 10);
  w->ElevationSlider()->setValue(181);
  EXPECT_EQ(c.Elevation, -1);
  w->ZoomSlider()->setValue(101);
  EXPECT_EQ(c.Zoom, 101);
  EXPECT_EQ(host->GraphMode(), 2);
  EXPECT_NE(host->Feed(), nullptr);
}

TEST_F(GraphWindowTest, CloseButtonCloseBoxAndTheMenu) {
  int menuCloses = 0;
  QObject::connect(host.get(), &GraphWindowHost::CloseRequested, [&] {
    ++menuCloses;
    host->CloseGraph();
  });
  host->ShowGraph(1);
  host->Window()->CloseButton()->click();
  EXPECT_EQ(menuCloses, 1) << "\"Close\" runs the main window's \"&Close\"";
  EXPECT_EQ(host->Window(), nullptr);
  EXPECT_EQ(feeds.back(), nullptr);
  FreeClosedWindows();
  EXPECT_EQ(OpenGraphWindows(), 0);

  // The window's own close box.
  host->ShowGraph(2);
  ASSERT_NE(host->Feed(), nullptr);
  host->Window()->close();
  EXPECT_EQ(host->Window(), nullptr);
  EXPECT_EQ(host->Feed(), nullptr);
  EXPECT_EQ(feeds.back(), nullptr);

  // Closing with none open does nothing; reopening before the closed one
  // is freed gives a new window, and only one is shown.
  host->CloseGraph();
  host->ShowGraph(1);
  EXPECT_NE(host->Window(), nullptr);
  EXPECT_EQ(OpenGraphWindows(), 1);
  FreeClosedWindows();
  EXPECT_EQ(OpenGraphWindows(), 1);
  EXPECT_NE(host->Window(), nullptr);

  // Destroying the host (the main window ends) frees the window.
  QPointer<GraphWindow> window = host->Window();
  host.reset();
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(GraphWindow::Current(), nullptr);
}

TEST_F(GraphWindowTest, Tip41OnlyOnTheFirstActivationOfTheRun) {
  host->ShowGraph(1);
  GraphWindow* w = host->Window();
  ASSERT_TRUE(Until([&] { return w->isActiveWindow(); }));
  ASSERT_TRUE(Until([&] { return !tips.empty(); }));
  EXPECT_EQ(tips, std::vector<uint8_t>{41});
  EXPECT_FALSE(GraphWindow::FirstActivationPending());

  // Another window takes the focus and gives it back: nothing more.
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(Until([&] { return other.isActiveWindow(); }));
  w->activateWindow();
  ASSERT_TRUE(Until([&] { return w->isActiveWindow(); }));
  // A window opened again later in the run: nothing either.
  host->CloseGraph();
  FreeClosedWindows();
  host->ShowGraph(2);
  ASSERT_TRUE(Until([&] { return host->Window()->isActiveWindow(); }));
  QApplication::processEvents();
  EXPECT_EQ(tips, std::vector<uint8_t>{41});

  // A new run starts over.
  GraphWindow::ResetFirstActivation();
  other.activateWindow();
  ASSERT_TRUE(Until([&] { return other.isActiveWindow(); }));
  host->Window()->activateWindow();
  ASSERT_TRUE(Until([&] { return tips.size() == 2; }));
}

TEST_F(GraphWindowTest, SavePicWritesABitmapOfTheChartsSize) {
  QTemporaryDir dir;
  host->ShowGraph(1);
  GraphWindow* w = host->Window();
  FeedLive();
  QString answer;
  int asked = 0;
  w->AskSaveFileName = [&] {
    ++asked;
    return answer;
  };
  const QImage expected = w->ChartView()->RenderImage();
  ASSERT_FALSE(expected.isNull());

  // No extension: ".bmp" is added; ".bmp" (in any case) is kept single;
  // another extension gets ".bmp" after it, as the file is a bitmap.
  const std::pair<QString, QString> names[] = {{"pic", "pic.bmp"},
                                               {"shot.bmp", "shot.bmp"},
                                               {"UPPER.BMP", "UPPER.BMP"},
                                               {"graph.png", "graph.png.bmp"}};
  for (const auto& [given, written] : names) {
    answer = dir.filePath(given);
    w->SavePicButton()->click();
    const QString path = dir.filePath(written);
    ASSERT_TRUE(QFileInfo::exists(path)) << written.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path + ".bmp"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(2), "BM");
    file.close();
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "bmp");
    const QImage loaded = reader.read();
    ASSERT_FALSE(loaded.isNull());
    EXPECT_EQ(loaded.size(), w->ChartView()->size());
    EXPECT_EQ(loaded.convertToFormat(QImage::Format_RGB32),
              expected.convertToFormat(QImage::Format_RGB32));
  }
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);

  // Cancelled: nothing written.
  answer.clear();
  w->SavePicButton()->click();
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);

  // A place that cannot be written: an error, and no file.
  answer = dir.filePath("missing/dir/pic");
  EXPECT_THROW(w->SavePicture(), std::exception);
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing/dir/pic.bmp")));
  EXPECT_EQ(asked, 6);
}

// Pages of a PDF file: the page objects in the file, and pdfinfo's count
// when poppler's tools are installed.
int PdfPages(const QString& path, QString* title) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return -1;
  }
  const QByteArray pdf = file.readAll();
  int pages = 0;
  QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
  for (auto it = page.globalMatch(QString::fromLatin1(pdf)); it.hasNext(); it.next()) {
    ++pages;
  }
  // The title: a literal or a hex string, in UTF-16 when it starts with
  // the byte order mark.
  const QRegularExpressionMatch m =
      QRegularExpression(QStringLiteral("/Title\\s*(\\(([^)]*)\\)|<([0-9A-Fa-f]+)>)"))
          .match(QString::fromLatin1(pdf));
  if (m.hasMatch()) {
    const QByteArray bytes = m.capturedLength(2) > 0
                                 ? m.captured(2).toLatin1()
                                 : QByteArray::fromHex(m.captured(3).toLatin1());
    if (bytes.startsWith("\xfe\xff")) {
      QString text;
      for (int i = 2; i + 1 < bytes.size(); i += 2) {
        text += QChar(static_cast<char16_t>((static_cast<uint8_t>(bytes[i]) << 8) |
                                            static_cast<uint8_t>(bytes[i + 1])));
      }
      *title = text;
    } else {
      *title = QString::fromLatin1(bytes);
    }
  }
  return pages;
}

TEST_F(GraphWindowTest, PrintMakesOnePageNamedChart1) {
  QTemporaryDir dir;
  const QString pdf = dir.filePath("chart.pdf");
  host->ShowGraph(1);
  GraphWindow* w = host->Window();
  FeedLive();
  int opened = 0;
  w->OpenPrinter = [&] {
    ++opened;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    return printer;
  };
  w->PrintButton()->click();
  EXPECT_EQ(opened, 1);
  EXPECT_TRUE(ui.messages.isEmpty());
  QString title;
  EXPECT_EQ(PdfPages(pdf, &title), 1);
  EXPECT_EQ(title, "Chart1");

  const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
  if (!pdfinfo.isEmpty()) {
    QProcess info;
    info.start(pdfinfo, {pdf});
    ASSERT_TRUE(info.waitForFinished());
    const QString out = QString::fromUtf8(info.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression(QStringLiteral("Title:\\s+Chart1\\n"))))
        << out.toStdString();
  }
  // What is on the page: the chart inside the margins, white around it.
  const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
  if (!pdftoppm.isEmpty()) {
    QProcess render;
    render.start(pdftoppm, {"-r", "40", "-png", "-singlefile", pdf, dir.filePath("page")});
    ASSERT_TRUE(render.waitForFinished());
    const QImage page(dir.filePath("page.png"));
    ASSERT_FALSE(page.isNull());
    int red = 0, marginInk = 0;
    for (int y = 0; y < page.height(); ++y) {
      for (int x = 0; x < page.width(); ++x) {
        const QColor c(page.pixel(x, y));
        const bool inMargin = x < page.width() * 0.14 || x > page.width() * 0.86 ||
                              y < page.height() * 0.14 || y > page.height() * 0.86;
        marginInk += inMargin && c != QColor(Qt::white);
        red += c.red() > 200 && c.green() < 60 && c.blue() < 60;
      }
    }
    EXPECT_EQ(marginInk, 0);
    EXPECT_GT(red, 20) << "the red bar is on the page";
  }
}

TEST_F(GraphWindowTest, PrintWithoutAPrinterSaysSo) {
  host->ShowGraph(1);
  GraphWindow* w = host->Window();
  w->OpenPrinter = [] { return std::unique_ptr<QPrinter>(); };
  w->PrintButton()->click();
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_EQ(ui.messages[0], GraphWindow::kNoPrinterMessage);
  EXPECT_TRUE(ui.messages[0].contains("printer"));
  EXPECT_EQ(ui.beeps, 1);
}

void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(at), w->mapToGlobal(QPointF(at)),
                    type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(w, &event);
}

TEST_F(GraphWindowTest, DraggedRectangleZoomsInStepsAndBack) {
  host->ShowGraph(1);
  GraphWindow* w = host->Window();
  FeedLive();
  ChartWidget* chart = w->ChartView();
  Chart3D& c = chart->Chart();
  const ChartRenderer::Layout l = ChartRenderer::ComputeLayout(c, QRectF(chart->rect()));
  const double zm = (l.seriesFront + l.seriesBack) / 2;
  const QPoint from = l.projection.Project(0, l.height * 0.6, zm).toPoint();
  const QPoint to = l.projection.Project(l.width * 0.5, 0, zm).toPoint();
  const std::optional<QRectF> target =
      ChartRenderer::ZoomWindowFor(c, QRectF(chart->rect()), QRectF(QRect(from, to).normalized()));
  ASSERT_TRUE(target.has_value());

  const QImage before = chart->RenderImage();
  Mouse(chart, QEvent::MouseButtonPress, from, Qt::LeftButton);
  Mouse(chart, QEvent::MouseMove, to, Qt::LeftButton);
  EXPECT_EQ(chart->DragRect(), QRect(from, to).normalized());
  Mouse(chart, QEvent::MouseButtonRelease, to, Qt::NoButton);
  // Animated: on its way, not there yet.
  EXPECT_TRUE(chart->ZoomAnimating());
  EXPECT_NE(c.ZoomWindow, *target);
  EXPECT_TRUE(c.Zoomed());
  ASSERT_TRUE(Until([&] { return !chart->ZoomAnimating(); }));
  EXPECT_EQ(chart->ZoomStepsShown(), c.AnimatedZoomSteps);
  EXPECT_NEAR(c.ZoomWindow.left(), target->left(), 1e-9);
  EXPECT_NEAR(c.ZoomWindow.width(), target->width(), 1e-9);
  EXPECT_NEAR(c.ZoomWindow.top(), target->top(), 1e-9);
  EXPECT_NEAR(c.ZoomWindow.height(), target->height(), 1e-9);
  EXPECT_LT(c.ZoomWindow.width(), 0.7);
  EXPECT_NE(chart->RenderImage(), before);

  // A click is no rectangle.
  const QRectF zoomed = c.ZoomWindow;
  Mouse(chart, QEvent::MouseButtonPress, from, Qt::LeftButton);
  Mouse(chart, QEvent::MouseButtonRelease, from + QPoint(2, 1), Qt::NoButton);
  EXPECT_FALSE(chart->ZoomAnimating());
  EXPECT_EQ(c.ZoomWindow, zoomed);

  // Dragging up and to the left undoes the zoom, in steps too.
  Mouse(chart, QEvent::MouseButtonPress, to, Qt::LeftButton);
  Mouse(chart, QEvent::MouseMove, from, Qt::LeftButton);
  Mouse(chart, QEvent::MouseButtonRelease, from, Qt::NoButton);
  EXPECT_TRUE(chart->ZoomAnimating());
  ASSERT_TRUE(Until([&] { return !chart->ZoomAnimating(); }));
  EXPECT_FALSE(c.Zoomed());
  EXPECT_EQ(chart->RenderImage(), before);

  // Without animation the zoom is there at once.
  c.AnimatedZoom = false;
  EXPECT_TRUE(chart->ZoomRect(QRectF(QRect(from, to).normalized())));
  EXPECT_FALSE(chart->ZoomAnimating());
  EXPECT_NEAR(c.ZoomWindow.width(), target->width(), 1e-9);
}

TEST_F(GraphWindowTest, FeedRedrawsTheWindow) {
  host->ShowGraph(1);
  GraphWindow* w = host->Window();
  FeedLive(100, 200);
  QApplication::processEvents();
  const QImage a = w->ChartView()->grab().toImage();
  FeedLive(700, 20);
  QApplication::processEvents();
  const QImage b = w->ChartView()->grab().toImage();
  EXPECT_NE(a, b);
  EXPECT_EQ(b.convertToFormat(QImage::Format_RGB32),
            w->ChartView()->RenderImage().convertToFormat(QImage::Format_RGB32))
      << "the window shows what the picture shows";
}

}  // namespace
}  // namespace velmar
