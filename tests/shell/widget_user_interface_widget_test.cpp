#include "shell/widgets/widget_user_interface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

namespace velmar {
namespace {

// Runs `act` on the file dialog once it is up in its modal loop.
void WhenTheDialogIsUp(const std::function<void(QFileDialog&)>& act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      act(*dialog);
    }
  });
  poll->start(5);
}

TEST(WidgetUserInterfaceTest, FileDialogsFilterBySuffixAndAFolderCanBeEmptyOrTyped) {
  ASSERT_FALSE(qEnvironmentVariableIsSet("VELMAR_TEST_ANSWERS"));
  QTemporaryDir dir;
  QDir(dir.path()).mkpath("Profiles/empty");
  QDir(dir.path()).mkpath("Profiles/nested/charts");
  WidgetUserInterface ui;

  QStringList filters;
  WhenTheDialogIsUp([&](QFileDialog& dialog) {
    filters = dialog.nameFilters();
    dialog.reject();
  });
  EXPECT_EQ(ui.OpenFileName(dir.path(), QString(), "reg"), QString());
  EXPECT_EQ(filters, (QStringList{"reg files (*.reg)", "All files (*)"}));

  // A folder with no files, and one with only folders, typed by name.
  for (const QString name : {"empty", "nested"}) {
    WhenTheDialogIsUp([&](QFileDialog& dialog) {
      dialog.findChild<QLineEdit*>("fileNameEdit")->setText(name);
      static_cast<QDialog&>(dialog).accept();  // as the Choose button does
    });
    EXPECT_EQ(ui.FolderName(dir.filePath("Profiles")), dir.filePath("Profiles/" + name));
  }
}

}  // namespace
}  // namespace velmar
