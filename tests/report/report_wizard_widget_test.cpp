#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "report/history_fixture.h"
#include "report/widgets/report_commands.h"
#include "report/widgets/report_profile_wizard.h"
#include "support/scripted_ui.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

class ReportWizardTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  ProfileStore profiles{dir.filePath("Profiles")};
  test::ScriptedUi ui;
};

TEST_F(ReportWizardTest, EveryPageChecksItsEntriesAndFinishSavesTheProfile) {
  ReportProfileWizard wizard(profiles);
  WizardBar* bar = wizard.Bar();
  const auto page = [&] { return wizard.NoteBook()->currentIndex(); };

  for (const QString& bad : {QString(), QString("../up"), QString("a\tb")}) {
    wizard.NameBox()->setEditText(bad);
    bar->NextClick();
    EXPECT_EQ(page(), ReportProfileWizard::kNamePage) << bad.toStdString();
  }
  ASSERT_EQ(ui.messages.size(), 3);
  EXPECT_TRUE(ui.messages[1].contains("path separator")) << ui.messages[1].toStdString();
  wizard.NameBox()->setEditText("Home <office>");
  bar->NextClick();
  ASSERT_EQ(page(), ReportProfileWizard::kPeriodPage);

  wizard.PeriodChoice(PeriodKind::kRange)->setChecked(true);
  wizard.FromEdit()->setDate(QDate(2026, 12, 10));
  wizard.ToEdit()->setDate(QDate(2026, 12, 1));
  bar->NextClick();
  EXPECT_EQ(page(), ReportProfileWizard::kPeriodPage);
  EXPECT_TRUE(ui.messages.last().contains("before it starts")) << ui.messages.last().toStdString();
  wizard.ToEdit()->setDate(QDate(2026, 12, 31));
  bar->NextClick();
  wizard.GroupingChoice(Grouping::kWeek)->setChecked(true);
  bar->NextClick();

  ASSERT_EQ(page(), ReportProfileWizard::kValuesPage);
  for (ReportValue v : {kDownVolume, kUpVolume, kTotalVolume, kAverageSpeeds, kPeakSpeeds,
                        kActiveTime, kAlarmEvents}) {
    wizard.ValueBox(v)->setChecked(false);
  }
  bar->NextClick();
  EXPECT_EQ(page(), ReportProfileWizard::kValuesPage);
  wizard.ValueBox(kTotalVolume)->setChecked(true);
  bar->NextClick();

  ASSERT_EQ(page(), ReportProfileWizard::kQuotaPage);
  wizard.QuotaBox()->setChecked(true);
  wizard.QuotaEdit()->setText("plenty");
  bar->NextClick();
  EXPECT_EQ(page(), ReportProfileWizard::kQuotaPage);
  EXPECT_TRUE(ui.messages.last().startsWith("The quota: 'plenty' is not a size"));
  wizard.QuotaEdit()->setText("1.5");
  wizard.QuotaUnit()->setCurrentText("TB");
  wizard.QuotaDay()->setValue(15);
  bar->NextClick();
  bar->NextClick();
  ASSERT_EQ(page(), ReportProfileWizard::kEndPage);
  EXPECT_TRUE(wizard.Summary()->text().contains("by week"))
      << wizard.Summary()->text().toStdString();
  EXPECT_FALSE(profiles.Exists("Home <office>")) << "nothing saved before Finish";
  // The end button finishes here; a cancel button stands beside it.
  EXPECT_EQ(bar->EndButton()->text(), "&Finish");
  EXPECT_TRUE(bar->CancelButton()->isVisibleTo(&wizard));
  bar->BackClick();
  EXPECT_EQ(bar->EndButton()->text(), "&Cancel");
  EXPECT_FALSE(bar->CancelButton()->isVisibleTo(&wizard)) << "the end button cancels here";
  bar->NextClick();

  bar->EndClick();
  EXPECT_EQ(wizard.SavedName(), "Home <office>");
  const ReportProfile saved = profiles.Load("Home <office>");
  EXPECT_EQ(saved.period,
            (ReportPeriod{PeriodKind::kRange, QDate(2026, 12, 10), QDate(2026, 12, 31)}));
  EXPECT_EQ(saved.grouping, Grouping::kWeek);
  EXPECT_EQ(saved.values, unsigned(kTotalVolume));
  ASSERT_TRUE(saved.quota);
  EXPECT_EQ(saved.quota->bytes, 1500000000000u);
  EXPECT_EQ(saved.quota->startDay, 15);

  // Editing it again shows what it holds.
  ReportProfileWizard again(profiles);
  ASSERT_EQ(again.NameBox()->findText("Home <office>"), 0);
  again.NameBox()->setCurrentIndex(0);
  again.Bar()->NextClick();
  EXPECT_TRUE(again.GroupingChoice(Grouping::kWeek)->isChecked());
  EXPECT_EQ(again.QuotaEdit()->text(), "1500") << "the largest unit that shows it whole";
  EXPECT_EQ(again.QuotaUnit()->currentText(), "GB");
}

