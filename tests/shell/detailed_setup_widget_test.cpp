#include "shell/widgets/detailed_setup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "shell/setup_test_host.h"
#include "shell/widgets/setup_wizard.h"
#include "support/scripted_ui.h"

namespace velmar {
namespace {

using test::SetupTestHost;

class DetailedSetupTest : public test::SetupDialogTest<DetailedSetup> {
 protected:
  RadioGroup* Group(const char* name) { return Child<RadioGroup>(name); }
  QCheckBox* Box(const char* name) { return Child<QCheckBox>(name); }
  QLineEdit* Edit(const char* name) { return Child<QLineEdit>(name); }
  void CloseButton() { Child<QPushButton>("closeButton")->click(); }
};

TEST_F(DetailedSetupTest, EveryControlWithItsCaption) {
  Open();
  EXPECT_EQ(dialog->windowTitle(), "Velmar Detailed Setup");
  EXPECT_EQ(dialog->size(), QSize(556, 439));
  EXPECT_EQ(
      Texts(dialog.get()),
      (QStringList{"&Network interface to monitor:", "&URL (http or ftp) for 'Generate' Mode:",
                   "Proxy server address or &hostname:", "P&ort:"}));
  EXPECT_EQ(Child<QComboBox>("Interfacebox")->currentText(), "All");
  EXPECT_EQ(Group("KBmodepanel")->title(), "1 KiloBit is ");
  EXPECT_EQ(Group("AvgModepanel")->title(), "Averaging algorithm ");
  QStringList kb;
  for (QRadioButton* b : Group("KBmodepanel")->Buttons()) {
    kb << b->text();
  }
  EXPECT_EQ(kb, (QStringList{"&1000 bits", "10&24 bits"}));
  QStringList avg;
  for (QRadioButton* b : Group("AvgModepanel")->Buttons()) {
    avg << b->text();
  }
  EXPECT_EQ(avg, (QStringList{"&3 Pole", "&Mid range", "&Full range"}));
  // Two and three columns: the items of each group share one row.
  const auto& kbButtons = Group("KBmodepanel")->Buttons();
  EXPECT_EQ(kbButtons[0]->y(), kbButtons[1]->y());
  EXPECT_LT(kbButtons[0]->x(), kbButtons[1]->x());
  const auto& avgButtons = Group("AvgModepanel")->Buttons();
  EXPECT_EQ(avgButtons[0]->y(), avgButtons[2]->y());
  EXPECT_LT(avgButtons[1]->x(), avgButtons[2]->x());

  EXPECT_EQ(Box("UseProxyBox")->text(), "Connect through pro&xy server");
  EXPECT_EQ(Box("WinStartupBox")->text(), "&Auto-run Velmar when I log in");
  EXPECT_EQ(Box("AnalyseStartupbox")->text(), "&Start Velmar in 'Active' mode");
  EXPECT_EQ(Box("StayOnTopBox")->text(), "&Keep Velmar main-window on top");
  EXPECT_EQ(Box("ProgramHistoryBox")->text(), "Record each &program's traffic in the history");
  EXPECT_EQ(Child<QPushButton>("revertButton")->text(), "&Revert settings");
  EXPECT_EQ(Child<QPushButton>("closeButton")->text(), "C&lose");
  EXPECT_NE(Edit("URLbox"), nullptr);
  EXPECT_NE(Edit("HostBox"), nullptr);
  EXPECT_LT(Edit("proxyport")->width(), Edit("HostBox")->width() / 4) << "a few characters wide";
}

TEST_F(DetailedSetupTest, NoCaptionIsClippedAndTheWindowRenders) {
  Open({{8, "proxy.example.lan"}, {9, "3128"}, {14, "1"}, {3, "http://example.org/big.bin"}});
  EXPECT_EQ(test::ClippedCaptions(*dialog), QStringList());
  QTemporaryDir scratch;
  const QString dir = qEnvironmentVariableIsSet("VELMAR_SCREENSHOT_DIR")
                          ? qEnvironmentVariable("VELMAR_SCREENSHOT_DIR")
                          : scratch.path();
  QDir().mkpath(dir);
  const QImage shot = test::Framed(*dialog);
  EXPECT_EQ(shot.width(), 558);
  EXPECT_TRUE(shot.save(dir + "/setup.png"));
}

TEST_F(DetailedSetupTest, ShowingReadsTheLines) {
  Open({{1, "1"},
        {2, "3"},
        {3, "http://example.org/x"},
        {8, " proxy.lan "},
        {9, " 81 "},
        {10, "1"},
        {11, "1"},
        {12, "1"},
        {13, "2"},
        {14, "1"}});
  EXPECT_EQ(Group("KBmodepanel")->ItemIndex(), 1);
  EXPECT_EQ(Group("AvgModepanel")->ItemIndex(), 2);
  EXPECT_EQ(Edit("URLbox")->text(), "http://example.org/x");
  EXPECT_TRUE(Box("WinStartupBox")->isChecked());
  EXPECT_TRUE(Box("AnalyseStartupbox")->isChecked());
  auto* interfaces = Child<QComboBox>("Interfacebox");
  EXPECT_EQ(interfaces->count(), 3);
  EXPECT_EQ(interfaces->currentIndex(), 2);
  EXPECT_EQ(interfaces->currentText(), "eth0");
  EXPECT_EQ(Edit("HostBox")->text(), "proxy.lan");
  EXPECT_EQ(Edit("proxyport")->text(), "81");
  EXPECT_EQ(Line(8), "proxy.lan") << "the trimmed texts go back into the lines";
  EXPECT_EQ(Line(9), "81");
  EXPECT_TRUE(Box("UseProxyBox")->isChecked());
  EXPECT_TRUE(Edit("HostBox")->isEnabled());
  EXPECT_TRUE(Child<QLabel>("PortLabel")->isEnabled());
  EXPECT_TRUE(Edit("proxyport")->isEnabled());
  EXPECT_FALSE(Box("StayOnTopBox")->isChecked()) << "not read from line 12";
  EXPECT_TRUE(host.tipsAsked.empty()) << "filling the box is no choice";
}

TEST_F(DetailedSetupTest, RestoredFromMinimisedKeepsTheEditsNotYetApplied) {
  Open({{1, "0"}, {2, "1"}, {3, "http://example.org/x"}});
  Edit("URLbox")->setText("http://edited.example/");
  Group("KBmodepanel")->Buttons()[1]->click();
  Group("AvgModepanel")->Buttons()[2]->click();
  Box("AnalyseStartupbox")->click();
  // Minimised and restored, or hidden and shown: each brings a show event.
  dialog->showMinimized();
  dialog->showNormal();
  dialog->hide();
  dialog->show();
  EXPECT_EQ(Edit("URLbox")->text(), "http://edited.example/");
  EXPECT_EQ(Group("KBmodepanel")->ItemIndex(), 1);
  EXPECT_EQ(Group("AvgModepanel")->ItemIndex(), 2);
  EXPECT_TRUE(Box("AnalyseStartupbox")->isChecked());
  dialog->close();
  EXPECT_EQ(Line(3), "http://edited.example/");
  EXPECT_EQ(Line(1), "1");
  EXPECT_EQ(Line(2), "3");
}

TEST_F(DetailedSetupTest, ProxyOffOrWithoutHostDisablesItsControls) {
  for (const auto& [hostText, use] : {std::pair{"proxy.lan", "0"}, std::pair{"  ", "1"}}) {
    SCOPED_TRACE(hostText);
    Open({{8, hostText}, {9, "81"}, {14, use}});
    EXPECT_FALSE(Box("UseProxyBox")->isChecked());
    EXPECT_FALSE(Edit("HostBox")->isEnabled());
    EXPECT_FALSE(Child<QLabel>("HostLabel")->isEnabled()) << "its caption looks disabled too";
    EXPECT_FALSE(Child<QLabel>("PortLabel")->isEnabled());
    EXPECT_FALSE(Edit("proxyport")->isEnabled());
  }
}

TEST_F(DetailedSetupTest, ModesTheGroupsCannotShowKeepTheirSelection) {
  for (const char* averaging : {"0", "4", "x", ""}) {
    SCOPED_TRACE(averaging);
    Open({{1, "5"}, {2, averaging}});
    EXPECT_EQ(Group("KBmodepanel")->ItemIndex(), 0);
    EXPECT_EQ(Group("AvgModepanel")->ItemIndex(), 0);
    CloseButton();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(host.averagingMode, 1) << "never 0";
    EXPECT_EQ(Line(2), "1");
    EXPECT_EQ(host.KilobitMode(), 0);
    EXPECT_EQ(Line(1), "0");
  }
}

TEST_F(DetailedSetupTest, OpenedAndClosedAtOnceSwitchesStayOnTopOff) {
  host.Start({{12, "1"}, {3, " http://example.org/a "}, {2, "2"}, {1, "1"}});
  ASSERT_TRUE(host.stayOnTop);
  bool ranInside = false;
  QTimer::singleShot(0, [&] {
    ranInside = true;
    ASSERT_NE(DetailedSetup::Instance(), nullptr);
    DetailedSetup::Instance()->close();
  });
  DetailedSetup::OpenSetup(host, nullptr);
  EXPECT_TRUE(ranInside);
  EXPECT_EQ(DetailedSetup::Instance(), nullptr);
  EXPECT_FALSE(host.stayOnTop);
  EXPECT_EQ(Line(12), "0");
  // The rest comes back as it was, the URL trimmed.
  EXPECT_EQ(Line(1), "1");
  EXPECT_EQ(host.KilobitMode(), 1);
  EXPECT_EQ(Line(2), "2");
  EXPECT_EQ(host.averagingMode, 2);
  EXPECT_EQ(Line(3), "http://example.org/a");
  EXPECT_EQ(host.url, "http://example.org/a");
  EXPECT_TRUE(host.errors.isEmpty());
}

TEST_F(DetailedSetupTest, EveryKeystrokeInTheProxyBoxesLandsInItsLine) {
  Open({{14, "1"}, {8, "p"}, {9, "1"}});
  ASSERT_TRUE(Edit("HostBox")->isEnabled());
  Edit("HostBox")->clear();
  Edit("proxyport")->clear();
  QStringList seen;
  QObject::connect(Edit("HostBox"), &QLineEdit::textChanged, [&] { seen << Line(8); });
  QTest::keyClicks(Edit("HostBox"), "gw.lan");
  EXPECT_EQ(seen, (QStringList{"g", "gw", "gw.", "gw.l", "gw.la", "gw.lan"}));
  QTest::keyClick(Edit("HostBox"), Qt::Key_Backspace);
  EXPECT_EQ(Line(8), "gw.la");
  QTest::keyClicks(Edit("proxyport"), "8080");
  EXPECT_EQ(Line(9), "8080");
  EXPECT_EQ(host.proxyApplications, 0) << "applied only when closing";
  CloseButton();
  EXPECT_EQ(host.proxy, "gw.la");
  EXPECT_EQ(host.proxyPort, 8080);
  EXPECT_EQ(Line(14), "1");
}

TEST_F(DetailedSetupTest, APortOfZeroOrLettersSwitchesTheProxyOffOnClose) {
  for (const char* port : {"0", "abc", "", "65536"}) {
    SCOPED_TRACE(port);
    Open({{8, "proxy.lan"}, {9, "3128"}, {14, "1"}});
    ASSERT_TRUE(Box("UseProxyBox")->isChecked());
    ASSERT_EQ(host.proxy, "proxy.lan") << "applied at the start";
    Edit("proxyport")->clear();
    QTest::keyClicks(Edit("proxyport"), port);
    CloseButton();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(host.proxy, "");
    EXPECT_EQ(Line(14), "0");
  }
}

TEST_F(DetailedSetupTest, TheProxyBoxSwitchesLine14AndItsControlsAndOffAppliesAtOnce) {
  Open({{8, "proxy.lan"}, {9, "81"}});
  EXPECT_FALSE(Box("UseProxyBox")->isChecked());
  Box("UseProxyBox")->click();
  EXPECT_EQ(Line(14), "1");
  EXPECT_TRUE(Edit("HostBox")->isEnabled());
  EXPECT_TRUE(Child<QLabel>("PortLabel")->isEnabled());
  EXPECT_TRUE(Edit("proxyport")->isEnabled());
  Box("UseProxyBox")->click();
  EXPECT_EQ(Line(14), "0");
  EXPECT_FALSE(Edit("HostBox")->isEnabled());
  CloseButton();
  EXPECT_EQ(host.proxy, "");

  // A proxy in use since the start goes when the box is cleared, and when
  // its host is removed.
  for (const bool clearHost : {false, true}) {
    Open({{8, "proxy.lan"}, {9, "81"}, {14, "1"}});
    ASSERT_EQ(host.proxy, "proxy.lan");
    if (clearHost) {
      Edit("HostBox")->clear();
    } else {
      Box("UseProxyBox")->click();
    }
    CloseButton();
    EXPECT_EQ(host.proxy, "") << clearHost;
    EXPECT_EQ(host.proxyPort, 0);
  }
}

TEST_F(DetailedSetupTest, InterfaceChoiceTakesEffectAtOnceAndAllShowsTheTip) {
  Open({{13, "1"}});
  auto* box = Child<QComboBox>("Interfacebox");
  QTest::keyClick(box, Qt::Key_Down);
  EXPECT_EQ(host.AdapterIndex(), 2);
  EXPECT_EQ(Line(13), "2");
  EXPECT_EQ(host.adapterLabel, "Network Adapter: eth0");
  EXPECT_TRUE(host.tipsAsked.empty());
  QTest::keyClick(box, Qt::Key_Home);
  EXPECT_EQ(host.AdapterIndex(), 0);
  EXPECT_EQ(Line(13), "0");
  EXPECT_EQ(host.adapterLabel, "Network Adapter: All");
  EXPECT_EQ(host.tipsAsked, std::vector<int>{38});
  EXPECT_EQ(ui.tips, QStringList{TipText(Tip::kAllAdapters)});

  host.Settings().SetLine(38, "0");
  QTest::keyClick(box, Qt::Key_Down);
  QTest::keyClick(box, Qt::Key_Up);
  EXPECT_EQ(host.tipsAsked, (std::vector<int>{38, 38}));
  EXPECT_EQ(ui.tips.size(), 1) << "dismissed for good";
}

TEST_F(DetailedSetupTest, ClosingAppliesEveryControl) {
  Open();
  Group("KBmodepanel")->Buttons()[1]->click();
  Group("AvgModepanel")->Buttons()[2]->click();
  EXPECT_EQ(Line(1), "0") << "the modes wait for the close";
  Edit("URLbox")->setText("  http://example.org/file.bin  ");
  Box("WinStartupBox")->click();
  Box("AnalyseStartupbox")->click();
  Box("StayOnTopBox")->click();
  CloseButton();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(host.KilobitMode(), 1);
  ASSERT_EQ(host.hints.size(), 4);
  for (const QString& hint : host.hints) {
    EXPECT_TRUE(hint.endsWith("(1Kbit=1024 bits!)")) << hint.toStdString();
  }
  EXPECT_EQ(Line(1), "1");
  EXPECT_EQ(host.averagingMode, 3);
  EXPECT_EQ(Line(2), "3");
  EXPECT_EQ(Line(3), "http://example.org/file.bin");
  EXPECT_EQ(host.url, "http://example.org/file.bin");
  EXPECT_EQ(Line(10), "1");
  EXPECT_EQ(host.RunValue(), SetupTestHost::kExecutable);
  EXPECT_TRUE(host.DesktopEntryExists());
  EXPECT_EQ(Line(11), "1");
  EXPECT_EQ(Line(12), "1");
  EXPECT_TRUE(host.stayOnTop);
  EXPECT_EQ(host.programsRecorded, false) << "line 65 stays off";

  // And switched off again; line 65 on, which the meter follows at once.
  Open({{10, "1"}, {11, "1"}});
  EXPECT_FALSE(Box("ProgramHistoryBox")->isChecked());
  Box("ProgramHistoryBox")->click();
  ASSERT_TRUE(host.DesktopEntryExists());
  Box("WinStartupBox")->click();
  Box("AnalyseStartupbox")->click();
  Edit("URLbox")->clear();
  QTest::keyClick(dialog.get(), Qt::Key_Escape);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(Line(10), "0");
  EXPECT_EQ(host.RunValue(), "");
  EXPECT_FALSE(host.DesktopEntryExists());
  EXPECT_EQ(Line(11), "0");
  EXPECT_EQ(Line(3), "");
  EXPECT_EQ(host.url, "http://") << "an empty line counts as the bare scheme";
  EXPECT_EQ(Line(65), "1");
  EXPECT_EQ(host.programsRecorded, true);
}

TEST_F(DetailedSetupTest, RevertSettingsBringsBackTheSavedFile) {
  Open({{7, "4711"}, {3, "http://saved/"}, {13, "2"}});
  host.Settings().SetLine(7, "9999");
  Edit("URLbox")->setText("http://changed/");
  QTest::keyClick(Child<QComboBox>("Interfacebox"), Qt::Key_Up);
  Box("StayOnTopBox")->click();
  Edit("HostBox")->setText("typed");
  ASSERT_EQ(Line(13), "1");

  ui.answers = {UserInterface::Answer::No};
  Child<QPushButton>("revertButton")->click();
  EXPECT_EQ(Line(7), "9999") << "answered No";
  EXPECT_EQ(Edit("URLbox")->text(), "http://changed/");

  ui.answers = {UserInterface::Answer::Yes};
  const int beeps = ui.beeps;
  Child<QPushButton>("revertButton")->click();
  EXPECT_EQ(ui.beeps, beeps + 1);
  EXPECT_EQ(ui.questions, (QStringList{kRevertQuestion, kRevertQuestion}));
  EXPECT_EQ(Line(7), "4711");
  EXPECT_EQ(host.total, 4711);
  EXPECT_EQ(Line(13), "2");
  EXPECT_EQ(host.AdapterIndex(), 2);
  EXPECT_EQ(Child<QComboBox>("Interfacebox")->currentText(), "eth0");
  EXPECT_EQ(Edit("URLbox")->text(), "http://saved/");
  EXPECT_EQ(Edit("HostBox")->text(), "");
  EXPECT_EQ(Line(8), "");
  EXPECT_FALSE(Box("StayOnTopBox")->isChecked());
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(DetailedSetupTest, AnAutostartValueThatCannotBeWrittenKeepsTheWindowOpen) {
  Open({{3, "http://old/"}});
  host.url = "unchanged";
  host.MakeStoreReadOnly();
  Group("KBmodepanel")->Buttons()[1]->click();
  Edit("URLbox")->setText("http://new/");
  Box("StayOnTopBox")->click();
  Box("WinStartupBox")->click();
  CloseButton();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(host.errors, QStringList{"Failed to set data for 'Velmar2000'"});
  // Steps 1 to 3 stay done; 4 to 7 did not happen.
  EXPECT_EQ(host.KilobitMode(), 1);
  EXPECT_EQ(Line(1), "1");
  EXPECT_EQ(Line(10), "0");
  EXPECT_EQ(Line(3), "http://old/");
  EXPECT_EQ(host.url, "unchanged");
  EXPECT_EQ(Line(12), "0");
  EXPECT_FALSE(host.stayOnTop);

  // Without autostart the window closes; the failed removal passes quietly.
  Box("WinStartupBox")->click();
  CloseButton();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(host.errors.size(), 1);
  EXPECT_EQ(Line(3), "http://new/");
  EXPECT_TRUE(host.stayOnTop);
}

TEST_F(DetailedSetupTest, RefusesToOpenWhileAnalysisRuns) {
  host.Start({{12, "1"}});
  host.analysisRunning = true;
  DetailedSetup::OpenSetup(host, nullptr);
  EXPECT_EQ(ui.messages, QStringList{"Velmar analysis is currently running, please stop first!"});
  EXPECT_EQ(DetailedSetup::Instance(), nullptr);
  EXPECT_EQ(Line(12), "1") << "nothing closed, nothing applied";
  EXPECT_TRUE(host.stayOnTop);
}

TEST_F(DetailedSetupTest, OpensOneFreshWindowAtATimeAndFreesIt) {
  host.Start();
  QPointer<DetailedSetup> first;
  QTimer::singleShot(0, [&] {
    first = DetailedSetup::Instance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), first.data());
    DetailedSetup::OpenSetup(host, nullptr);
    int windows = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      windows += dynamic_cast<DetailedSetup*>(w) != nullptr ? 1 : 0;
    }
    EXPECT_EQ(windows, 1);
    first->findChild<QCheckBox*>("StayOnTopBox")->click();
    first->close();
  });
  DetailedSetup::OpenSetup(host, nullptr);
  EXPECT_EQ(first, nullptr);
  EXPECT_TRUE(host.stayOnTop);

  bool fresh = false;
  QTimer::singleShot(0, [&] {
    DetailedSetup* second = DetailedSetup::Instance();
    ASSERT_NE(second, nullptr);
    fresh = !second->findChild<QCheckBox*>("StayOnTopBox")->isChecked();
    second->close();
  });
  DetailedSetup::OpenSetup(host, nullptr);
  EXPECT_TRUE(fresh);
  EXPECT_FALSE(host.stayOnTop);
  EXPECT_EQ(DetailedSetup::Instance(), nullptr);
}

}  // namespace
}  // namespace velmar
