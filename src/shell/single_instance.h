#pragma once

#include <QLockFile>
#include <QObject>
#include <map>
#include <memory>

class QSocketNotifier;

namespace velmar {

// One meter per user: a lock file in the user's runtime directory claims
// the name for the life of the first instance, and a local socket beside
// it lets a later start ask the first to come forward. The socket is a
// plain AF_UNIX one watched by a QSocketNotifier: Qt Network's local
// server would map its library (2.6 MB) into every window for one line.
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  explicit SingleInstance(QString name, QObject* parent = nullptr);
  ~SingleInstance() override;

  bool SwitchToPrevious = true;
  bool Terminate = true;

  // How the first instance answers a request to come forward.
  static const QString kAnswerTray;    // its window came back; it lives in a tray
  static const QString kAnswerWindow;  // its window came back; there is no tray

  // True when another instance already runs (this one should end when
  // Terminate is set); false when this instance now holds the name.
  bool Check();

  // $XDG_RUNTIME_DIR, else the temporary directory.
  static QString RuntimeDirectory();

 signals:
  // In a later instance when the first one is found, with the first one's
  // answer (empty when it gave none).
  void alreadyRunning(const QString& answer);
  // In the first instance when a later one asks it to come forward, with
  // the xdg-activation token the later one was started with (empty
  // without one); a receiver, connected directly, sets the answer.
  void activationRequested(const QString& activationToken, QString& answer);

 private:
  struct Peer;
  void Listen();
  void Accept();
  // The first instance: reads what a peer sent and answers its request
  // once the line is whole.
  void Read(int fd);
  void Drop(int fd);
  // A later instance: the first one's answer, or empty.
  QString AskToComeForward();

  QString name_;
  QString lockPath_;
  QString socketPath_;
  std::unique_ptr<QLockFile> lock_;
  int listener_ = -1;
  std::unique_ptr<QSocketNotifier> listening_;
  std::map<int, std::unique_ptr<Peer>> peers_;
};

}  // namespace velmar
