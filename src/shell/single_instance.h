#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <functional>
#include <memory>

namespace velmar {

// One meter per user: a lock file in the user's runtime directory claims
// the name for the life of the first instance, and a local socket beside
// it lets a later start ask the first to come forward.
class SingleInstance : public QObject {
 public:
  explicit SingleInstance(QString name, QObject* parent = nullptr);
  ~SingleInstance() override;

  bool SwitchToPrevious = true;
  bool Terminate = true;

  // Called in a later instance when the first one is found.
  std::function<void()> AlreadyExist;
  // Called in the first instance when a later one asks it to come forward.
  std::function<void()> OnActivateRequest;

  // True when another instance already runs (this one should end when
  // Terminate is set); false when this instance now holds the name.
  bool Check();

  // $XDG_RUNTIME_DIR, else the temporary directory.
  static QString RuntimeDirectory();

 private:
  QString name_;
  QString lockPath_;
  QString socketPath_;
  std::unique_ptr<QLockFile> lock_;
  std::unique_ptr<QLocalServer> server_;
};

}  // namespace velmar
