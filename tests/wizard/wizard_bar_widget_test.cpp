#include "wizard/widgets/wizard_bar.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QStackedWidget>
#include <memory>

namespace velmar {
namespace {

// A window of the wizard's size with the bar at its bottom and a notebook
// of `pages` pages named P0, P1, ...
class WizardBarTest : public ::testing::Test {
 protected:
  WizardBarTest() : window(std::make_unique<QWidget>()) {
    window->resize(484, 266);
    bar = new WizardBar(window.get());
    notebook = new QStackedWidget(window.get());
  }

  void AddPages(int pages) {
    for (int i = 0; i < pages; ++i) {
      auto* page = new QLabel(QStringLiteral("page %1").arg(i));
      page->setObjectName(QStringLiteral("P%1").arg(i));
      notebook->addWidget(page);
    }
  }

  // Records every event of the bar in order, with the page shown then.
  void Record() {
    QObject::connect(bar, &WizardBar::BackClicked,
                     [this] { events << QStringLiteral("back@%1").arg(notebook->currentIndex()); });
    QObject::connect(bar, &WizardBar::NextClicked,
                     [this] { events << QStringLiteral("next@%1").arg(notebook->currentIndex()); });
    QObject::connect(bar, &WizardBar::PageChanged, [this] {
      events << QStringLiteral("change@%1").arg(notebook->currentIndex());
    });
    QObject::connect(bar, &WizardBar::PageChanging, [this](bool back, int& target) {
      events << QStringLiteral("changing:%1:%2@%3")
                    .arg(back ? "back" : "next")
                    .arg(target)
                    .arg(notebook->currentIndex());
    });
    QObject::connect(bar, &WizardBar::EndClicked, [this] { events << QStringLiteral("end"); });
    QObject::connect(bar, &WizardBar::HelpClicked, [this] { events << QStringLiteral("help"); });
  }

