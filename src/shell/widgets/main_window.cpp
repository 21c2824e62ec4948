#include "shell/widgets/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <algorithm>

#include "config/program_section.h"
#include "platform/app_paths.h"
#include "platform/launcher.h"
#include "platform/message_queue.h"
#include "platform/user_interface.h"
#include "platform/widgets/elided_label.h"
#include "platform/widgets/fit_to_font.h"
#include "shell/error_report.h"
#include "shell/paint/meter_art.h"
#include "shell/single_instance.h"
#include "shell/widgets/main_window_views.h"
#include "shell/widgets/splash_screen.h"
#include "shell/widgets/tip_window.h"
#include "shell/widgets/window_accessibility.h"
#include "shell/widgets/window_parts.h"
#include "shell/widgets/window_system.h"
#include "shell/widgets/xembed_tray.h"

namespace velmar {

const QString MainWindow::kCaption = QStringLiteral("Velmar 2000 Bandwidth Meter");
const QString MainWindow::kUnsavedQuestion = QStringLiteral(
    "Settings were changed and not saved. Save them before the Velmar program ends?");

namespace {

// How often an X11 desktop without a tray is asked for an XEmbed one: a
// panel that starts later gets the icon within this time.
constexpr int kXEmbedLookMs = 250;

// Wayland has no beep, and a client there neither learns nor sets where
// its windows are.
MeterSession::Environment ForThisDesktop(MeterSession::Environment environment) {
  if (OnWayland()) {
    environment.systemBeep = false;
    environment.windowPositions = false;
  }
  return environment;
}

}  // namespace

QString MainWindow::AlreadyRunningText(const QString& answer) {
  if (answer == SingleInstance::kAnswerTray) {
    return QStringLiteral("Velmar is already running, please look for it in the system tray.");
  }
  if (answer == SingleInstance::kAnswerWindow) {
    return QStringLiteral("Velmar is already running; its window is brought to the front.");
  }
  return QStringLiteral("Velmar is already running.");
}

MainWindow::MainWindow(Environment environment)
    : QWidget(nullptr),
      views_(std::make_unique<Views>(*this)),
      session_(ForThisDesktop(std::move(environment)), views_->Meter()),
      sizer_(views_->sizer),
      dialogs_(session_, this),
      onWayland_(OnWayland()) {
  setObjectName(QStringLiteral("mainWindow"));
  InstallWindowAccessibility();
  setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  resize(281, 495);
  // The window paints its own background, so it brings its text colours.
  setPalette(MeterArt::Skin(palette(), MeterArt::Surface::kWindow));
  setAutoFillBackground(true);
  tabs_ = new MainTabs(this);
  ConnectTabs();
  panel_ = new MeterPanel(this);
  ConnectPanel();
  BuildStatusBar();
  // Built in design pixels; a larger font makes it all larger.
  FitToFont(*this);
  fullSize_ = size();

  ConnectTray();
  // The data plan's state in the tray tip, and over the total it extends.
  connect(&session_.Plan(), &PlanWatch::lineChanged, this, [this](const QString& line) {
    const UsageState& plan = session_.Plan().State();
    tray_.SetPlan(plan.PlanTip());
    planLabel_->setText(plan.PlanBadge());
    planLabel_->setToolTip(line);
    planLabel_->setAccessibleName(QStringLiteral("Data plan"));
    planLabel_->setAccessibleDescription(line);
    planLabel_->setVisible(!line.isEmpty());
    tabs_->TotalDisplay()->setToolTip(
        line.isEmpty() ? QStringLiteral("Total traffic generated since Velmar was started")
                       : QStringLiteral("Data plan: ") + line);
  });
  connect(&dialogs_.Reports(), &ReportCommands::StatusChanged, statusLabel_, &QLabel::setText);
  connect(&graphs_, &GraphWindowHost::TipDue, this, [this](Tip tip) { ShowTip(tip); });
  connect(&graphs_, &GraphWindowHost::CloseRequested, this, [this] { CloseGraph(); });
  connect(&graphs_, &GraphWindowHost::FeedChanged, this,
          [this](GraphFeed* feed) { session_.SetGraphFeed(feed); });

  if (onWayland_) {
    tray_.DisableStayOnTop(kNoStayOnTopTip);
  }
  xembedLook_.setInterval(kXEmbedLookMs);
  connect(&xembedLook_, &QTimer::timeout, this, [this] { InstallTrayIcon(); });
  connect(&trayWatch_, &StatusNotifierWatch::HostChanged, this, [this](bool present) {
    if (present) {
      InstallTrayIcon();
    }
  });
  InstallTrayIcon();
}

MainWindow::~MainWindow() {
  if (SplashScreen* splash = SplashScreen::Instance()) {
    splash->close();
  }
}

// ---- building ----

void MainWindow::ConnectTabs() {
  connect(tabs_, &MainTabs::openHelp, this, [this] {
    session_.SetSection(section::kOpenHelp);
    OpenHelp();
  });
  connect(tabs_, &MainTabs::openSetupWizard, this, [this] { dialogs_.OpenSetupWizard(); });
  connect(tabs_, &MainTabs::openDetailedSetup, this, [this] { dialogs_.OpenDetailedSetup(); });
  connect(tabs_, &MainTabs::openAlarms, this, [this] { dialogs_.OpenAlarms(); });
  connect(tabs_, &MainTabs::resetToDefaults, this, [this] { ResetToDefaults(); });
  connect(tabs_, &MainTabs::clearTotal, this, [this] { session_.Analysis().ClearTotal(); });
  connect(tabs_, &MainTabs::openNetStat, this, [this] { dialogs_.OpenNetStat(); });
  connect(tabs_, &MainTabs::openReportWizard, this, [this] { dialogs_.OpenReportWizard(); });
  connect(tabs_, &MainTabs::generateReport, this, [this] { dialogs_.GenerateReport(); });
  connect(tabs_, &MainTabs::deleteProfiles, this, [this] { dialogs_.DeleteProfiles(); });
  connect(tabs_, &MainTabs::purgeHistory, this, [this] { dialogs_.PurgeHistory(); });
  connect(tabs_, &MainTabs::restoreHistory, this, [this] { dialogs_.RestoreHistory(); });
  connect(tabs_, &MainTabs::openWebSite, this, [this] {
    session_.SetSection(section::kOpenWebSite);
    OpenWebSite();
  });
  connect(tabs_, &MainTabs::saveSettingsAndQuit, this, [this] { SaveSettingsAndQuit(); });
  connect(tabs_, &MainTabs::discardAndQuit, this, [this] { DiscardAndQuit(); });
  connect(tabs_, &MainTabs::gaugeClicked, this, [this] { OpenSizerMenuFromGauge(); });
  connect(tabs_, &MainTabs::pageChanged, this, [this] {
    session_.SetSection(section::kPageChanged);
    sizer_.Restore();
  });
}

void MainWindow::ConnectPanel() {
  connect(panel_, &MeterPanel::startAnalysis, this,
          [this] { session_.Analysis().StartAnalysis(); });
  connect(panel_, &MeterPanel::stopAnalysis, this, [this] { session_.Analysis().StopAnalysis(); });
  connect(panel_, &MeterPanel::chooseSpy, this, [this] { session_.Analysis().ChooseSpy(); });
  connect(panel_, &MeterPanel::chooseGenerate, this,
          [this] { session_.Analysis().ChooseGenerate(); });
  connect(panel_, &MeterPanel::toggleAverageLock, this,
          [this] { session_.Analysis().ToggleAverageLock(); });
  connect(panel_, &MeterPanel::openGraphMenu, this, [this] { OpenGraphMenu(); });
  connect(panel_, &MeterPanel::showLiveGraph, this, [this] { ShowLiveGraph(); });
  connect(panel_, &MeterPanel::showHistoryGraph, this, [this] { ShowHistoryGraph(); });
  connect(panel_, &MeterPanel::closeGraph, this, [this] { CloseGraph(); });
  connect(panel_, &MeterPanel::sizerClicked, this, [this] {
    session_.SetSection(section::kSizerClicked);
    // From the button, not the window's place, which Wayland keeps secret.
    PopupSizerMenu(panel_->SizerButton()->mapToGlobal(QPoint(0, 0)));
  });
  connect(panel_, &MeterPanel::sizerContextMenu, this, [this] { PopupSizerMenu(QCursor::pos()); });
  connect(panel_, &MeterPanel::onlyBottom, this, [this] { ShowOnlyBottom(); });
  connect(panel_, &MeterPanel::onlyTop, this, [this] { ShowOnlyTop(); });
  connect(panel_, &MeterPanel::hideWindow, this, [this] { HideFromSizer(); });
  connect(panel_, &MeterPanel::restoreLayout, this, [this] { RestoreLayout(); });
}

void MainWindow::ConnectTray() {
  connect(&tray_, &TrayMenu::showChosen, this, [this] { ShowFromTray(); });
  connect(&tray_, &TrayMenu::activeToggled, this, [this] { session_.Analysis().ToggleAnalysis(); });
  connect(&tray_, &TrayMenu::stayOnTopToggled, this, [this] { ToggleStayOnTop(); });
  connect(&tray_, &TrayMenu::hideChosen, this, [this] { HideToTray(); });
  connect(&tray_, &TrayMenu::dataPlanChosen, this, [this] { session_.SetUpPlan(); });
  connect(&tray_, &TrayMenu::helpChosen, this, [this] {
    session_.SetSection(section::kTrayHelp);
    OpenHelp();
  });
  connect(&tray_, &TrayMenu::webSiteChosen, this, [this] {
    session_.SetSection(section::kTrayWebSite);
    OpenWebSite();
  });
  connect(&tray_, &TrayMenu::endChosen, this, [this] { EndWithQuestion(); });
  connect(&tray_, &TrayMenu::iconClicked, this, [this] {
    if (trayEnabled_) {
      session_.SetSection(section::kTrayIconClicked);
      ShowMainWindow();
    }
  });
}

void MainWindow::BuildStatusBar() {
  statusBar_ = Place(new QStatusBar(this), 0, 475, 281, 20);
  statusBar_->setObjectName(QStringLiteral("statusBar"));
  statusBar_->setSizeGripEnabled(false);
  // Long messages lose their middle, never their end ("next try in 4 s").
  statusLabel_ = new ElidedLabel(statusBar_);
  statusLabel_->setObjectName(QStringLiteral("statusPanel"));
  statusLabel_->setAlignment(Qt::AlignCenter);
  statusLabel_->setFrameShape(QFrame::Panel);
  statusLabel_->setFrameShadow(QFrame::Raised);
  statusBar_->addWidget(statusLabel_, 1);
  planLabel_ = new QLabel(statusBar_);
  planLabel_->setObjectName(QStringLiteral("planPanel"));
  planLabel_->setFrameShape(QFrame::Panel);
  planLabel_->setFrameShadow(QFrame::Raised);
  planLabel_->hide();
  statusBar_->addPermanentWidget(planLabel_);
}

// ---- life cycle ----

void MainWindow::Start() {
  minimizeToTray_ = false;
  trayEnabled_ = false;
  session_.Start();
  setWindowTitle(kCaption);
  ShowSplash();
}

void MainWindow::ShowSplash() {
  session_.SetSection(section::kShowSplash);
  if (SplashScreen::Instance() == nullptr) {
    new SplashScreen;
  }
  SplashScreen::Instance()->show();
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  WatchWindowState();
  if (firstShow_) {
    firstShow_ = false;
    session_.ApplyStartModes();
    minimizeToTray_ = true;
    trayEnabled_ = true;
    if (SplashScreen* splash = SplashScreen::Instance()) {
      splash->StartTimer();
    }
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  session_.SetSection(section::kClose);
  if (!closeAllowed_ && TrayShown()) {
    // The place is kept at every attempt to close, even one that only
    // hides; a real close keeps it in Shutdown, after the full layout is
    // back.
    session_.SavePlacement();
    event->ignore();
    HideMainWindow();
    return;
  }
  if (!closeAllowed_) {
    // No tray to hide in: the close box is the way out, as "&End" is.
    if (!ConfirmEnd()) {
      event->ignore();
      return;
    }
    closeAllowed_ = true;
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
  session_.Shutdown();
  if (SplashScreen* splash = SplashScreen::Instance()) {
    splash->close();
  }
  tray_.HideIcon();
}

void MainWindow::WatchWindowState() {
  // The title bar's minimise button reaches the QWindow, not the widget:
  // on Wayland the widget never hears of it, and the compositor reports no
  // minimised state afterwards either.
  if (windowHandle() == nullptr || windowHandle() == watchedWindow_) {
    return;
  }
  watchedWindow_ = windowHandle();
  connect(watchedWindow_, &QWindow::windowStateChanged, this, [this](Qt::WindowState state) {
    if (state == Qt::WindowMinimized) {
      Minimised();
    }
  });
}

void MainWindow::Minimised() {
  // With no tray the window stays minimised in the task bar.
  if (minimizeToTray_ && TrayShown()) {
    QTimer::singleShot(0, this, [this] { HideMainWindow(); });
  }
}

bool MainWindow::ConfirmEnd() {
  UserInterface& ui = UserInterface::Get();
  ui.Beep();
  if (session_.Loader().HasUnsavedChanges()) {
    switch (ui.AskToSave(kUnsavedQuestion)) {
      case UserInterface::SaveChoice::Save:
        session_.SetSection(section::kSaveAndQuit);
        SaveSettingsTellingFailure();
        return true;
      case UserInterface::SaveChoice::Discard:
        return true;
      case UserInterface::SaveChoice::Cancel:
        return false;
    }
  }
  return ui.Question(QStringLiteral("This will end the Velmar program.  Exit now?")) ==
         UserInterface::Answer::Yes;
}

void MainWindow::EndWithQuestion() {
  session_.SetSection(section::kEnd);
  if (ConfirmEnd()) {
    closeAllowed_ = true;
    close();
  }
}

void MainWindow::EndWithoutQuestion() {
  closeAllowed_ = true;
  close();
}

void MainWindow::SaveSettingsAndQuit() {
  session_.SetSection(section::kSaveAndQuit);
  SaveSettingsTellingFailure();
  closeAllowed_ = true;
  close();
}

void MainWindow::SaveSettingsTellingFailure() {
  sizer_.Restore();
  try {
    session_.SaveSettings(panel_->GenerateDown());
  } catch (const Exception& e) {
    UserInterface::Get().Beep();
    UserInterface::Get().Message(QStringLiteral("Save to disk failed!\r\n") + e.Message());
  }
}

void MainWindow::DiscardAndQuit() {
  session_.SetSection(section::kDiscardAndQuit);
  session_.Analysis().PressActive(false);
  closeAllowed_ = true;
  close();
}

void MainWindow::ResetToDefaults() {
  session_.SetSection(section::kResetToDefaults);
  UserInterface::Get().Beep();
  if (UserInterface::Get().Question(QStringLiteral(
          "This will reset all settings and alarms to the default values.  Sure?")) ==
      UserInterface::Answer::Yes) {
    session_.ResetToDefaults();
  }
}

void MainWindow::ReportError(const std::exception& error) {
  latestError_ = QString::fromUtf8(error.what());
  // The report's dialog runs the event loop, and the next tick may fail the
  // same way (an alarm mail without a mail system, every second): such an
  // error goes to the status bar, not into one more dialog over the first.
  if (reportShown_) {
    statusLabel_->setText(ErrorStatusText(latestError_));
    return;
  }
  reportShown_ = true;
  UserInterface::Get().Beep();
  UserInterface::Get().Message(ErrorReportText(latestError_, session_.State().ProgramSection));
  reportShown_ = false;
  statusLabel_->setText(ErrorStatusText(latestError_));
  MessageQueue::RunNow();
}

// ---- tray and window ----

void MainWindow::InstallTrayIcon() {
  if (trayKind_ != TrayKind::kNone) {
    return;
  }
  // Qt takes the D-Bus tray when a host is there as its first icon is
  // made, and on X11 otherwise the XEmbed one, for good: an icon made
  // before any tray is there would never reach a D-Bus tray that comes
  // later. So the icon waits for a tray of either kind, on X11 as on
  // Wayland (which has only the D-Bus kind).
  if (trayWatch_.HostPresent()) {
    trayKind_ = TrayKind::kStatusNotifier;
  } else if (QGuiApplication::platformName() == QLatin1String("xcb")) {
    if (!XEmbedTrayPresent()) {
      xembedLook_.start();
      return;
    }
    trayKind_ = TrayKind::kXEmbed;
  } else {
    return;
  }
  xembedLook_.stop();
  tray_.Install();
}

bool MainWindow::TrayShown() const {
  switch (trayKind_) {
    case TrayKind::kStatusNotifier:
      return trayWatch_.HostPresent();
    case TrayKind::kXEmbed:
      return QSystemTrayIcon::isSystemTrayAvailable();
    case TrayKind::kNone:
      break;
  }
  return false;
}

void MainWindow::ShowMainWindow(const QString& activationToken) {
  if (!activationToken.isEmpty()) {
    // Qt's Wayland shell takes it from there as it activates the window.
    qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
  }
  if (onWayland_ && isVisible()) {
    // Wayland tells a client nothing of its window being minimised and
    // gives it no way to undo that: a window mapped afresh shows, whatever
    // became of the old one.
    hide();
  }
  showNormal();
  raise();
  activateWindow();
}

QString MainWindow::ComeForward(const QString& activationToken) {
  ShowMainWindow(activationToken);
  return TrayShown() ? SingleInstance::kAnswerTray : SingleInstance::kAnswerWindow;
}

void MainWindow::HideMainWindow() {
  // Without a tray to come back from, hiding would lose the window.
  if (TrayShown()) {
    hide();
  } else {
    showMinimized();
  }
}

void MainWindow::ShowFromTray() {
  session_.SetSection(section::kShowFromTray);
  ShowMainWindow();
}

void MainWindow::HideToTray() {
  session_.SetSection(section::kHideToTray);
  HideMainWindow();
}

void MainWindow::ToggleStayOnTop() {
  session_.SetSection(section::kToggleStayOnTop);
  SetStayOnTop(!stayOnTop_);
}

void MainWindow::SetStayOnTop(bool onTop) {
  if (onWayland_) {
    return;  // line 12 stays as it is for the next X11 session
  }
  stayOnTop_ = onTop;
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
  if (visible) {
    show();
  }
  tray_.SetStayOnTopChecked(onTop);
}

// ---- displays ----

void MainWindow::ShowTip(Tip tip) {
  session_.SetSection(section::kShowTip);
  SettingsList& settings = session_.Settings();
  if (settings.Line(TipLine(tip)) == QLatin1String("0")) {
    return;
  }
  UserInterface::Get().Beep();
  QString text = TipText(tip);
  if (tip == Tip::kAllAdapters) {  // the "All" tip names what "All" counts on this machine
    try {
      CounterSampler& sampler = session_.Core().Sampler();
      text += QStringLiteral("\n\n") +
              CounterSampler::DescribeAll(sampler.ListAdapters(), sampler.AllRule());
    } catch (const std::exception&) {
      // Without a table walk the tip keeps its general text.
    }
  }
  const bool dontRemind = UserInterface::Get().Tip(text);
  // Kept in memory only: the next "Save settings and Quit" writes it.
  if (dontRemind) {
    settings.SetLine(TipLine(tip), QStringLiteral("0"));
  }
}

// ---- sizer, help, web page ----

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int bar = statusBar_->height();
  statusBar_->setGeometry(0, height() - bar, width(), bar);
}

QSize MainWindow::FitToLayout(QSize requested) const {
  // A size saved or set for a smaller font would cut the layout off; only
  // the sizer's reduced layouts are lower than the full one.
  if (tabs_->Gauge()->isHidden() || panel_->isHidden()) {
    return {std::max(requested.width(), fullSize_.width()), requested.height()};
  }
  return requested.expandedTo(fullSize_);
}

void MainWindow::PopupSizerMenu(const QPoint& at) {
  panel_->SizerMenu()->popup(at);
}

void MainWindow::ShowOnlyBottom() {
  session_.SetSection(section::kShowOnlyBottom);
  sizer_.OnlyBottom();
}

void MainWindow::ShowOnlyTop() {
  session_.SetSection(section::kShowOnlyTop);
  sizer_.OnlyTop();
}

void MainWindow::OpenSizerMenuFromGauge() {
  session_.SetSection(section::kSizerMenuFromGauge);
  PopupSizerMenu(mapToGlobal(QPoint(200, tabs_->Gauge()->y() + panel_->y())));
}

void MainWindow::HideFromSizer() {
  session_.SetSection(section::kHideFromSizer);
  sizer_.Restore();
  HideMainWindow();
}

void MainWindow::RestoreLayout() {
  session_.SetSection(section::kRestoreLayout);
  sizer_.Restore();
}

void MainWindow::OpenHelp() {
  Launcher::Open(HelpIndexPath());
}

void MainWindow::OpenWebSite() {
  Launcher::Open(webPageAddress_.left(255));
}

// ---- graph ----

void MainWindow::OpenGraphMenu() {
  session_.SetSection(section::kGraphMenu);
  const QPushButton* button = panel_->GraphButton();
  panel_->GraphMenu()->popup(button->mapToGlobal(QPoint(0, button->height())));
}

void MainWindow::ShowLiveGraph() {
  session_.SetSection(section::kLiveGraph);
  graphs_.ShowGraph(1);
}

void MainWindow::ShowHistoryGraph() {
  session_.SetSection(section::kHistoryGraph);
  graphs_.ShowGraph(2);
}

void MainWindow::CloseGraph() {
  session_.SetSection(section::kCloseGraph);
  graphs_.CloseGraph();
}

}  // namespace velmar
