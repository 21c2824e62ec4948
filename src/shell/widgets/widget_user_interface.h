#pragma once

#include <QStringList>
#include <QWidget>

#include "platform/user_interface.h"

namespace velmar {

// The real dialogs: message boxes over the main window and the system beep.
// With $VELMAR_TEST_ANSWERS set (a comma-separated list of yes/no), no box
// is shown: each notice and question is written to standard error as
// "velmar-dialog: ..." and questions take the next answer of the list (No
// when it runs out; "save" or "discard" for the question about unsaved
// changes, which cancels otherwise). End-to-end tests drive the program
// through it.
class WidgetUserInterface : public UserInterface {
 public:
  WidgetUserInterface();
  void SetParent(QWidget* parent) { parent_ = parent; }
  // The program is ending (a signal): every open modal dialog is closed as
  // cancelled, and from now on none is shown; each answers No, cancel or
  // nothing at once, so no nested event loop keeps the program alive.
  void EndAll();

  void Beep() override;
  void Message(const QString& text) override;
  Answer Question(const QString& text) override;
  bool Tip(const QString& text) override;
  std::optional<QDate> PickDate(const QDate& initial) override;
  QString SaveFileName(const QString& folder, const QString& fileName,
                       const QString& defaultSuffix) override;
  QString OpenFileName(const QString& folder, const QString& fileName,
                       const QString& defaultSuffix) override;
  QString FolderName(const QString& folder) override;
  std::optional<QString> ChooseItem(const QString& text, const QStringList& items,
                                    const QString& current) override;
  SaveChoice AskToSave(const QString& text) override;

 private:
  QWidget* parent_ = nullptr;
  bool scripted_ = false;
  bool ending_ = false;
  QStringList answers_;
};

}  // namespace velmar
