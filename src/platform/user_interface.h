#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>

namespace velmar {

// The one seam for everything modal the meter asks or tells the user, and
// for the system beep. The application installs the real dialogs; tests
// install scripted answers.
class UserInterface {
 public:
  enum class Answer { Yes, No };
  enum class SaveChoice { Save, Discard, Cancel };

  virtual ~UserInterface() = default;
  virtual void Beep() = 0;
  // A modal notice with an OK button.
  virtual void Message(const QString& text) = 0;
  // A modal Yes/No confirmation.
  virtual Answer Question(const QString& text) = 0;
  // The modal information tip; true when the user ticked "Don't remind me
  // again".
  virtual bool Tip(const QString& text) = 0;
  // The date dialog; nullopt when cancelled.
  virtual std::optional<QDate> PickDate(const QDate& initial) = 0;
  // File dialogs starting in `folder` with `fileName` offered; the chosen
  // path, or an empty text when cancelled. `defaultSuffix` is added to a
  // name typed without one.
  virtual QString SaveFileName(const QString& folder, const QString& fileName,
                               const QString& defaultSuffix) = 0;
  virtual QString OpenFileName(const QString& folder, const QString& fileName,
                               const QString& defaultSuffix) = 0;
  // A folder dialog starting in `folder`: the chosen folder (an empty one,
  // one holding only folders, or a typed name all count), or an empty text
  // when cancelled. An interface that cannot ask chooses nothing.
  virtual QString FolderName(const QString& folder);
  // A modal choice of one of `items`, `current` preselected; nullopt when
  // cancelled. An interface that cannot ask chooses nothing.
  virtual std::optional<QString> ChooseItem(const QString& text, const QStringList& items,
                                            const QString& current);

  // A modal question about unsaved changes with Save, Discard and Cancel.
  // An interface that cannot ask cancels.
  virtual SaveChoice AskToSave(const QString& text);

  // The installed interface; a silent one that answers No until one is set.
  static UserInterface& Get();
  // Installs `ui` (not owned); null restores the silent one.
  static void Set(UserInterface* ui);
};

}  // namespace velmar
