#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include "alarm_window.h"
#include "app_paths.h"
#include "autostart.h"
#include "detailed_setup.h"
#include "error_report.h"
#include "key_store.h"
#include "launcher.h"
#include "message_queue.h"
#include "meter_art.h"
#include "net_stat_window.h"
#include "product.h"
#include "setup_wizard.h"
#include "splash_screen.h"
#include "tip_window.h"
#include "user_interface.h"

namespace velmar {

const QString MainWindow::kCaption = QStringLiteral("Velmar 2000 Bandwidth Meter");

namespace {

template <typename W>
W* Place(W* widget, int x, int y, int w, int h) {
  widget->setGeometry(x, y, w, h);
  return widget;
}

QLabel* Label(QWidget* parent, const QString& text, int x, int y, int w, int h,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* label = Place(new QLabel(text, parent), x, y, w, h);
  label->setAlignment(align);
  return label;
}

QPushButton* Button(QWidget* parent, const QString& name, const QString& caption,
                    const QString& hint, int x, int y, int w, int h) {
  auto* button = Place(new QPushButton(caption, parent), x, y, w, h);
  button->setObjectName(name);
  button->setToolTip(hint);
  return button;
}

LcdDisplay* Digits(QWidget* parent, const QString& name, int digits, int x, int y, int cell,
                   int height) {
  auto* lcd = new LcdDisplay(parent);
  lcd->setObjectName(name);
  lcd->SetNumDigits(digits);
  lcd->SetDigitWidth(cell - 4);
  lcd->SetDigitHeight(height - 6);
  lcd->SetDigitLineWidth(height >= 28 ? 4 : 3);
  // Dark glass with dim unlit segments reads better at this size than the
  // controls' olive defaults.
  lcd->SetBackgroundColor(QColor(34, 40, 8));
  lcd->SetLightOffColor(QColor(58, 72, 10));
  lcd->setGeometry(x, y, digits * cell, height);
  return lcd;
}

}  // namespace

MainWindow::MainWindow(Environment environment)
    : QWidget(nullptr),
      env_(std::move(environment)),
      engine_(state_),
      sampler_(state_, nullptr, *this, *env_.clock),
      publisher_(state_, engine_, *this, settings_),
      analysis_(state_, settings_, *this),
      loader_(settings_, *this, nullptr, env_.settingsFile, env_.executablePath,
              env_.autostartEntry),
      SaveWinReg(nullptr),
      recorder_(state_, nullptr, dates_),
      maintenance_(nullptr, dates_),
      evaluator_(state_, settings_, *this, nullptr, dates_),
      sizer_(*this) {
  setObjectName(QStringLiteral("Form1"));
  setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  resize(281, 495);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, MeterArt::kWindowColor);
  setPalette(pal);
  setAutoFillBackground(true);
  BuildControls();
  BuildTray();

  CalcIntervalTimer.setTimerType(Qt::PreciseTimer);
  connect(&CalcIntervalTimer, &QTimer::timeout, this, [this] {
    // A queue run inside the tick (the averaging) must not start the
    // download there: it would hold this handler, and Qt delivers no
    // further ticks of a timer whose handler still runs.
    TrafficGenerator::TickScope scope(generator_);
    sampler_.Tick();
  });
  connect(&HistIntervalTimer, &QTimer::timeout, this, [this] { RecordTick(); });
  engine_.OnError = [this](const std::exception& e) { ExceptionHandler(e); };
  publisher_.OnError = [this](const std::exception& e) { ExceptionHandler(e); };
  publisher_.EvaluateAlarms = [this](float up, float down) { evaluator_.EvaluateAlarms(up, down); };
  graphs_.ShowTip = [this](uint8_t tip) { ShowTip(tip); };
  graphs_.Close1Click = [this] { Close1Click(); };
  graphs_.FeedChanged = [this](GraphFeed* feed) { publisher_.Graph = feed; };
}

MainWindow::~MainWindow() {
  CalcIntervalTimer.stop();
  HistIntervalTimer.stop();
  if (SplashScreen* splash = SplashScreen::Instance()) {
    splash->close();
  }
}

// ---- building ----

void MainWindow::BuildControls() {
  PageControl1 = Place(new QTabWidget(this), 4, 4, 273, 231);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->addTab(BuildMainTab(), QStringLiteral("Main"));
  PageControl1->addTab(BuildSettingsTab(), QStringLiteral("Settings"));
  PageControl1->addTab(BuildReportingTab(), QStringLiteral("Reporting"));
  PageControl1->addTab(BuildExitTab(), QStringLiteral("Exit"));
  PageControl1->setCurrentIndex(2);
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
    state_.ProgramSection = 30;
    sizer_.Restore();
  });
  BuildBottomPanel();

  StatusBar1 = Place(new QStatusBar(this), 0, 475, 281, 20);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  StatusPanel = new QLabel(StatusBar1);
  StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
  StatusPanel->setAlignment(Qt::AlignCenter);
  StatusPanel->setFrameShape(QFrame::Panel);
  StatusPanel->setFrameShadow(QFrame::Raised);
  StatusBar1->addWidget(StatusPanel, 1);
}