  std::unique_ptr<QWidget> window;
  WizardBar* bar;
  QStackedWidget* notebook;
  QStringList events;
};

TEST_F(WizardBarTest, CaptionsAndSizesHaveTheirDefaults) {
  EXPECT_EQ(bar->BackCaption(), "< &Back");
  EXPECT_EQ(bar->NextCaption(), "&Next >");
  EXPECT_EQ(bar->AbortCaption(), "&Cancel");
  EXPECT_EQ(bar->ReadyCaption(), "&Finish");
  EXPECT_EQ(bar->HelpCaption(), "&Help");
  EXPECT_TRUE(bar->EnableHelp());
  EXPECT_EQ(bar->BackButton()->text(), "< &Back");
  EXPECT_EQ(bar->NextButton()->text(), "&Next >");
  EXPECT_EQ(bar->HelpButton()->text(), "&Help");
  EXPECT_FALSE(bar->HelpButton()->isHidden());
  EXPECT_EQ(bar->height(), 44);
  for (QPushButton* b :
       {bar->BackButton(), bar->NextButton(), bar->EndButton(), bar->HelpButton()}) {
    EXPECT_EQ(b->size(), QSize(75, 23)) << b->objectName().toStdString();
  }
}

TEST_F(WizardBarTest, WithoutNotebookOnlyEndAndHelpDoAnything) {
  Record();
  EXPECT_EQ(bar->NoteBook(), nullptr);
  EXPECT_FALSE(bar->BackButton()->isEnabled());
  EXPECT_FALSE(bar->NextButton()->isEnabled());
  EXPECT_TRUE(bar->EndButton()->isEnabled());
  EXPECT_EQ(bar->EndButton()->text(), "&Finish") << "the ready caption";
  EXPECT_TRUE(bar->LastPage());
  EXPECT_EQ(bar->ActivePageName(), "");
  bar->BackClick();
  bar->NextClick();
  EXPECT_TRUE(events.isEmpty()) << events.join(' ').toStdString();
  bar->EndButton()->click();
  bar->HelpButton()->click();
  EXPECT_EQ(events, (QStringList{"end", "help"}));
}

TEST_F(WizardBarTest, StaysOnTheParentsBottomEdgeWithButtonsPlacedFromTheRight) {
  window->show();
  EXPECT_EQ(bar->geometry(), QRect(0, 222, 484, 44));
  EXPECT_EQ(bar->HelpButton()->pos(), QPoint(484 - 327, 13));
  EXPECT_EQ(bar->BackButton()->pos(), QPoint(484 - 243, 13));
  EXPECT_EQ(bar->NextButton()->pos(), QPoint(484 - 168, 13));
  EXPECT_EQ(bar->EndButton()->pos(), QPoint(484 - 83, 13));

  window->resize(640, 300);
  EXPECT_EQ(bar->geometry(), QRect(0, 256, 640, 44));
  EXPECT_EQ(bar->HelpButton()->pos(), QPoint(640 - 327, 13));
  EXPECT_EQ(bar->EndButton()->pos(), QPoint(640 - 83, 13));
  // The end button keeps 8 pixels to the right edge.
  EXPECT_EQ(bar->EndButton()->geometry().right(), 640 - 9);
}

TEST_F(WizardBarTest, DrawsAnEtchedLineAcrossTheTopBetweenItsMargins) {
  window->show();
  const QImage image = bar->grab().toImage();
  const QColor shadow = bar->palette().color(QPalette::Dark);
  const QColor light = bar->palette().color(QPalette::Light);
  const QColor background = bar->palette().color(QPalette::Window);
  ASSERT_NE(shadow.rgb(), light.rgb());
  ASSERT_NE(shadow.rgb(), background.rgb());
  ASSERT_NE(light.rgb(), background.rgb());
  for (int x : {9, 100, 484 - 9}) {
    EXPECT_EQ(image.pixel(x, 1), shadow.rgb()) << x;
    EXPECT_EQ(image.pixel(x, 2), light.rgb()) << x;
  }
  // Nothing outside the margins or below the two lines.
  EXPECT_EQ(image.pixel(4, 1), background.rgb());
  EXPECT_EQ(image.pixel(484 - 4, 1), background.rgb());
  EXPECT_EQ(image.pixel(100, 0), background.rgb());
  EXPECT_EQ(image.pixel(100, 3), background.rgb());
}

TEST_F(WizardBarTest, ButtonsFollowFirstMiddleAndLastPage) {
  AddPages(3);
  notebook->setCurrentIndex(2);
  bar->SetNoteBook(notebook);
  EXPECT_EQ(notebook->currentIndex(), 0) << "setting the notebook shows page 0";
  EXPECT_FALSE(bar->BackButton()->isEnabled());
  EXPECT_TRUE(bar->NextButton()->isEnabled());
  EXPECT_TRUE(bar->EndButton()->isEnabled());
  EXPECT_EQ(bar->EndButton()->text(), "&Cancel");
  EXPECT_FALSE(bar->LastPage());
  EXPECT_EQ(bar->ActivePageName(), "P0");

  bar->NextButton()->click();
  EXPECT_EQ(notebook->currentIndex(), 1);
  EXPECT_TRUE(bar->BackButton()->isEnabled());
  EXPECT_TRUE(bar->NextButton()->isEnabled());
  EXPECT_EQ(bar->EndButton()->text(), "&Cancel");
  EXPECT_EQ(bar->ActivePageName(), "P1");

  bar->NextButton()->click();
  EXPECT_EQ(notebook->currentIndex(), 2);
  EXPECT_TRUE(bar->BackButton()->isEnabled());
  EXPECT_FALSE(bar->NextButton()->isEnabled());
  EXPECT_EQ(bar->EndButton()->text(), "&Finish");
  EXPECT_TRUE(bar->LastPage());
  EXPECT_EQ(bar->ActivePageName(), "P2");

  bar->BackButton()->click();
  EXPECT_EQ(notebook->currentIndex(), 1);
  EXPECT_EQ(bar->EndButton()->text(), "&Cancel");
  EXPECT_FALSE(bar->LastPage());
  bar->BackButton()->click();
  EXPECT_EQ(notebook->currentIndex(), 0);
  EXPECT_FALSE(bar->BackButton()->isEnabled());
}

TEST_F(WizardBarTest, MovesRunChangingThenShowThenClickThenChange) {
  AddPages(3);
  bar->SetNoteBook(notebook);
  Record();
  bar->NextClick();
  bar->BackClick();
  EXPECT_EQ(events, (QStringList{"changing:next:1@0", "next@1", "change@1", "changing:back:0@1",
                                 "back@0", "change@0"}));
  // At either end the target is the page itself, and the events still run.
  events.clear();
  bar->BackClick();
  EXPECT_EQ(events, (QStringList{"changing:back:0@0", "back@0", "change@0"}));
  notebook->setCurrentIndex(2);
  events.clear();
  bar->NextClick();
  EXPECT_EQ(events, (QStringList{"changing:next:2@2", "next@2", "change@2"}));
}

TEST_F(WizardBarTest, PageChangingMayRedirectTheMove) {
  AddPages(4);
  bar->SetNoteBook(notebook);
  QMetaObject::Connection redirect = QObject::connect(
      bar, &WizardBar::PageChanging, [](bool back, int& target) { target = back ? 0 : 3; });
  bar->NextClick();
  EXPECT_EQ(notebook->currentIndex(), 3) << "skipped the pages between";
  EXPECT_EQ(bar->EndButton()->text(), "&Finish");
  EXPECT_FALSE(bar->NextButton()->isEnabled());
  bar->BackClick();
  EXPECT_EQ(notebook->currentIndex(), 0);
  EXPECT_FALSE(bar->BackButton()->isEnabled());

  // A target the notebook does not have keeps the page.
  notebook->setCurrentIndex(1);
  for (int wrong : {-1, 4, 99}) {
    QObject::disconnect(redirect);
    redirect = QObject::connect(bar, &WizardBar::PageChanging,
                                [wrong](bool, int& target) { target = wrong; });
    bar->NextClick();
    EXPECT_EQ(notebook->currentIndex(), 1) << wrong;
    bar->BackClick();
    EXPECT_EQ(notebook->currentIndex(), 1) << wrong;
  }
  EXPECT_TRUE(bar->BackButton()->isEnabled());
  EXPECT_TRUE(bar->NextButton()->isEnabled());
}

TEST_F(WizardBarTest, OnePageAndEmptyNotebooks) {
  AddPages(1);
  bar->SetNoteBook(notebook);
  EXPECT_FALSE(bar->BackButton()->isEnabled());
  EXPECT_FALSE(bar->NextButton()->isEnabled());
  EXPECT_TRUE(bar->EndButton()->isEnabled());
  EXPECT_EQ(bar->EndButton()->text(), "&Finish") << "the one page is the last";
  EXPECT_EQ(bar->ActivePageName(), "P0");

  QStackedWidget empty;
  bar->SetNoteBook(&empty);
  Record();
  EXPECT_FALSE(bar->BackButton()->isEnabled());
  EXPECT_FALSE(bar->NextButton()->isEnabled());
  EXPECT_EQ(bar->EndButton()->text(), "&Finish");
  bar->NextClick();
  bar->BackClick();
  EXPECT_TRUE(events.isEmpty());
  bar->SetNoteBook(nullptr);
}

TEST_F(WizardBarTest, PagesShownFromCodeAndAVanishingNotebookKeepTheButtonsRight) {
  AddPages(3);
  bar->SetNoteBook(notebook);
  notebook->setCurrentIndex(2);
  EXPECT_EQ(bar->EndButton()->text(), "&Finish");
  EXPECT_FALSE(bar->NextButton()->isEnabled());
  EXPECT_EQ(bar->ActivePageName(), "P2");
  notebook->setCurrentIndex(0);
  EXPECT_FALSE(bar->BackButton()->isEnabled());

  notebook->setCurrentIndex(1);
  delete notebook;
  EXPECT_EQ(bar->NoteBook(), nullptr);
  EXPECT_FALSE(bar->BackButton()->isEnabled());
  EXPECT_FALSE(bar->NextButton()->isEnabled());
  EXPECT_EQ(bar->EndButton()->text(), "&Finish");
  bar->NextClick();  // nothing to move, nothing to crash
}

TEST_F(WizardBarTest, CaptionsAndHelpCanBeChanged) {
  AddPages(2);
  bar->SetNoteBook(notebook);
  bar->SetAbortCaption("Stop");
  bar->SetReadyCaption("Done");
  bar->SetBackCaption("Prev");
  bar->SetNextCaption("On");
  bar->SetHelpCaption("Info");
  EXPECT_EQ(bar->EndButton()->text(), "Stop");
  EXPECT_EQ(bar->BackButton()->text(), "Prev");
  EXPECT_EQ(bar->NextButton()->text(), "On");
  EXPECT_EQ(bar->HelpButton()->text(), "Info");
  bar->NextClick();
  EXPECT_EQ(bar->EndButton()->text(), "Done");
  bar->SetEnableHelp(false);
  EXPECT_TRUE(bar->HelpButton()->isHidden());
  bar->SetEnableHelp(true);
  EXPECT_FALSE(bar->HelpButton()->isHidden());
}

}  // namespace
}  // namespace velmar
