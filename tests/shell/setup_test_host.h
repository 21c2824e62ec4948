#pragma once

#include <optional>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWidget>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "config/settings_list.h"
#include "config/settings_loader.h"
#include "config/settings_target.h"
#include "platform/autostart.h"
#include "platform/key_store.h"
#include "platform/registry.h"
#include "platform/user_interface.h"
#include "shell/setup_host.h"
#include "shell/widgets/tip_window.h"
#include "support/scripted_ui.h"
#include "support/temp_store.h"

namespace velmar::test {

// A small real meter behind the setup dialogs: the settings list with its
// file in a temporary directory, the real SettingsLoader and Autostart over
// a key store of its own, and what they apply to the running meter kept in
// fields the tests read.
class SetupTestHost : public SetupHost, public SettingsTarget {
 public:
  static constexpr const char* kExecutable = "/opt/velmar/velmar";

  SetupTestHost()
      : loader_(list_, *this, temp_.store.get(), FilePath(), QString::fromLatin1(kExecutable),
                EntryPath()) {}

  QString FilePath() const { return temp_.dir.filePath(QStringLiteral("Velmarsettings.ini")); }
  QString EntryPath() const {
    return temp_.dir.filePath(QStringLiteral("autostart/velmar.desktop"));
  }

  // The default file with some lines changed, then LoadSettings as at
  // start-up.
  void Start(std::initializer_list<std::pair<int, QString>> changes = {}) {
    SettingsList file;
    file.SetLines(SettingsList::DefaultLines());
    for (const auto& [n, text] : changes) {
      file.SetLine(n, text);
    }
    QFile out(FilePath());
    if (out.open(QIODevice::WriteOnly)) {
      out.write(SettingsLoader::Serialise(file));
    }
    out.close();
    loader_.LoadSettings(true);
  }

  // From now on the autostart value is written through a read-only view of
  // the same store, so every write to it fails.
  void MakeStoreReadOnly() {
    readOnly_ = std::make_unique<KeyStore>(temp_.store->Path(), KeyStore::Access::ReadOnly);
    loader_.SetStore(readOnly_.get());
  }

  // The "Velmar2000" value under the Run key, empty when absent.
  QString RunValue() {
    Registry reg(*temp_.store);
    reg.SetRootKey(KeyRoot::kMachine);
    if (!reg.OpenKey(Autostart::kRunKey, false) || !reg.ValueExists(Autostart::kValueName)) {
      return {};
    }
    return reg.ReadString(Autostart::kValueName);
  }
  bool DesktopEntryExists() const { return QFileInfo::exists(EntryPath()); }

  // SetupHost
  SettingsList& Settings() override { return list_; }
  const QStringList& AdapterNames() const override { return adapters; }
  bool AnalysisRunning() const override { return analysisRunning; }
  uint8_t KilobitMode() const override { return kilobitMode; }
  void SetKilobitMode(uint8_t mode) override { kilobitMode = mode; }
  void SetSpeedHintsFor(uint8_t mode) override { SettingsLoader::ShowSpeedHints(*this, mode); }
  void SetAveragingMode(uint8_t mode) override { averagingMode = mode; }
  int16_t AdapterIndex() const override { return adapterIndex; }
  void SetAdapterIndex(int16_t index) override { adapterIndex = index; }
  void SetAdapterLabel(const QString& caption) override { adapterLabel = caption; }
  // As the main window shows a tip: not when its line says "0".
  void ShowTip(Tip tip) override {
    tipsAsked.push_back(static_cast<int>(tip));
    if (list_.Line(TipLine(tip)) == QLatin1String("0")) {
      return;
    }
    UserInterface::Get().Beep();
    if (UserInterface::Get().Tip(TipText(tip))) {
      list_.SetLine(TipLine(tip), QStringLiteral("0"));
    }
  }
  void SetStayOnTop(bool onTop) override { stayOnTop = onTop; }
  void ApplyProxyFromSettings() override {
    ++proxyApplications;
    loader_.ReplaceProxy();
  }
  void SetUrl(const QString& text) override { url = text; }
  void ReloadSettings() override {
    list_.Clear();
    loader_.LoadSettings(true);
  }
  void WriteAutostart(bool enabled) override {
    KeyStore* store = readOnly_ != nullptr ? readOnly_.get() : temp_.store.get();
    Autostart(store, EntryPath()).Write(enabled, QString::fromLatin1(kExecutable));
  }
  void ReportError(const std::exception& error) override {
    errors << QString::fromUtf8(error.what());
  }
  void RecordPrograms() override { programsRecorded = list_.Flag(SettingsLine::kProgramHistory); }