QWidget* MainWindow::BuildMainTab() {
  auto* page = new QWidget;
  Panel1 = Place(new QLabel(page), 4, 4, 259, 160);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  static_cast<QLabel*>(Panel1)->setPixmap(
      QPixmap::fromImage(MeterArt::MeterBackground(QSize(259, 160))));
  Panel1->installEventFilter(this);
  const int barTop = 14;
  const int barHeight = 124;
  DownIndicator = Place(new Indicator(Panel1), 40, barTop, 30, barHeight);
  DownIndicator->setObjectName(QStringLiteral("DownIndicator"));
  DownIndicator->setToolTip(QStringLiteral("Actual Downstream Speed (0..100%)"));
  AvgIndicator = Place(new Indicator(Panel1), 115, barTop, 30, barHeight);
  AvgIndicator->setObjectName(QStringLiteral("AvgIndicator"));
  AvgIndicator->setToolTip(QStringLiteral("Overall Average Speed (0..100%)"));
  UpIndicator = Place(new Indicator(Panel1), 190, barTop, 30, barHeight);
  UpIndicator->setObjectName(QStringLiteral("UpIndicator"));
  UpIndicator->setToolTip(QStringLiteral("Actual Upstream Speed (0..100%)"));
  versionlabel = Label(page, QString(), 8, 172, 80, 18);
  versionlabel->setObjectName(QStringLiteral("versionlabel"));
  auto* help = Button(page, QStringLiteral("BitBtn3"), QStringLiteral("Help"),
                      QStringLiteral("HTML Help"), 183, 168, 80, 25);
  connect(help, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
  return page;
}

namespace {

// A line of a tab: its caption, and a button with its handler.
struct TabRow {
  const char* name;
  const char* label;
  const char* hint;
  void (MainWindow::*click)();
};

}  // namespace

QWidget* MainWindow::BuildSettingsTab() {
  auto* page = new QWidget;
  const TabRow rows[] = {
      {"BitBtn6", "Quick configuration using Wizard", "Quick setup using wizard",
       &MainWindow::BitBtn6Click},
      {"BitBtn7", "Custom configuration", "Tweaking the Velmar parameters",
       &MainWindow::BitBtn7Click},
      {"Alarmsbutton", "Set alarms", "Define alarms and actions", &MainWindow::AlarmsbuttonClick},
      {"BitBtn9", "Reset all values to installation defaults",
       "Reset all configuration parameters to default values", &MainWindow::BitBtn9Click},
  };
  int y = 10;
  for (const TabRow& r : rows) {
    Label(page, QString::fromLatin1(r.label), 8, y, 190, 30)->setWordWrap(true);
    auto* b = Button(page, QString::fromLatin1(r.name), QStringLiteral("..."),
                     QString::fromLatin1(r.hint), 213, y + 2, 48, 26);
    connect(b, &QPushButton::clicked, this, [this, click = r.click] { (this->*click)(); });
    y += 46;
  }
  return page;
}

void MainWindow::BitBtn6Click() {
  state_.ProgramSection = 40;
  SetupWizard::OpenWizard(*this, this);
}

void MainWindow::BitBtn7Click() {
  state_.ProgramSection = 41;
  DetailedSetup::OpenSetup(*this, this);
}

QWidget* MainWindow::BuildReportingTab() {
  auto* page = new QWidget;
  Label(page, QStringLiteral("Total traffic:"), 6, 4, 100, 16);
  TrafficLCD = Digits(page, QStringLiteral("TrafficLCD"), 14, 6, 22, 11, 22);
  TrafficLCD->setToolTip(QStringLiteral("Total traffic generated since Velmar was started"));
  Label(page, QStringLiteral("KBytes"), 164, 24, 50, 18);
  auto* clear = Button(page, QStringLiteral("Button1"), QStringLiteral("Clear"),
                       QStringLiteral("Reset the counter"), 218, 20, 46, 24);
  connect(clear, &QPushButton::clicked, this, [this] { analysis_.ClearTotal(); });

  const TabRow rows[] = {
      {"Netstatbutton", "Show live Net statistics (NetStat)", "Network statistics",
       &MainWindow::NetstatbuttonClick},
      {"Probutton1", "Report Profile Setup Wizard", "", &MainWindow::Probutton1Click},
      {"Probutton2", "Generate Report", "", &MainWindow::Probutton2Click},
      {"Probutton3", "Delete Profiles", "Delete a previously created profile",
       &MainWindow::Probutton3Click},
      {"Probutton4", "Purge/backup History",
       "Clear all Velmar history information stored on this system", &MainWindow::Probutton4Click},
      {"ProButton5", "Restore saved History", "", &MainWindow::ProButton5Click},
  };
  int y = 52;
  for (const TabRow& r : rows) {
    Label(page, QString::fromLatin1(r.label), 8, y, 200, 22);
    auto* b = Button(page, QString::fromLatin1(r.name), QStringLiteral("..."),
                     QString::fromLatin1(r.hint), 218, y, 46, 22);
    connect(b, &QPushButton::clicked, this, [this, click = r.click] { (this->*click)(); });
    y += 25;
  }
  return page;
}

QWidget* MainWindow::BuildExitTab() {
  auto* page = new QWidget;
  auto* web = Button(page, QStringLiteral("BitBtn4"), QStringLiteral("Visit the Velmar WebSite"),
                     QString(), 30, 20, 207, 34);
  connect(web, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
  auto* save = Button(page, QStringLiteral("BitBtn1"), QStringLiteral("Save settings and Quit"),
                      QString(), 30, 72, 207, 34);
  connect(save, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  auto* discard = Button(page, QStringLiteral("BitBtn2"),
                         QStringLiteral("Discard changes and Quit"), QString(), 30, 124, 207, 34);
  connect(discard, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
  return page;
}

void MainWindow::BuildBottomPanel() {
  Panel6 = Place(new QWidget(this), 4, 236, 273, 219);
  Panel6->setObjectName(QStringLiteral("Panel6"));
  QPalette pal = Panel6->palette();
  pal.setColor(QPalette::Window, MeterArt::kPanelColor);
  Panel6->setPalette(pal);
  Panel6->setAutoFillBackground(true);

  // Two pairs a row: five digits, a point, two digits; 16-px cells.
  const int cell = 16;
  const int h = 30;
  const int left = 4;
  const int right = 149;
  const int pointX = 5 * cell;
  const int smallX = pointX + 8;
  const auto pair = [&](int x, int y, const char* whole, const char* hundredths,
                        LcdDisplay*& wholeOut, LcdDisplay*& hundredthsOut) {
    wholeOut = Digits(Panel6, QString::fromLatin1(whole), 5, x, y, cell, h);
    Label(Panel6, QStringLiteral("."), x + pointX, y, 8, h, Qt::AlignHCenter | Qt::AlignBottom);
    hundredthsOut = Digits(Panel6, QString::fromLatin1(hundredths), 2, x + smallX, y, cell, h);
  };
  Label(Panel6, QStringLiteral("DownStream"), left, 1, 120, 14, Qt::AlignCenter);
  Label(Panel6, QStringLiteral("UpStream"), right, 1, 120, 14, Qt::AlignCenter);
  pair(left, 16, "DownDigits", "DownDigits2", DownDigits, DownDigits2);
  pair(right, 16, "UpDigits", "UpDigits2", UpDigits, UpDigits2);
  Label(Panel6, QStringLiteral("Average"), left, 48, 120, 14, Qt::AlignCenter);
  Label(Panel6, QStringLiteral("Kb/s."), 118, 48, 38, 14, Qt::AlignCenter);
  Label(Panel6, QStringLiteral("Average"), right, 48, 120, 14, Qt::AlignCenter);
  pair(left, 63, "DownAvgDigits", "DownAvgDigits2", DownAvgDigits, DownAvgDigits2);
  pair(right, 63, "UpAvgDigits", "UpAvgDigits2", UpAvgDigits, UpAvgDigits2);

  ActiveOn = Button(Panel6, QStringLiteral("ActiveOn"), QStringLiteral("ACTIVE"),
                    QStringLiteral("Start Analysis"), 4, 94, 64, 26);
  ActiveOff = Button(Panel6, QStringLiteral("ActiveOff"), QStringLiteral("SLEEP"),
                     QStringLiteral("Stop Analysis"), 70, 94, 64, 26);
  SniffOn = Button(Panel6, QStringLiteral("SniffOn"), QStringLiteral("Spy"),
                   QStringLiteral("Spy network traffic generated by other apps"), 140, 94, 52, 26);
  SniffOff =
      Button(Panel6, QStringLiteral("SniffOff"), QStringLiteral("Generate"),
             QStringLiteral("Use built-in HTTP client to generate traffic"), 194, 94, 75, 26);
  activeGroup_ = new QButtonGroup(this);
  modeGroup_ = new QButtonGroup(this);
  for (QPushButton* b : {ActiveOn, ActiveOff, SniffOn, SniffOff}) {
    b->setCheckable(true);
  }
  activeGroup_->addButton(ActiveOn);
  activeGroup_->addButton(ActiveOff);
  modeGroup_->addButton(SniffOn);
  modeGroup_->addButton(SniffOff);
  ActiveOff->setChecked(true);
  SniffOn->setChecked(true);
  SniffOn->setEnabled(false);
  SniffOff->setEnabled(false);
  connect(ActiveOn, &QPushButton::clicked, this, [this] { analysis_.StartAnalysis(); });
  connect(ActiveOff, &QPushButton::clicked, this, [this] { analysis_.StopAnalysis(); });
  connect(SniffOn, &QPushButton::clicked, this, [this] { analysis_.ChooseSpy(); });
  connect(SniffOff, &QPushButton::clicked, this, [this] { analysis_.ChooseGenerate(); });

  AvgLockButton = Button(Panel6, QStringLiteral("AvgLockButton"), QString(),
                         QStringLiteral("Lock Avg. reset"), 4, 133, 30, 30);
  AvgLockButton->setIconSize(QSize(24, 24));
  connect(AvgLockButton, &QPushButton::clicked, this, [this] { analysis_.ToggleAverageLock(); });

  AdapterLabel = Label(Panel6, QStringLiteral("Network Adapter: "), 40, 133, 229, 30);
  AdapterLabel->setObjectName(QStringLiteral("AdapterLabel"));
  AdapterLabel->setWordWrap(true);

  auto* rev = Button(Panel6, QStringLiteral("RevTrace"), QStringLiteral("Rev.Trace"),
                     QStringLiteral("Reverse TraceRoute to your PC"), 4, 172, 84, 26);
  rev->setEnabled(false);
  ShowGraph = Button(Panel6, QStringLiteral("ShowGraph"), QStringLiteral("3D Graphs"),
                     QStringLiteral("3D actual and average graphs"), 94, 172, 84, 26);
  connect(ShowGraph, &QPushButton::clicked, this, [this] { ShowGraphClick(); });
  ChartMenu = std::make_unique<QMenu>();
  ChartMenu->setObjectName(QStringLiteral("ChartMenu"));
  connect(ChartMenu->addAction(QStringLiteral("&Live Data Graph")), &QAction::triggered, this,
          [this] { ShowActualData1Click(); });
  connect(ChartMenu->addAction(QStringLiteral("Averages &History")), &QAction::triggered, this,
          [this] { Show2Click(); });
  connect(ChartMenu->addAction(QStringLiteral("&Close")), &QAction::triggered, this,
          [this] { Close1Click(); });
  BitBtn5 = Button(Panel6, QStringLiteral("BitBtn5"), QStringLiteral("Sizer"),
                   QStringLiteral("Size the program window"), 184, 172, 84, 26);
  connect(BitBtn5, &QPushButton::clicked, this, [this] {
    state_.ProgramSection = 28;
    PopupSizerMenu(QPoint(x() + BitBtn5->x(), y() + Panel6->y() + BitBtn5->y()));
  });
  BitBtn5->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(BitBtn5, &QWidget::customContextMenuRequested, this,
          [this] { PopupSizerMenu(QCursor::pos()); });

  SizerMenu = std::make_unique<QMenu>();
  SizerMenu->setObjectName(QStringLiteral("SizerMenu"));
  connect(SizerMenu->addAction(QStringLiteral("Only &Bottom of Window")), &QAction::triggered, this,
          [this] { OnlyLCDDisplays1Click(); });
  connect(SizerMenu->addAction(QStringLiteral("Only &Top of Window")), &QAction::triggered, this,
          [this] { OnlyTopofWindow1Click(); });
  connect(SizerMenu->addAction(QStringLiteral("&Hide")), &QAction::triggered, this,
          [this] { Hide2Click(); });
  connect(SizerMenu->addAction(QStringLiteral("&Restore")), &QAction::triggered, this,
          [this] { DontChange1Click(); });
  SizerMenu->addAction(QStringLiteral("&Don't change"));
}

void MainWindow::BuildTray() {
  PopupMenu1 = std::make_unique<QMenu>();
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  connect(PopupMenu1->addAction(QStringLiteral("&Show")), &QAction::triggered, this,
          [this] { Show1Click(); });
  Active1 = PopupMenu1->addAction(QStringLiteral("Active"));
  Active1->setCheckable(true);
  connect(Active1, &QAction::triggered, this, [this] { analysis_.ToggleAnalysis(); });
  StayonTop1 = PopupMenu1->addAction(QStringLiteral("Stay on &Top"));
  StayonTop1->setCheckable(true);
  connect(StayonTop1, &QAction::triggered, this, [this] { StayonTop1Click(); });
  connect(PopupMenu1->addAction(QStringLiteral("&Hide")), &QAction::triggered, this,
          [this] { Hide1Click(); });
  PopupMenu1->addSeparator();
  connect(PopupMenu1->addAction(QStringLiteral("&Help")), &QAction::triggered, this, [this] {
    state_.ProgramSection = 64;
    OpenHelp();
  });
  connect(PopupMenu1->addAction(QStringLiteral("Velmar Website")), &QAction::triggered, this,
          [this] {
            state_.ProgramSection = 65;
            OpenWebPage();
          });
  connect(PopupMenu1->addAction(QStringLiteral("&End")), &QAction::triggered, this,
          [this] { End1Click(); });

  trayIcon_ = std::make_unique<QSystemTrayIcon>();
  trayIcon_->setIcon(QIcon(QPixmap::fromImage(MeterArt::TrayIcon(32))));
  trayIcon_->setContextMenu(PopupMenu1.get());
  connect(trayIcon_.get(), &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (trayEnabled_ && reason == QSystemTrayIcon::Trigger) {
              state_.ProgramSection = 56;
              ShowMainWindow();
            }
          });
  trayIcon_->show();
}

// ---- life cycle ----

void MainWindow::Guarded(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& e) {
    ExceptionHandler(e);
  }
}

void MainWindow::FormCreate() {
  state_.ProgramSection = 9;
  minimizeToTray_ = false;
  trayEnabled_ = false;
  // Without an agent or a key store the meter still runs: the failure is
  // reported and the remaining steps go on, so the settings are applied
  // and a later save cannot write an empty list.
  Guarded(
      [this] { table_ = std::make_unique<InterfaceTable>(this, env_.agentLibrary, *env_.clock); });
  sampler_.SetTable(table_.get());
  Guarded([this] { store_ = &KeyStore::Default(); });
  state_.ProgramSection = 9;
  loader_.SetStore(store_);
  recorder_.SetStore(store_);
  maintenance_.SetStore(store_);
  evaluator_.SetStore(store_);
  SaveWinReg = PlacementStore(store_);
  SaveWinReg.RegLocation = HKEY_LOCAL_MACHINE;
  SaveWinReg.SetRegKey(kProductKey);
  SaveWinReg.RegEnabled = true;
  SaveWinReg.Load(*this);
  InitMainState();
  Guarded([this] { loader_.LoadSettings(true); });
  setWindowTitle(kCaption);
  ShowSplash();
}

void MainWindow::InitMainState() {
  state_.ProgramSection = 11;
  QFont small = StatusBar1->font();
  small.setPointSize(7);
  StatusBar1->setFont(small);
  closeAllowed_ = false;
  state_.AnalysisActive = 0;
  sizer_.Record();
  panel1OpensMenu_ = false;
  versionlabel->setText(QStringLiteral("V. 4.0.9"));
  state_.EmailLatch = false;
  state_.GenerateMode = false;
  CalcIntervalTimer.stop();
  CalcIntervalTimer.setInterval(kCalcTimerIntervalMs);
  HistIntervalTimer.stop();
  HistIntervalTimer.setInterval(HistoryRecorder::kIntervalMs);
  state_.ResetForStart();
  state_.AverageLock = true;
  ShowLockPicture(true);
  state_.AdapterIndex = 0;
  state_.HttpBusy = false;
  state_.TotalTraffic = 0;
  TrafficLCD->SetValue(0);
  settings_.Clear();
  adapterlist_.clear();
}

void MainWindow::ShowSplash() {
  state_.ProgramSection = 8;
  if (SplashScreen::Instance() == nullptr) {
    new SplashScreen;
  }
  SplashScreen::Instance()->show();
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (firstShow_) {
    firstShow_ = false;
    FormShow();
  }
}

void MainWindow::FormShow() {
  state_.ProgramSection = 59;
  Guarded([this] { analysis_.PressGenerate(settings_.Line(4) != QLatin1String("0")); });
  Guarded([this] { analysis_.PressActive(settings_.Line(11) == QLatin1String("1")); });
  minimizeToTray_ = true;
  trayEnabled_ = true;
  if (SplashScreen* splash = SplashScreen::Instance()) {
    splash->StartTimer();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  state_.ProgramSection = 15;
  if (!closeAllowed_) {
    // The place is kept at every attempt to close, even one that only
    // hides; a real close keeps it in Shutdown, after the full layout is
    // back.
    SaveWinReg.Save(*this);
    event->ignore();
    HideMainWindow();
    return;
  }
  Shutdown();
  event->accept();
  QCoreApplication::quit();
}

void MainWindow::Shutdown() {
  if (shutDown_) {
    return;
  }
  shutDown_ = true;
  CalcIntervalTimer.stop();
  HistIntervalTimer.stop();
  CancelDownload();
  if (state_.AnalysisActive != 0) {
    Guarded([this] { analysis_.PressActive(false); });
  }
  sampler_.SetTable(nullptr);
  table_.reset();
  graphs_.CloseGraph();
  if (SplashScreen* splash = SplashScreen::Instance()) {
    splash->close();
  }
  sizer_.Restore();
  SaveWinReg.RegEnabled = true;
  SaveWinReg.Save(*this);
  if (trayIcon_) {
    trayIcon_->hide();
  }
}

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
      minimizeToTray_ && QSystemTrayIcon::isSystemTrayAvailable()) {
    QTimer::singleShot(0, this, [this] { HideMainWindow(); });
  }
}

void MainWindow::End1Click() {
  state_.ProgramSection = 14;
  UserInterface::Get().Beep();
  if (UserInterface::Get().Question(QStringLiteral(
          "This will end the Velmar program.  Exit now?")) == UserInterface::Answer::Yes) {
    closeAllowed_ = true;
    close();
  }
}

void MainWindow::EndWithoutQuestion() {
  closeAllowed_ = true;
  close();
}

void MainWindow::BitBtn1Click() {
  state_.ProgramSection = 20;
  sizer_.Restore();
  settings_.SetLine(4, GenerateDown() ? QStringLiteral("1") : QStringLiteral("0"));
  try {
    loader_.SaveSettings();
  } catch (const Exception&) {
    UserInterface::Get().Beep();
    UserInterface::Get().Message(QStringLiteral("Save to disk failed!"));
  }
  closeAllowed_ = true;
  close();
}

void MainWindow::BitBtn2Click() {
  state_.ProgramSection = 21;
  analysis_.PressActive(false);
  closeAllowed_ = true;
  close();
}

void MainWindow::BitBtn9Click() {
  state_.ProgramSection = 51;
  UserInterface::Get().Beep();
  if (UserInterface::Get().Question(
          QStringLiteral("This will rest all settings and alarms to the default values.  Sure?")) ==
      UserInterface::Answer::Yes) {
    loader_.LoadSettings(false);
  }
}

void MainWindow::ExceptionHandler(const std::exception& error) {
  const QString message = QString::fromUtf8(error.what());
  UserInterface::Get().Beep();
  UserInterface::Get().Message(ErrorReportText(message, state_.ProgramSection));
  StatusPanel->setText(ErrorStatusText(message));
  MessageQueue::RunNow();
}

// ---- tray and window ----

void MainWindow::ShowMainWindow() {
  showNormal();
  raise();
  activateWindow();
}

void MainWindow::HideMainWindow() {
  // Without a tray to come back from, hiding would lose the window.
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    hide();
  } else {
    showMinimized();
  }
}

