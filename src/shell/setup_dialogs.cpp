#include "setup_dialogs.h"

#include "settings_list.h"

namespace velmar {

SetupDialog::SetupDialog(SetupHost& host, QWidget* parent, const QString& name,
                         const QString& caption, QSize size)
    : QDialog(parent), host_(host) {
  setObjectName(name);
  setWindowTitle(caption);
  setFixedSize(size);
  setModal(true);
}

void SetupDialog::done(int result) {
  // The error report of a failed close is modal; a second close meanwhile
  // waits for the first.
  if (closing_) {
    return;
  }
  closing_ = true;
  const bool closes = FormClose();
  closing_ = false;
  if (closes) {
    QDialog::done(result);
  }
}

void SetupDialog::ApplyWindowStyle(bool onTop) {
  if (onTop) {
    host_.SetStayOnTop(true);
    host_.Settings().SetLine(12, QStringLiteral("1"));
  } else {
    host_.Settings().SetLine(12, QStringLiteral("0"));
    host_.SetStayOnTop(false);
  }
}

void SetupDialog::ApplyAutostart(bool enabled) {
  host_.WriteAutostart(enabled);
  host_.Settings().SetLine(10, enabled ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace velmar
