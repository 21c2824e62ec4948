#include "shell/widgets/setup_wizard.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "platform/widgets/picture_view.h"
#include "shell/setup_test_host.h"
#include "support/scripted_ui.h"

namespace velmar {
namespace {

using test::SetupTestHost;

class SetupWizardTest : public test::SetupDialogTest<SetupWizard> {
 protected:
  QRadioButton* Radio(const char* name) { return Child<QRadioButton>(name); }
  void GoTo(int page) {
    while (dialog->Pages()->currentIndex() < page) {
      dialog->Bar()->NextButton()->click();
    }
    while (dialog->Pages()->currentIndex() > page) {
      dialog->Bar()->BackButton()->click();
    }
  }
  void Finish() { dialog->Bar()->EndButton()->click(); }
};

TEST_F(SetupWizardTest, WindowBarAndPages) {
  Open();
  EXPECT_EQ(dialog->windowTitle(), "Velmar 2000 Setup Wizard");
  EXPECT_EQ(dialog->size(), QSize(484, 266));
  EXPECT_EQ(dialog->Pages()->size(), QSize(458, 182));
  WizardBar* bar = dialog->Bar();
  EXPECT_EQ(bar->geometry(), QRect(0, 222, 484, 44));
  EXPECT_EQ(bar->NoteBook(), dialog->Pages());
  EXPECT_EQ(bar->BackCaption(), "< &Back");
  EXPECT_EQ(bar->NextCaption(), "&Next >");
  EXPECT_EQ(bar->AbortCaption(), "&Finish");
  EXPECT_EQ(bar->ReadyCaption(), "&Finish");
  EXPECT_EQ(bar->HelpButton()->text(), "&Restore");
  EXPECT_FALSE(bar->HelpButton()->isHidden());
  EXPECT_EQ(bar->toolTip(),
            "Click \"Restore\" to Discard all setup changes and load last saved profile");

  const QStringList names{"Welcome",   "Analyser", "Proxy",        "bitspersecond",
                          "Interface", "Autoload", "StartAnalyse", "End"};
  ASSERT_EQ(dialog->Pages()->count(), 8);
  for (int page = 0; page < 8; ++page) {
    GoTo(page);
    EXPECT_EQ(bar->ActivePageName(), names[page]);
    EXPECT_EQ(bar->EndButton()->text(), "&Finish") << "finishes from page " << page;
    EXPECT_TRUE(bar->EndButton()->isEnabled());
    EXPECT_EQ(bar->BackButton()->isEnabled(), page > 0);
    EXPECT_EQ(bar->NextButton()->isEnabled(), page < 7);
    EXPECT_FALSE(
        dialog->Pages()->widget(page)->findChild<PictureView*>("Picture")->Picture().isNull())
        << "every page has its picture";
  }
}

TEST_F(SetupWizardTest, EnterGoesOnToTheNextPage) {
  Open();
  QTest::keyClick(dialog.get(), Qt::Key_Return);
  EXPECT_EQ(dialog->Pages()->currentIndex(), 1);
  EXPECT_TRUE(dialog->isVisible());
  GoTo(7);
  QTest::keyClick(dialog.get(), Qt::Key_Return);
  EXPECT_EQ(dialog->Pages()->currentIndex(), 7) << "nothing after the last page";
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(SetupWizardTest, PagesSayWhatTheyAsk) {
  Open();
  const QString restore =
      "If you are not sure, or want to discard all setup changes, click the 'Restore' button";
  const QString note =
      "This will revert to the last saved settings. This will NOT overwrite any saved settings!";
  QStackedWidget* book = dialog->Pages();
  EXPECT_EQ(Texts(book->widget(0)),
            (QStringList{"Please answer a few questions,", "use the 'Next' button to continue...",
                         restore, note}));
  EXPECT_EQ(Texts(book->widget(1)), QStringList{"I want the Velmar Window to..."});
  EXPECT_EQ(Texts(book->widget(2)),
            (QStringList{"Do you connect to the internet through", "a proxy server?", "Port:"}));
  EXPECT_EQ(Texts(book->widget(3)), QStringList{"Do you want Velmar to use... "});
  EXPECT_EQ(Texts(book->widget(4)), (QStringList{"Select network interface to monitor:",
                                                 "Select \"All\" if you're not sure..."}));
  EXPECT_EQ(Texts(book->widget(5)),
            (QStringList{"Do you want Velmar to be started every time", "you log in?"}));
  EXPECT_EQ(Texts(book->widget(6)),
            (QStringList{"Should Velmar start analysing immediately", "when program starts?"}));
  EXPECT_EQ(Texts(book->widget(7)), (QStringList{"Ready! Press 'Finish'", restore, note}));

  EXPECT_EQ(Radio("NormalBox")->text(),
            "be shown in Normal Windows style and hide behind active windows");
  EXPECT_EQ(Radio("OnTopBox")->text(), "be shown on top of all windows even if not active");
  EXPECT_EQ(Radio("noProxyChoice")->text(), "No");
  EXPECT_EQ(Radio("proxyChoice")->text(), "Yes,  Host:");
  EXPECT_EQ(Radio("kilobit1000Choice")->text(), "1000 bits for 1 Kilobit (default)");
  EXPECT_EQ(Radio("kilobit1024Choice")->text(), "1024 bits for 1 Kilobit");
  EXPECT_EQ(Radio("noAutoloadChoice")->text(), "No (default)");
  EXPECT_EQ(Radio("autoloadChoice")->text(), "Yes please");
  EXPECT_EQ(Radio("startIdleChoice")->text(), "No (default)");
  EXPECT_EQ(Radio("startActiveChoice")->text(), "Yes please");
  EXPECT_EQ(Child<QComboBox>("InterfaceBox")->currentText(), "All");
  // The window resource's selections, before any page was shown.
  for (const char* selected :
       {"NormalBox", "noProxyChoice", "kilobit1000Choice", "noAutoloadChoice", "startIdleChoice"}) {
    EXPECT_TRUE(Radio(selected)->isChecked()) << selected;
  }
}

TEST_F(SetupWizardTest, NoCaptionIsClippedAndEveryPageRenders) {
  Open({{13, "2"}});
  // Screenshots for the documentation when asked for, else a scratch
  // directory.
  QTemporaryDir scratch;
  const QString dir = qEnvironmentVariableIsSet("VELMAR_SCREENSHOT_DIR")
                          ? qEnvironmentVariable("VELMAR_SCREENSHOT_DIR")
                          : scratch.path();
  QDir().mkpath(dir);
  for (int page = 0; page < 8; ++page) {
    GoTo(page);
    if (page == 2) {
      Radio("proxyChoice")->click();
      QTest::keyClicks(Child<QLineEdit>("ProxyName"), "proxy.example.lan");
      QTest::keyClicks(Child<QLineEdit>("ProxyPort"), "3128");
    }
    EXPECT_EQ(test::ClippedCaptions(*dialog), QStringList()) << "page " << page;
    const QImage shot = test::Framed(*dialog);
    EXPECT_EQ(shot.width(), 486);
    EXPECT_TRUE(shot.save(QStringLiteral("%1/wizard-%2.png").arg(dir).arg(page)));
  }
}

TEST_F(SetupWizardTest, ProxyPageTakesItsTextsTrimmedAndItsChoiceFromTheLines) {
  Open({{8, "  proxy.lan "}, {9, " 3128 "}, {14, "1"}});
  GoTo(2);
  EXPECT_EQ(Child<QLineEdit>("ProxyName")->text(), "proxy.lan");
  EXPECT_EQ(Child<QLineEdit>("ProxyPort")->text(), "3128");
  EXPECT_EQ(Line(8), "proxy.lan") << "the trimmed text goes back into the line";
  EXPECT_EQ(Line(9), "3128");
  EXPECT_TRUE(Radio("proxyChoice")->isChecked());
  EXPECT_TRUE(Child<QLineEdit>("ProxyName")->isEnabled());
  EXPECT_TRUE(Child<QLineEdit>("ProxyPort")->isEnabled());

  // Neither "0" nor "1": the page keeps what it shows.
  GoTo(1);
  host.Settings().SetLine(14, "2");
  GoTo(2);
  EXPECT_TRUE(Radio("proxyChoice")->isChecked());
  EXPECT_EQ(Line(14), "2");

  // Line 14 "0" selects "No", which counts as a click.
  GoTo(1);
  host.Settings().SetLine(14, "0");
  GoTo(2);
  EXPECT_TRUE(Radio("noProxyChoice")->isChecked());
  EXPECT_FALSE(Child<QLineEdit>("ProxyName")->isEnabled());
  EXPECT_FALSE(Child<QLineEdit>("ProxyPort")->isEnabled());
  EXPECT_EQ(Line(14), "0");
}

TEST_F(SetupWizardTest, AnEmptyProxyHostSelectsNo) {
  Open({{8, "   "}, {9, "8080"}, {14, "1"}});
  GoTo(2);
  EXPECT_TRUE(Radio("noProxyChoice")->isChecked());
  EXPECT_FALSE(Child<QLineEdit>("ProxyName")->isEnabled());
  EXPECT_EQ(Line(8), "");
}

TEST_F(SetupWizardTest, ProxyChoiceAndEveryKeystrokeGoIntoTheLinesAtOnce) {
  Open();
  GoTo(2);
  Radio("proxyChoice")->click();
  EXPECT_EQ(Line(14), "1");
  EXPECT_TRUE(Child<QLineEdit>("ProxyName")->isEnabled());
  QStringList seen;
  QObject::connect(Child<QLineEdit>("ProxyName"), &QLineEdit::textChanged,
                   [&] { seen << Line(8); });
  QTest::keyClicks(Child<QLineEdit>("ProxyName"), "gate");
  EXPECT_EQ(seen, (QStringList{"g", "ga", "gat", "gate"}));
  QTest::keyClicks(Child<QLineEdit>("ProxyPort"), "81");
  EXPECT_EQ(Line(9), "81");
  Radio("noProxyChoice")->click();
  EXPECT_EQ(Line(14), "0");
  EXPECT_FALSE(Child<QLineEdit>("ProxyName")->isEnabled());
  EXPECT_FALSE(Child<QLineEdit>("ProxyPort")->isEnabled());
  EXPECT_EQ(host.proxyApplications, 0) << "applied only when finishing";
}

TEST_F(SetupWizardTest, PagesAreSetFromTheLinesOnEveryVisit) {
  Open({{1, "1"}, {10, "1"}, {11, "1"}, {12, "1"}});
  GoTo(1);
  EXPECT_TRUE(Radio("NormalBox")->isChecked()) << "page 1 does not read line 12";
  GoTo(3);
  EXPECT_TRUE(Radio("kilobit1024Choice")->isChecked());
  GoTo(5);
  EXPECT_TRUE(Radio("autoloadChoice")->isChecked());
  GoTo(6);
  EXPECT_TRUE(Radio("startActiveChoice")->isChecked());

  host.Settings().SetLine(10, "0");
  host.Settings().SetLine(11, "0");
  host.SetKilobitMode(0);
  GoTo(3);
  EXPECT_TRUE(Radio("kilobit1000Choice")->isChecked());
  EXPECT_EQ(Line(1), "0") << "selecting from code counts as a click";
  GoTo(5);
  EXPECT_TRUE(Radio("noAutoloadChoice")->isChecked());
  GoTo(6);
  EXPECT_TRUE(Radio("startIdleChoice")->isChecked());

  // Any text but "0" counts as yes.
  host.Settings().SetLine(10, "x");
  GoTo(5);
  EXPECT_TRUE(Radio("autoloadChoice")->isChecked());
  EXPECT_EQ(Line(10), "1");
}

TEST_F(SetupWizardTest, RestoredFromMinimisedStaysOnItsPage) {
  Open();
  GoTo(1);
  Radio("OnTopBox")->click();
  GoTo(3);
  dialog->showMinimized();
  dialog->showNormal();
  dialog->hide();
  dialog->show();
  EXPECT_EQ(dialog->Pages()->currentIndex(), 3);
  EXPECT_TRUE(Radio("OnTopBox")->isChecked());
}

TEST_F(SetupWizardTest, ChoicesGoIntoTheLinesAtOnce) {
  Open();
  GoTo(3);
  Radio("kilobit1024Choice")->click();
  EXPECT_EQ(Line(1), "1");
  EXPECT_EQ(host.KilobitMode(), 1);
  ASSERT_EQ(host.hints.size(), 4);
  EXPECT_TRUE(host.hints[0].endsWith("(1Kbit=1024 bits!)")) << host.hints[0].toStdString();
  Radio("kilobit1000Choice")->click();
  EXPECT_EQ(Line(1), "0");
  EXPECT_EQ(host.KilobitMode(), 0);
  EXPECT_TRUE(host.hints[3].endsWith("(1Kbit=1000 bits!)"));

  GoTo(5);
  Radio("autoloadChoice")->click();
  EXPECT_EQ(Line(10), "1");
  EXPECT_EQ(host.RunValue(), "") << "the autostart value waits for the close";
  Radio("noAutoloadChoice")->click();
  EXPECT_EQ(Line(10), "0");
  GoTo(6);
  Radio("startActiveChoice")->click();
  EXPECT_EQ(Line(11), "1");
  Radio("startIdleChoice")->click();
  EXPECT_EQ(Line(11), "0");
}

TEST_F(SetupWizardTest, InterfaceChoiceTakesEffectAtOnceAndAllShowsTheTip) {
  Open({{13, "2"}});
  GoTo(4);
  auto* box = Child<QComboBox>("InterfaceBox");
  EXPECT_EQ(box->count(), 3);
  EXPECT_EQ(box->itemText(1), "lo");
  EXPECT_EQ(box->currentIndex(), 2);
  EXPECT_EQ(box->currentText(), "eth0");
  EXPECT_TRUE(host.tipsAsked.empty()) << "filling the box is no choice";

  QTest::keyClick(box, Qt::Key_Up);
  EXPECT_EQ(host.AdapterIndex(), 1);
  EXPECT_EQ(Line(13), "1");
  EXPECT_EQ(host.adapterLabel, "Network Adapter: lo");
  EXPECT_TRUE(host.tipsAsked.empty());

  QTest::keyClick(box, Qt::Key_Up);
  EXPECT_EQ(host.AdapterIndex(), 0);
  EXPECT_EQ(Line(13), "0");
  EXPECT_EQ(host.adapterLabel, "Network Adapter: All");
  EXPECT_EQ(host.tipsAsked, std::vector<int>{38});
  ASSERT_EQ(ui.tips.size(), 1);
  EXPECT_EQ(ui.tips[0], TipText(Tip::kAllAdapters));

  // Dismissed for good: asked for, not shown.
  host.Settings().SetLine(38, "0");
  QTest::keyClick(box, Qt::Key_Down);
  QTest::keyClick(box, Qt::Key_Up);
  EXPECT_EQ(host.tipsAsked, (std::vector<int>{38, 38}));
  EXPECT_EQ(ui.tips.size(), 1);
}

TEST_F(SetupWizardTest, AnAdapterIndexTheListLacksShowsNothing) {
  Open({{13, "9"}});
  GoTo(4);
  EXPECT_EQ(Child<QComboBox>("InterfaceBox")->currentIndex(), -1);
  EXPECT_EQ(host.AdapterIndex(), 9) << "showing is not choosing";
}

TEST_F(SetupWizardTest, FinishOnTheFirstPageSwitchesOnTopAndAutostartOff) {
  Open({{10, "1"}, {12, "1"}});
  ASSERT_TRUE(host.stayOnTop);
  ASSERT_EQ(host.RunValue(), SetupTestHost::kExecutable) << "the start applied line 10";
  ASSERT_TRUE(host.DesktopEntryExists());
  Finish();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(Line(12), "0");
  EXPECT_EQ(Line(10), "0");
  EXPECT_FALSE(host.stayOnTop);
  EXPECT_EQ(host.RunValue(), "");
  EXPECT_FALSE(host.DesktopEntryExists());
  EXPECT_TRUE(host.errors.isEmpty());
}

TEST_F(SetupWizardTest, FinishAppliesTheProxyAndTheChoicesOfPagesOneAndFive) {
  Open();
  GoTo(1);
  Radio("OnTopBox")->click();
  EXPECT_EQ(Line(12), "0") << "the window style waits for the close";
  GoTo(2);
  Radio("proxyChoice")->click();
  QTest::keyClicks(Child<QLineEdit>("ProxyName"), "proxy.lan");
  QTest::keyClicks(Child<QLineEdit>("ProxyPort"), "8080");
  GoTo(5);
  Radio("autoloadChoice")->click();
  Finish();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(host.proxyApplications, 1);
  EXPECT_EQ(host.proxy, "proxy.lan");
  EXPECT_EQ(host.proxyPort, 8080);
  EXPECT_EQ(Line(14), "1");
  EXPECT_TRUE(host.stayOnTop);
  EXPECT_EQ(Line(12), "1");
  EXPECT_EQ(Line(10), "1");
  EXPECT_EQ(host.RunValue(), SetupTestHost::kExecutable);
  EXPECT_TRUE(host.DesktopEntryExists());
}

TEST_F(SetupWizardTest, CancelPutsBackTheSettingsAndTheMeterAsTheyWereFromEveryPage) {
  Open({{10, "1"}, {12, "1"}, {13, "2"}});
  WizardBar* bar = dialog->Bar();
  for (int page = 0; page < 8; ++page) {
    GoTo(page);
    EXPECT_TRUE(bar->CancelButton()->isVisible()) << "page " << page;
  }
  EXPECT_EQ(bar->CancelButton()->geometry().right(), 484 - 9);
  EXPECT_LT(bar->EndButton()->geometry().right(), bar->CancelButton()->x());

  const SettingsList before = host.Settings();
  GoTo(1);
  Radio("NormalBox")->click();
  GoTo(3);
  Radio("kilobit1024Choice")->click();
  GoTo(4);
  QTest::keyClick(Child<QComboBox>("InterfaceBox"), Qt::Key_Up);
  GoTo(5);
  Radio("noAutoloadChoice")->click();
  ASSERT_EQ(host.KilobitMode(), 1);
  ASSERT_EQ(host.AdapterIndex(), 1);
  bar->CancelButton()->click();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(host.Settings().Lines(), before.Lines());
  EXPECT_EQ(host.KilobitMode(), 0);
  EXPECT_TRUE(host.hints[0].endsWith("(1Kbit=1000 bits!)"));
  EXPECT_EQ(host.AdapterIndex(), 2);
  EXPECT_EQ(host.adapterLabel, "Network Adapter: eth0");
  EXPECT_TRUE(host.stayOnTop) << "the window style is not touched";
  EXPECT_EQ(host.RunValue(), SetupTestHost::kExecutable) << "nor the autostart value";
}

TEST_F(SetupWizardTest, APortOfZeroOrLettersSwitchesTheProxyOffOnFinish) {
  for (const char* port : {"0", "abc", "", "65536"}) {
    SCOPED_TRACE(port);
    Open({{8, "proxy.lan"}, {9, "3128"}, {14, "1"}});
    ASSERT_EQ(host.proxy, "proxy.lan") << "applied at the start";
    GoTo(2);
    ASSERT_TRUE(Radio("proxyChoice")->isChecked());
    Child<QLineEdit>("ProxyPort")->clear();
    QTest::keyClicks(Child<QLineEdit>("ProxyPort"), port);
    Finish();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(host.proxy, "");
    EXPECT_EQ(host.proxyPort, 0);
    EXPECT_EQ(Line(14), "0");
  }
}

TEST_F(SetupWizardTest, NoProxyOnFinishStopsTheOneInUse) {
  Open({{8, "proxy.lan"}, {9, "3128"}, {14, "1"}});
  ASSERT_EQ(host.proxy, "proxy.lan");
  GoTo(2);
  Radio("noProxyChoice")->click();
  Finish();
  EXPECT_EQ(host.proxy, "");
  EXPECT_EQ(host.proxyPort, 0);
}

TEST_F(SetupWizardTest, TheCloseBoxAppliesThePagesButNotTheProxy) {
  Open({{8, "proxy.lan"}, {9, "8080"}, {14, "1"}});
  host.proxyApplications = 0;
  GoTo(1);
  Radio("OnTopBox")->click();
  dialog->close();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_TRUE(host.stayOnTop);
  EXPECT_EQ(Line(12), "1");
  EXPECT_EQ(Line(10), "0");
  EXPECT_EQ(host.proxyApplications, 0);
}

TEST_F(SetupWizardTest, EscapeClosesTheSameWay) {
  Open({{12, "1"}});
  QTest::keyClick(dialog.get(), Qt::Key_Escape);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(Line(12), "0");
  EXPECT_FALSE(host.stayOnTop);
}

TEST_F(SetupWizardTest, RestoreBringsBackTheSavedFileAndStartsOver) {
  Open({{7, "4711"}, {13, "2"}});
  ASSERT_EQ(host.total, 4711);
  host.Settings().SetLine(7, "9999");  // traffic counted meanwhile
  GoTo(1);
  Radio("OnTopBox")->click();
  GoTo(3);
  Radio("kilobit1024Choice")->click();
  GoTo(4);
  QTest::keyClick(Child<QComboBox>("InterfaceBox"), Qt::Key_Up);
  GoTo(5);
  Radio("autoloadChoice")->click();
  ASSERT_EQ(Line(13), "1");

  ui.answers = {UserInterface::Answer::Yes};
  const int beeps = ui.beeps;
  dialog->Bar()->HelpButton()->click();
  EXPECT_EQ(ui.beeps, beeps + 1);
  EXPECT_EQ(ui.questions, QStringList{kRevertQuestion});
  EXPECT_EQ(ui.questions[0],
            "Are you sure you want to discard all Velmar settings made this run and revert to "
            "the last saved profile?");
  EXPECT_EQ(Line(7), "4711");
  EXPECT_EQ(host.total, 4711);
  EXPECT_EQ(Line(1), "0");
  EXPECT_EQ(host.KilobitMode(), 0);
  EXPECT_EQ(Line(13), "2");
  EXPECT_EQ(host.AdapterIndex(), 2);
  EXPECT_EQ(Line(10), "0");
  EXPECT_EQ(dialog->Pages()->currentIndex(), 0);
  EXPECT_FALSE(dialog->Bar()->BackButton()->isEnabled());
  // The discarded choices do not come back on closing.
  EXPECT_TRUE(Radio("NormalBox")->isChecked());
  EXPECT_TRUE(Radio("noAutoloadChoice")->isChecked());
  Finish();
  EXPECT_FALSE(host.stayOnTop);
  EXPECT_EQ(Line(12), "0");
  EXPECT_EQ(host.RunValue(), "");
}

TEST_F(SetupWizardTest, RestoreAnsweredNoChangesNothing) {
  Open({{7, "4711"}});
  host.Settings().SetLine(7, "9999");
  GoTo(3);
  Radio("kilobit1024Choice")->click();
  dialog->Bar()->HelpButton()->click();
  EXPECT_EQ(ui.questions.size(), 1);
  EXPECT_EQ(Line(7), "9999");
  EXPECT_EQ(Line(1), "1");
  EXPECT_EQ(dialog->Pages()->currentIndex(), 3);
  EXPECT_TRUE(Radio("kilobit1024Choice")->isChecked());
}

TEST_F(SetupWizardTest, AnAutostartValueThatCannotBeWrittenKeepsTheWizardOpen) {
  Open();
  host.MakeStoreReadOnly();
  GoTo(1);
  Radio("OnTopBox")->click();
  GoTo(5);
  Radio("autoloadChoice")->click();

  Finish();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(host.errors, QStringList{"Failed to set data for 'Velmar2000'"});

  // The close box gets as far as the window style, which stays done.
  dialog->close();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(host.errors.size(), 2);
  EXPECT_TRUE(host.stayOnTop);
  EXPECT_EQ(Line(12), "1");
  EXPECT_EQ(Line(10), "1") << "the click's value, not the close's";
  EXPECT_FALSE(host.DesktopEntryExists());

  // Without autostart the wizard closes; a removal that cannot be done is
  // not reported.
  Radio("noAutoloadChoice")->click();
  Finish();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(host.errors.size(), 2);
  EXPECT_EQ(Line(10), "0");
}

TEST_F(SetupWizardTest, RefusesToOpenWhileAnalysisRuns) {
  host.Start();
  host.analysisRunning = true;
  SetupWizard::OpenWizard(host, nullptr);
  EXPECT_EQ(ui.messages, QStringList{"Velmar analysis is currently running, please stop first!"});
  EXPECT_EQ(SetupWizard::Instance(), nullptr);
  EXPECT_EQ(Line(12), "0");
  EXPECT_TRUE(host.errors.isEmpty());
}

TEST_F(SetupWizardTest, OpensOneFreshModalWizardAtATimeAndFreesIt) {
  host.Start({{12, "1"}});
  QPointer<SetupWizard> first;
  bool ranInside = false;
  QTimer::singleShot(0, [&] {
    ranInside = true;
    first = SetupWizard::Instance();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), first.data());
    // A second opening while this one is open brings no second window.
    SetupWizard::OpenWizard(host, nullptr);
    int wizards = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      wizards += dynamic_cast<SetupWizard*>(w) != nullptr ? 1 : 0;
    }
    EXPECT_EQ(wizards, 1);
    first->Bar()->NextButton()->click();
    first->findChild<QRadioButton*>("OnTopBox")->click();
    first->close();
  });
  SetupWizard::OpenWizard(host, nullptr);
  EXPECT_TRUE(ranInside);
  EXPECT_EQ(first, nullptr) << "freed when the modal loop ended";
  EXPECT_EQ(SetupWizard::Instance(), nullptr);
  EXPECT_EQ(Line(12), "1");

  // The next opening starts from the window resource again.
  bool fresh = false;
  QTimer::singleShot(0, [&] {
    SetupWizard* second = SetupWizard::Instance();
    ASSERT_NE(second, nullptr);
    fresh = second->findChild<QRadioButton*>("NormalBox")->isChecked() &&
            second->Pages()->currentIndex() == 0;
    second->close();
  });
  SetupWizard::OpenWizard(host, nullptr);
  EXPECT_TRUE(fresh);
  EXPECT_EQ(Line(12), "0");
  EXPECT_EQ(SetupWizard::Instance(), nullptr);
}

}  // namespace
}  // namespace velmar