void MainWindow::Show1Click() {
  state_.ProgramSection = 10;
  ShowMainWindow();
}

void MainWindow::Hide1Click() {
  state_.ProgramSection = 13;
  HideMainWindow();
}

void MainWindow::StayonTop1Click() {
  state_.ProgramSection = 57;
  SetStayOnTop(!stayOnTop_);
}

void MainWindow::SetStayOnTop(bool onTop) {
  stayOnTop_ = onTop;
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
  if (visible) {
    show();
  }
  StayonTop1->setChecked(onTop);
}

void MainWindow::SetWindowSize(int width, int height) {
  resize(width, height);
}

void MainWindow::SetSpeedHints(const QString& down, const QString& downAvg, const QString& up,
                               const QString& upAvg) {
  DownDigits->setToolTip(down);
  DownAvgDigits->setToolTip(downAvg);
  UpDigits->setToolTip(up);
  UpAvgDigits->setToolTip(upAvg);
}

void MainWindow::SetCalcTimerEnabled(bool enabled) {
  if (enabled) {
    CalcIntervalTimer.start();
  } else {
    CalcIntervalTimer.stop();
  }
}

void MainWindow::SetTimersEnabled(bool enabled) {
  SetCalcTimerEnabled(enabled);
  if (enabled) {
    HistIntervalTimer.start();
  } else {
    HistIntervalTimer.stop();
  }
}

