#include "shell/widgets/widget_user_interface.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <cstdio>

#include "config/product.h"
#include "history/widgets/date_dialog.h"
#include "shell/widgets/tip_window.h"

namespace velmar {

WidgetUserInterface::WidgetUserInterface() {
  if (qEnvironmentVariableIsSet("VELMAR_TEST_ANSWERS")) {
    scripted_ = true;
    answers_ =
        qEnvironmentVariable("VELMAR_TEST_ANSWERS").split(QLatin1Char(','), Qt::SkipEmptyParts);
  }
}

void WidgetUserInterface::EndAll() {
  ending_ = true;
  // Each modal dialog runs an event loop of its own; closing them lets
  // control come back to the main loop, which then ends.
  for (int i = 0; i < 64; ++i) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
      break;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    }
    modal->hide();
  }
}

void WidgetUserInterface::Beep() {
  if (!scripted_ && !ending_) {
    QApplication::beep();
  }
}

void WidgetUserInterface::Message(const QString& text) {
  if (ending_) {
    return;
  }
  if (scripted_) {
    std::fprintf(stderr, "velmar-dialog: message: %s\n", qUtf8Printable(text));
    std::fflush(stderr);
    return;
  }
  QMessageBox::information(parent_, kApplicationTitle, text);
}

UserInterface::Answer WidgetUserInterface::Question(const QString& text) {
  if (ending_) {
    return Answer::No;
  }
  if (scripted_) {
    const bool yes = !answers_.isEmpty() && answers_.takeFirst().trimmed().toLower() == "yes";
    std::fprintf(stderr, "velmar-dialog: question: %s -> %s\n", qUtf8Printable(text),
                 yes ? "yes" : "no");
    std::fflush(stderr);
    return yes ? Answer::Yes : Answer::No;
  }
  return QMessageBox::question(parent_, kApplicationTitle, text,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
             ? Answer::Yes
             : Answer::No;
}

}  // namespace velmar

namespace velmar {

bool WidgetUserInterface::Tip(const QString& text) {
  if (ending_) {
    return false;
  }
  if (scripted_) {
    std::fprintf(stderr, "velmar-dialog: tip: %s\n", qUtf8Printable(text));
    std::fflush(stderr);
    return false;
  }
  QApplication::beep();
  TipWindow form(text, parent_);
  form.exec();
  return form.DontRemind();
}

}  // namespace velmar

namespace velmar {

std::optional<QDate> WidgetUserInterface::PickDate(const QDate& initial) {
  if (ending_) {
    return std::nullopt;
  }
  if (scripted_) {
    std::fprintf(stderr, "velmar-dialog: date: %s\n",
                 qUtf8Printable(initial.toString(Qt::ISODate)));
    std::fflush(stderr);
    return std::nullopt;
  }
  DateDialog form(initial, parent_);
  if (form.exec() != QDialog::Accepted) {
    return std::nullopt;
  }
  return form.Date();
}

namespace {

QString RunFileDialog(bool ending, QWidget* parent, QFileDialog::AcceptMode mode,
                      const QString& folder, const QString& fileName, const QString& suffix) {
  if (ending) {
    return {};
  }
  QFileDialog dialog(parent, kApplicationTitle, folder);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                     : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog.setDefaultSuffix(suffix);
  if (!suffix.isEmpty()) {
    // The files of the kind asked for first; all files one choice away.
    dialog.setNameFilters(
        {QStringLiteral("%1 files (*.%1)").arg(suffix), QStringLiteral("All files (*)")});
  }
  dialog.selectFile(fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return dialog.selectedFiles().first();
}

}  // namespace

QString WidgetUserInterface::FolderName(const QString& folder) {
  if (scripted_) {
    std::fprintf(stderr, "velmar-dialog: folder: %s\n", qUtf8Printable(folder));
    std::fflush(stderr);
    return {};
  }
  if (ending_) {
    return {};
  }
  // Folder mode: a folder with no files in it can be chosen, and a typed
  // name is taken as a folder, not looked for as a file.
  QFileDialog dialog(parent_, kApplicationTitle, folder);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return dialog.selectedFiles().first();
}

QString WidgetUserInterface::SaveFileName(const QString& folder, const QString& fileName,
                                          const QString& defaultSuffix) {
  if (scripted_) {
    std::fprintf(stderr, "velmar-dialog: save file: %s\n", qUtf8Printable(fileName));
    std::fflush(stderr);
    return {};
  }
  return RunFileDialog(ending_, parent_, QFileDialog::AcceptSave, folder, fileName, defaultSuffix);
}

QString WidgetUserInterface::OpenFileName(const QString& folder, const QString& fileName,
                                          const QString& defaultSuffix) {
  if (scripted_) {
    std::fprintf(stderr, "velmar-dialog: open file: %s\n", qUtf8Printable(fileName));
    std::fflush(stderr);
    return {};
  }
  return RunFileDialog(ending_, parent_, QFileDialog::AcceptOpen, folder, fileName, defaultSuffix);
}

}  // namespace velmar

namespace velmar {

std::optional<QString> WidgetUserInterface::ChooseItem(const QString& text,
                                                       const QStringList& items,
                                                       const QString& current) {
  if (scripted_) {
    // The next answer names the item to take; anything else cancels.
    const QString answer = answers_.isEmpty() ? QString() : answers_.takeFirst().trimmed();
    std::fprintf(stderr, "velmar-dialog: choose: %s [%s] -> %s\n", qUtf8Printable(text),
                 qUtf8Printable(items.join(QLatin1Char('|'))), qUtf8Printable(answer));
    std::fflush(stderr);
    if (!items.contains(answer)) {
      return std::nullopt;
    }
    return answer;
  }
  bool ok = false;
  const QString chosen =
      QInputDialog::getItem(parent_, kApplicationTitle, text, items,
                            std::max<int>(0, items.indexOf(current)), false, &ok);
  if (!ok) {
    return std::nullopt;
  }
  return chosen;
}

}  // namespace velmar

namespace velmar {

UserInterface::SaveChoice WidgetUserInterface::AskToSave(const QString& text) {
  if (ending_) {
    return SaveChoice::Cancel;
  }
  if (scripted_) {
    const QString answer =
        answers_.isEmpty() ? QString() : answers_.takeFirst().trimmed().toLower();
    const SaveChoice choice = answer == QLatin1String("save")      ? SaveChoice::Save
                              : answer == QLatin1String("discard") ? SaveChoice::Discard
                                                                   : SaveChoice::Cancel;
    std::fprintf(stderr, "velmar-dialog: save question: %s -> %s\n", qUtf8Printable(text),
                 choice == SaveChoice::Save      ? "save"
                 : choice == SaveChoice::Discard ? "discard"
                                                 : "cancel");
    std::fflush(stderr);
    return choice;
  }
  switch (QMessageBox::question(parent_, kApplicationTitle, text,
                                QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                QMessageBox::Save)) {
    case QMessageBox::Save:
      return SaveChoice::Save;
    case QMessageBox::Discard:
      return SaveChoice::Discard;
    default:
      return SaveChoice::Cancel;
  }
}

}  // namespace velmar