  // SettingsTarget
  void SetProgramSection(uint8_t section) override { programSection = section; }
  void SetWindowSize(int, int) override {}
  QStringList BuildAdapterList() override {
    return {QStringLiteral("All"), QStringLiteral("lo"), QStringLiteral("eth0")};
  }
  void SetAdapterList(const QStringList& list) override { adapters = list; }
  void SetSpeedHints(const QString& down, const QString& downAvg, const QString& up,
                     const QString& upAvg) override {
    hints = {down, downAvg, up, upAvg};
  }
  void SetTotalDisplay(int value) override { total = value; }
  void SetProxy(const QString& host) override { proxy = host; }
  void SetProxyPort(uint16_t port) override { proxyPort = port; }
  void SetWebPageAddress(const QString&) override {}

  bool analysisRunning = false;
  QStringList adapters;
  uint8_t kilobitMode = 0;
  uint8_t averagingMode = 0;
  int16_t adapterIndex = 0;
  QString adapterLabel;
  QStringList hints;
  std::vector<int> tipsAsked;
  bool stayOnTop = false;
  // Line 65 as the last apply handed it on; empty until one did.
  std::optional<bool> programsRecorded;
  int proxyApplications = 0;
  QString proxy;
  uint16_t proxyPort = 0;
  QString url;
  int total = -1;
  uint8_t programSection = 0;
  QStringList errors;

 private:
  TempStore temp_;
  std::unique_ptr<KeyStore> readOnly_;
  SettingsList list_;
  SettingsLoader loader_;
};

// The captions of `root` (labels, buttons, check boxes, radio buttons,
// group titles) that lack the room their text needs or stick out of their
// parent. Layouts must have run: show the window first.
inline QStringList ClippedCaptions(QWidget& root) {
  QStringList clipped;
  for (QWidget* w : root.findChildren<QWidget*>()) {
    QString text;
    bool fits = true;
    if (auto* label = qobject_cast<QLabel*>(w)) {
      text = label->text();
      if (text.isEmpty()) {
        continue;  // a picture
      }
      fits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                               : label->sizeHint().width() <= label->width() &&
                                     label->sizeHint().height() <= label->height();
    } else if (auto* push = qobject_cast<QPushButton*>(w)) {
      text = push->text();
      const QString plain = QString(text).remove(QLatin1Char('&'));
      fits = push->fontMetrics().horizontalAdvance(plain) + 12 <= push->width() &&
             push->fontMetrics().height() + 4 <= push->height();
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      text = button->text();
      fits = button->hasHeightForWidth()
                 ? button->heightForWidth(button->width()) <= button->height()
                 : button->sizeHint().width() <= button->width() &&
                       button->sizeHint().height() <= button->height();
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      text = group->title();
      fits = group->fontMetrics().horizontalAdvance(text) + 16 <= group->width();
    } else {
      continue;
    }
    const QWidget* parent = w->parentWidget();
    const bool inside =
        parent == nullptr || QRect(QPoint(0, 0), parent->size()).contains(w->geometry());
    if (!fits || !inside) {
      clipped << QStringLiteral("%1 \"%2\"").arg(w->objectName(), text);
    }
  }
  return clipped;
}

// The window as it shows, under a plain title bar carrying its caption, for
// the screenshots of the documentation.
inline QImage Framed(QWidget& window) {
  const QImage client = window.grab().toImage();
  const int bar = 26;
  QImage image(client.width() + 2, client.height() + bar + 1, QImage::Format_RGB32);
  image.fill(QColor(60, 70, 90));
  QPainter p(&image);
  p.drawImage(1, bar, client);
  p.setPen(Qt::white);
  QFont f = window.font();
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(10, 0, image.width() - 20, bar), Qt::AlignVCenter | Qt::AlignLeft,
             window.windowTitle());
  return image;
}

// A setup dialog opened over a fresh host, shown but not modal, so a test
// can drive it.
template <typename Dialog>
class SetupDialogTest : public ::testing::Test {
 protected:
  // Starts the host from a settings file with `changes` and opens the dialog.
  void Open(std::initializer_list<std::pair<int, QString>> changes = {}) {
    host.Start(changes);
    dialog = std::make_unique<Dialog>(host);
    dialog->show();
  }
  template <typename T = QWidget>
  T* Child(const char* name) {
    T* child = dialog->template findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  QString Line(int n) { return host.Settings().Line(n); }
  // The texts of the labels below `root` that show one.
  static QStringList Texts(QWidget* root) {
    QStringList texts;
    for (QLabel* label : root->findChildren<QLabel*>()) {
      if (!label->text().isEmpty()) {
        texts << label->text();
      }
    }
    return texts;
  }

  ScriptedUi ui;
  SetupTestHost host;
  std::unique_ptr<Dialog> dialog;
};

}  // namespace velmar::test