void MainWindow::PublishResults(double upstream, double downstream) {
  publisher_.PublishResults(upstream, downstream);
}

void MainWindow::ShowActivePressed(bool active) {
  (active ? ActiveOn : ActiveOff)->setChecked(true);
}

void MainWindow::ShowGeneratePressed(bool generate) {
  (generate ? SniffOff : SniffOn)->setChecked(true);
}

void MainWindow::SetModeButtonsEnabled(bool enabled) {
  SniffOn->setEnabled(enabled);
  SniffOff->setEnabled(enabled);
}

QString MainWindow::StatusText() const {
  return StatusPanel->text();
}

void MainWindow::SetStatusText(const QString& text) {
  StatusPanel->setText(text);
}

void MainWindow::SetTrayHint(const QString& hint) {
  trayHint_ = hint;
  // The tip of a tray icon holds 63 characters.
  trayIcon_->setToolTip(hint.left(63));
}

void MainWindow::ShowLockPicture(bool locked) {
  AvgLockButton->setIcon(QIcon(QPixmap::fromImage(MeterArt::Lock(locked, 24))));
}

void MainWindow::ClearActualDisplays() {
  for (Display d :
       {Display::DownIndicator, Display::AvgIndicator, Display::UpIndicator, Display::DownDigits,
        Display::UpDigits, Display::DownDigits2, Display::UpDigits2}) {
    SetValue(d, 0);
  }
}

