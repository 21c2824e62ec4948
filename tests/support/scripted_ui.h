#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <utility>

#include "platform/user_interface.h"

namespace velmar::test {

// Answers questions from a script and records every notice and question,
// installed for the life of the object.
class ScriptedUi : public UserInterface {
 public:
  ScriptedUi() { UserInterface::Set(this); }
  ~ScriptedUi() override { UserInterface::Set(nullptr); }

  void Beep() override { ++beeps; }
  void Message(const QString& text) override {
    messages << text;
    // What the event loop may run while the dialog is open.
    if (duringMessage) {
      std::exchange(duringMessage, nullptr)();
    }
  }
  Answer Question(const QString& text) override {
    questions << text;
    if (answers.empty())
      return Answer::No;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }

  bool Tip(const QString& text) override {
    tips << text;
    return tipDontRemind;
  }

  std::optional<QDate> PickDate(const QDate& initial) override {
    datesOffered.push_back(initial);
    if (dates.empty())
      return std::nullopt;
    const auto d = dates.front();
    dates.pop_front();
    return d;
  }
  QString SaveFileName(const QString& folder, const QString& fileName,
                       const QString& suffix) override {
    fileDialogs << "save:" + folder + "|" + fileName + "|" + suffix;
    return Next();
  }
  QString OpenFileName(const QString& folder, const QString& fileName,
                       const QString& suffix) override {
    fileDialogs << "open:" + folder + "|" + fileName + "|" + suffix;
    return Next();
  }
  QString FolderName(const QString& folder) override {
    fileDialogs << "folder:" + folder;
    return Next();
  }
  std::optional<QString> ChooseItem(const QString& text, const QStringList& items,
                                    const QString& current) override {
    choiceOffers << text + ":" + items.join('|') + ":" + current;
    if (choices.empty())
      return std::nullopt;
    const auto c = choices.front();
    choices.pop_front();
    return c;
  }
  SaveChoice AskToSave(const QString& text) override {
    saveQuestions << text;
    if (saveChoices.empty())
      return SaveChoice::Cancel;
    const SaveChoice c = saveChoices.front();
    saveChoices.pop_front();
    return c;
  }
  QString Next() {
    if (files.empty())
      return {};
    const QString f = files.front();
    files.pop_front();
    return f;
  }

  std::deque<std::optional<QDate>> dates;
  std::vector<QDate> datesOffered;
  std::deque<QString> files;
  std::deque<std::optional<QString>> choices;
  QStringList choiceOffers;
  QStringList fileDialogs;
  std::deque<Answer> answers;
  std::deque<SaveChoice> saveChoices;
  QStringList saveQuestions;
  QStringList tips;
  bool tipDontRemind = false;
  QStringList messages;
  std::function<void()> duringMessage;
  QStringList questions;
  int beeps = 0;
};

}  // namespace velmar::test