TEST_F(ReportWizardTest, CancelOnTheLastPageSavesNothing) {
  ReportProfileWizard wizard(profiles);
  wizard.NameBox()->setEditText("Kept out");
  while (wizard.NoteBook()->currentIndex() != ReportProfileWizard::kEndPage) {
    const int page = wizard.NoteBook()->currentIndex();
    wizard.Bar()->NextClick();
    ASSERT_NE(wizard.NoteBook()->currentIndex(), page) << "the defaults pass every page";
  }
  wizard.show();
  wizard.Bar()->CancelButton()->click();
  EXPECT_EQ(wizard.result(), QDialog::Rejected);
  EXPECT_FALSE(wizard.isVisible());
  EXPECT_FALSE(profiles.Exists("Kept out"));
}

TEST_F(ReportWizardTest, NonsenseFilesAndUnwritableFoldersSaveNothing) {
  ASSERT_TRUE(QDir().mkpath(profiles.FolderOf("Broken")));
  QFile f(profiles.FolderOf("Broken") + "/profile.json");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("{ this is not json");
  f.close();
  ReportProfileWizard wizard(profiles);
  wizard.NameBox()->setEditText("Broken");
  wizard.Bar()->NextClick();
  ASSERT_FALSE(ui.messages.isEmpty());
  EXPECT_TRUE(ui.messages.last().contains("cannot be used")) << ui.messages.last().toStdString();
  EXPECT_TRUE(wizard.PeriodChoice(PeriodKind::kToday)->isChecked()) << "the defaults";

  // The profile's folder cannot be made: a file is in its place.
  QFile blocker(profiles.FolderOf("Blocked"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  wizard.NameBox()->setEditText("Blocked");
  wizard.NoteBook()->setCurrentIndex(ReportProfileWizard::kEndPage);
  EXPECT_FALSE(wizard.FinishClick());
  EXPECT_TRUE(ui.messages.last().contains("cannot be created")) << ui.messages.last().toStdString();
  EXPECT_TRUE(wizard.SavedName().isEmpty());
  EXPECT_TRUE(QFileInfo(profiles.FolderOf("Blocked")).isFile());
}

TEST_F(ReportWizardTest, GenerateReportAsksMakesOnAWorkerAndOpensThePage) {
  test::TempStore store;
  test::WriteRecords(*store.store,
                     {{QDateTime(QDate::currentDate(), QTime(0, 0, 30)), 2500000, 1000}});
  DayKeyDates dates;
  dates.Format = [] { return QStringLiteral("yyyy-MM-dd"); };
  ReportCommands commands(dates, profiles.Root());
  QStringList opened;
  QObject::connect(&commands, &ReportCommands::ReportWritten,
                   [&opened](const QString& path) { opened << path; });
  QStringList status;
  QObject::connect(&commands, &ReportCommands::StatusChanged,
                   [&status](const QString& text) { status << text; });

  commands.GenerateReport(store.store.get(), 0);
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_TRUE(ui.messages[0].contains("no report profile yet"));

  ReportProfile p;
  p.formats = kHtmlFormat | kCsvFormat;
  profiles.Save("Today", p);
  profiles.Save("Other", p);
  ui.choices = {std::nullopt};  // cancelled
  commands.GenerateReport(store.store.get(), 0);
  EXPECT_EQ(ui.choiceOffers.last(), "Make the report of which profile?:Other|Today:Other");
  EXPECT_FALSE(commands.Busy());

  ui.choices = {QString("Today")};
  commands.GenerateReport(store.store.get(), 0);
  commands.WaitForReport();
  EXPECT_EQ(opened, QStringList{profiles.FolderOf("Today") + "/report.html"});
  EXPECT_TRUE(status.last().startsWith("Report of \"Today\" written"))
      << status.last().toStdString();
  QFile csv(profiles.FolderOf("Today") + "/report.csv");
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  EXPECT_TRUE(csv.readAll().contains(",1,0,2500000,1000,2501000,"));

  // A damaged record: a message, the page not opened again.
  {
    Registry reg(*store.store);
    reg.SetRootKey(KeyRoot::kMachine);
    ASSERT_TRUE(
        reg.OpenKey(HistoryRecorder::DayKey(QDate::currentDate().toString("yyyy-MM-dd")), false));
    reg.WriteString("AvgUpSpeed_1", "x");
  }
  ui.choices = {QString("Today")};
  commands.GenerateReport(store.store.get(), 0);
  EXPECT_EQ(ui.choiceOffers.last(), "Make the report of which profile?:Other|Today:Today")
      << "the last profile is offered first";
  commands.WaitForReport();
  EXPECT_TRUE(ui.messages.last().contains("AvgUpSpeed_1 is not a speed"))
      << ui.messages.last().toStdString();
  EXPECT_EQ(opened.size(), 1);
}

}  // namespace
}  // namespace velmar