void MainWindow::ClearAverageDisplays() {
  for (Display d : kAverageDisplays) {
    SetValue(d, 0);
  }
}

LcdDisplay* MainWindow::Lcd(Display display) const {
  switch (display) {
    case Display::DownDigits:
      return DownDigits;
    case Display::DownDigits2:
      return DownDigits2;
    case Display::UpDigits:
      return UpDigits;
    case Display::UpDigits2:
      return UpDigits2;
    case Display::DownAvgDigits:
      return DownAvgDigits;
    case Display::DownAvgDigits2:
      return DownAvgDigits2;
    case Display::UpAvgDigits:
      return UpAvgDigits;
    case Display::UpAvgDigits2:
      return UpAvgDigits2;
    case Display::TrafficLCD:
      return TrafficLCD;
    default:
      return nullptr;
  }
}

void MainWindow::SetValue(Display display, int64_t value) {
  const int v = static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
  switch (display) {
    case Display::DownIndicator:
      DownIndicator->SetPosition(v);
      return;
    case Display::UpIndicator:
      UpIndicator->SetPosition(v);
      return;
    case Display::AvgIndicator:
      AvgIndicator->SetPosition(v);
      return;
    default:
      Lcd(display)->SetValue(v);
  }
}

int64_t MainWindow::Value(Display display) const {
  switch (display) {
    case Display::DownIndicator:
      return DownIndicator->Position();
    case Display::UpIndicator:
      return UpIndicator->Position();
    case Display::AvgIndicator:
      return AvgIndicator->Position();
    default:
      return Lcd(display)->Value();
  }
}

