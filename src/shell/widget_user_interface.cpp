#include "widget_user_interface.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "product.h"
#include "twarningform.h"

namespace velmar {

WidgetUserInterface::WidgetUserInterface() {
  if (qEnvironmentVariableIsSet("VELMAR_TEST_ANSWERS")) {
    scripted_ = true;
    answers_ =
        qEnvironmentVariable("VELMAR_TEST_ANSWERS").split(QLatin1Char(','), Qt::SkipEmptyParts);
  }
}

void WidgetUserInterface::Beep() {
  if (!scripted_) {
    QApplication::beep();
  }
}

void WidgetUserInterface::Message(const QString& text) {
  if (scripted_) {
    std::fprintf(stderr, "velmar-dialog: message: %s\n", qUtf8Printable(text));
    std::fflush(stderr);
    return;
  }
  QMessageBox::information(parent_, kApplicationTitle, text);
}

UserInterface::Answer WidgetUserInterface::Question(const QString& text) {
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
  if (scripted_) {
    std::fprintf(stderr, "velmar-dialog: tip: %s\n", qUtf8Printable(text));
    std::fflush(stderr);
    return false;
  }
  QApplication::beep();
  Twarningform form(text, parent_);
  form.exec();
  return form.DontRemind();
}

}  // namespace velmar
