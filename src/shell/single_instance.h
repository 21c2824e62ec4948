#pragma once

#include <QLocalServer>
#include <QLocalSocket>
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

  // How the first instance answers a request to come forward.
  static const QString kAnswerTray;    // its window came back; it lives in a tray
  static const QString kAnswerWindow;  // its window came back; there is no tray

  // Called in a later instance when the first one is found, with the first
  // one's answer (empty when it gave none).
  std::function<void(const QString& answer)> AlreadyExist;
  // Called in the first instance when a later one asks it to come forward,
  // with the xdg-activation token the later one was started with (empty
  // without one); returns the answer.
  std::function<QString(const QString& activationToken)> OnActivateRequest;

  // True when another instance already runs (this one should end when
  // Terminate is set); false when this instance now holds the name.
  bool Check();

  // $XDG_RUNTIME_DIR, else the temporary directory.
  static QString RuntimeDirectory();

 private:
  // The first instance: reads one request and answers it.
  void Answer(QLocalSocket& peer);
  // A later instance: the first one's answer, or empty.
  QString AskToComeForward();

  QString name_;
  QString lockPath_;
  QString socketPath_;
  std::unique_ptr<QLockFile> lock_;
  std::unique_ptr<QLocalServer> server_;
};

}  // namespace velmar