void MainWindow::Redraw() {
  // Each control asked for its repaint when its value changed; Qt paints
  // all of them together in the next pass of the event loop. Repainting
  // whole panels here would cost milliseconds a tick for nothing.
}

// ---- sizer, tips, help ----

int MainWindow::TabSheetTop() const {
  const QWidget* sheet = PageControl1->currentWidget();
  return sheet != nullptr ? sheet->mapTo(PageControl1, QPoint(0, 0)).y() : 0;
}

void MainWindow::SetBottomPanelTop(int top) {
  Panel6->move(Panel6->x(), top);
  Panel6->raise();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  StatusBar1->setGeometry(0, height() - 20, width(), 20);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Panel1 && event->type() == QEvent::MouseButtonRelease && panel1OpensMenu_) {
    Panel1Click();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::PopupSizerMenu(const QPoint& at) {
  SizerMenu->popup(at);
}

void MainWindow::OnlyLCDDisplays1Click() {
  state_.ProgramSection = 24;
  sizer_.OnlyBottom();
}

void MainWindow::OnlyTopofWindow1Click() {
  state_.ProgramSection = 25;
  sizer_.OnlyTop();
}

void MainWindow::Panel1Click() {
  state_.ProgramSection = 29;
  PopupSizerMenu(QPoint(x() + 200, y() + Panel1->y() + Panel6->y()));
}

void MainWindow::Hide2Click() {
  state_.ProgramSection = 26;
  sizer_.Restore();
  HideMainWindow();
}

void MainWindow::DontChange1Click() {
  state_.ProgramSection = 27;
  sizer_.Restore();
}

void MainWindow::ShowTip(uint8_t tip) {
  state_.ProgramSection = 37;
  TipNumber = tip;
  if (settings_.Line(tip) == QLatin1String("0")) {
    return;
  }
  UserInterface::Get().Beep();
  QString text = TipText(tip);
  if (tip == 38) {  // the "All" tip names what "All" counts on this machine
    try {
      text += QStringLiteral("\n\n") + CounterSampler::DescribeAll(sampler_.ListAdapters());
    } catch (const std::exception&) {
      // Without a table walk the tip keeps its general text.
    }
  }
  const bool dontRemind = UserInterface::Get().Tip(text);
  // Kept in memory only: the next "Save settings and Quit" writes it.
  if (TipNumber >= 37 && TipNumber <= 98 && dontRemind) {
    settings_.SetLine(TipNumber, QStringLiteral("0"));
  }
}

void MainWindow::OpenHelp() {
  Launcher::Open(ExecutableDir() + QStringLiteral("/help/index.html"));
}

void MainWindow::OpenWebPage() {
  Launcher::Open(webPageAddress_.left(255));
}

void MainWindow::BitBtn3Click() {
  state_.ProgramSection = 60;
  OpenHelp();
}

void MainWindow::BitBtn4Click() {
  state_.ProgramSection = 54;
  OpenWebPage();
}

// ---- graph ----

void MainWindow::ShowGraphClick() {
  state_.ProgramSection = 31;
  ChartMenu->popup(ShowGraph->mapToGlobal(QPoint(0, ShowGraph->height())));
}

void MainWindow::ShowActualData1Click() {
  state_.ProgramSection = 33;
  graphs_.ShowGraph(1);
}

void MainWindow::Show2Click() {
  state_.ProgramSection = 39;
  graphs_.ShowGraph(2);
}

void MainWindow::Close1Click() {
  state_.ProgramSection = 32;
  graphs_.CloseGraph();
}

// ---- setup dialogs ----

void MainWindow::SetSpeedHintsFor(uint8_t kilobitMode) {
  SettingsLoader::ShowSpeedHints(*this, kilobitMode);
}

void MainWindow::ReloadSettings() {
  Guarded([this] { loader_.LoadSettings(true); });
}

void MainWindow::WriteAutostart(bool enabled) {
  Autostart(store_, env_.autostartEntry).Write(enabled, env_.executablePath);
}

// ---- alarms ----

void MainWindow::Beep() {
  UserInterface::Get().Beep();
}

void MainWindow::SendMail(const QString& recipient, const QString& message) {
  MapiEmail.Clear();
  MapiEmail.Recipient << recipient;
  MapiEmail.Subject = AlarmEvaluator::kSubject;
  MapiEmail.Text = message;
  // Failures other than a missing mail system pass silently, as the mail
  // component's error event is left unassigned.
  MapiEmail.SendMail();
}

void MainWindow::Open(const QString& text) {
  Launcher::OpenOrRun(text);
}

void MainWindow::NetstatbuttonClick() {
  state_.ProgramSection = 42;
  if (NetStatWindow::Instance() != nullptr) {
    return;  // one is open already (it is modal)
  }
  // The window shares the table component with the measurement tick; the
  // QPointer guards against the window going away during its modal loop.
  QPointer<NetStatWindow> form = new NetStatWindow(
      table_.get(), [this](const std::exception& e) { ExceptionHandler(e); }, this);
  form->exec();
  delete form;
}

void MainWindow::AlarmsbuttonClick() {
  state_.ProgramSection = 50;
  AlarmWindow form(settings_, this);
  form.exec();
}

// ---- history ----

void MainWindow::RecordTick() {
  Guarded([this] { recorder_.RecordTick(); });
}

void MainWindow::Probutton4Click() {
  state_.ProgramSection = 45;
  HistoryCommands(maintenance_, dates_, ExecutableDir()).PurgeWithBackup();
}

void MainWindow::ProButton5Click() {
  HistoryCommands(maintenance_, dates_, ExecutableDir()).RestoreBackup();
}

void MainWindow::Probutton3Click() {
  state_.ProgramSection = 52;
  HistoryCommands(maintenance_, dates_, ExecutableDir()).DeleteProfile();
}

// ---- placement ----

QRect MainWindow::Placement() const {
  return geometry();
}

void MainWindow::SetPlacement(const QRect& rect) {
  if (rect.width() > 0 && rect.height() > 0) {
    setGeometry(rect);
  }
}

uint8_t MainWindow::PlacementState() const {
  if (windowState() & Qt::WindowMinimized) {
    return kMinimised;
  }
  return (windowState() & Qt::WindowMaximized) ? kMaximised : kNormal;
}

void MainWindow::SetPlacementState(uint8_t s) {
  setWindowState(s == kMinimised   ? Qt::WindowMinimized
                 : s == kMaximised ? Qt::WindowMaximized
                                   : Qt::WindowNoState);
}

}  // namespace velmar
