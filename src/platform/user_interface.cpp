#include "platform/user_interface.h"

namespace velmar {

namespace {

// Before the application installs its dialogs (and in headless runs)
// nothing may block on a question nobody can see.
class SilentInterface : public UserInterface {
 public:
  void Beep() override {}
  void Message(const QString&) override {}
  Answer Question(const QString&) override { return Answer::No; }
  bool Tip(const QString&) override { return false; }
  std::optional<QDate> PickDate(const QDate&) override { return std::nullopt; }
  QString SaveFileName(const QString&, const QString&, const QString&) override { return {}; }
  QString OpenFileName(const QString&, const QString&, const QString&) override { return {}; }
};

SilentInterface silent;
UserInterface* installed = &silent;

}  // namespace

QString UserInterface::FolderName(const QString& /*folder*/) {
  return {};
}

std::optional<QString> UserInterface::ChooseItem(const QString& /*text*/,
                                                 const QStringList& /*items*/,
                                                 const QString& /*current*/) {
  return std::nullopt;
}

UserInterface::SaveChoice UserInterface::AskToSave(const QString& /*text*/) {
  return SaveChoice::Cancel;
}

UserInterface& UserInterface::Get() {
  return *installed;
}

void UserInterface::Set(UserInterface* ui) {
  installed = ui != nullptr ? ui : &silent;
}

}  // namespace velmar
