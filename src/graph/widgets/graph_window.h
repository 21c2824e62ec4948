#pragma once

#include <QPagedPaintDevice>
#include <QPushButton>
#include <QSlider>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "config/settings_line.h"

#include "graph/graph_chart.h"
#include "graph/widgets/chart_widget.h"

namespace velmar {

// The 3D graph window: the chart, the view sliders, the style buttons,
// "Print", "Save Pic" and "Close". Only one exists at a time; it is freed
// when closed.
class GraphWindow : public QWidget {
  Q_OBJECT

 public:
  static const QString kCaption;
  static const QSize kSize;
  static const QString kNoPrinterMessage;
  // The name of the print job in the print queue ("Chart1"): the name
  // users and their print scripts already look for.
  static const QString kPrintJobName;

  // Raises velmar::Exception when a graph window is already open.
  GraphWindow();
  ~GraphWindow() override;

  // The open graph window, null when none is open (a closed window is no
  // longer open even before it is freed).
  static GraphWindow* Current();
  // Whether the next activation of a graph window is the first of this
  // run; a new run (or a test) starts over.
  static bool FirstActivationPending();
  static void ResetFirstActivation();

  GraphChart& Graph() { return graph_; }
  uint8_t CurrentStyle() const { return graph_.CurrentStyle(); }
  void SelectStyle(uint8_t n);

  // The file name "Save Pic" writes to; empty when the user cancels. A
  // file dialog unless replaced (tests answer it).
  std::function<QString()> AskSaveFileName;
  // The printer (a QPrinter) "Print" prints on, null when none is
  // configured. The default printer unless replaced (tests print to a PDF
  // file).
  std::function<std::unique_ptr<QPagedPaintDevice>()> OpenPrinter;

  // The system's default printer; null when none is configured.
  static std::unique_ptr<QPagedPaintDevice> DefaultPrinter();
  // The name "Save Pic" writes to: the dialog's answer with a single
  // ".bmp" at its end.
  static QString BitmapFileName(const QString& answer);

  // Handlers.
  void InitializeChart();
  void ApplyRotation();
  void ApplyElevation();
  void ApplyZoom();
  void SelectBarsStyle() { SelectStyle(0); }
  void SelectLinesStyle() { SelectStyle(1); }
  void SelectDotsStyle() { SelectStyle(2); }
  void SelectSolidStyle() { SelectStyle(3); }
  void Print();
  void SavePicture();
  void RequestClose();  // "Close"
  void ShowTipOnFirstActivation();

  ChartWidget* ChartView() const { return chartView_; }
  QSlider* ElevationSlider() const { return elevationSlider_; }
  QSlider* RotationSlider() const { return rotationSlider_; }
  QSlider* ZoomSlider() const { return zoomSlider_; }
  QPushButton* BarsButton() const { return barsButton_; }    // Vert.Bars
  QPushButton* LinesButton() const { return linesButton_; }  // Hor.Lines
  QPushButton* DotsButton() const { return dotsButton_; }    // Dots
  QPushButton* SolidButton() const { return solidButton_; }  // Hor.Solid
  QPushButton* PrintButton() const { return printButton_; }
  QPushButton* SavePicButton() const { return savePicButton_; }
  QPushButton* CloseButton() const { return closeButton_; }

 Q_SIGNALS:
  // The graph tip is due: the window is activated for the first time in
  // this run.
  void TipDue(Tip tip);
  // "Close" was clicked; the window closes after its listeners have heard
  // of it, unless one of them closed it already.
  void CloseRequested();
  // The window closed; it is freed once its events are done.
  void Closed();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // The chart, the sliders and the buttons, laid out.
  void BuildControls();
  void BuildSliders();
  void BuildButtons();
  QString AskWithDialog();

  GraphChart graph_;
  ChartWidget* chartView_ = nullptr;
  QSlider* elevationSlider_ = nullptr;
  QSlider* rotationSlider_ = nullptr;
  QSlider* zoomSlider_ = nullptr;
  QPushButton* barsButton_ = nullptr;
  QPushButton* linesButton_ = nullptr;
  QPushButton* dotsButton_ = nullptr;
  QPushButton* solidButton_ = nullptr;
  QPushButton* printButton_ = nullptr;
  QPushButton* savePicButton_ = nullptr;
  QPushButton* closeButton_ = nullptr;
};

}  // namespace velmar
