#include "config/settings_loader.h"

#include "config/program_section.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

#include "config/kilobit.h"
#include "config/product.h"
#include "platform/atomic_file.h"
#include "platform/autostart.h"
#include "platform/exception.h"
#include "platform/registry.h"

namespace velmar {

SettingsLoader::SettingsLoader(SettingsList& list, SettingsTarget& target, KeyStore* store,
                               QString filePath, QString executablePath, QString autostartEntryPath)
    : list_(list),
      target_(target),
      store_(store),
      filePath_(std::move(filePath)),
      executablePath_(std::move(executablePath)),
      autostartEntryPath_(std::move(autostartEntryPath)) {}

QString SettingsLoader::DownHint(int bits) {
  return QStringLiteral("Downstream dataflow in KiloBits per second. (1Kbit=%1 bits!)").arg(bits);
}
QString SettingsLoader::DownAvgHint(int bits) {
  return QStringLiteral("Average Downstream dataflow in KiloBits per second. (1Kbit=%1 bits!)")
      .arg(bits);
}
QString SettingsLoader::UpHint(int bits) {
  return QStringLiteral("Upstream dataflow in KiloBits per second. (1Kbit=%1 bits!)").arg(bits);
}
QString SettingsLoader::UpAvgHint(int bits) {
  return QStringLiteral("Average Upstream dataflow in KiloBits per second. (1Kbit=%1 bits!)")
      .arg(bits);
}

QByteArray SettingsLoader::Serialise(const SettingsList& list) {
  QByteArray bytes;
  for (int n = 0; n < list.Count(); ++n) {
    bytes += list.Encoded(n);
    bytes += "\r\n";
  }
  return bytes;
}

bool SettingsLoader::HasUnsavedChanges() const {
  const int count = std::max<int>(list_.Count(), static_cast<int>(savedLines_.size()));
  for (int n = 0; n < count; ++n) {
    if (n == static_cast<int>(SettingsLine::kStartGenerating) ||
        n == static_cast<int>(SettingsLine::kTrafficTotal)) {
      continue;
    }
    if (list_.Line(n) != savedLines_.value(n)) {
      return true;
    }
  }
  return false;
}

void SettingsLoader::SaveSettings() {
  // The first save of an installed meter creates $XDG_CONFIG_HOME/velmar.
  const QString folder = QFileInfo(filePath_).absolutePath();
  std::error_code error;
  std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
  if (error) {
    throw Exception(QStringLiteral("Cannot create the settings folder %1: %2")
                        .arg(folder, QString::fromLocal8Bit(error.message().c_str())));
  }
  WriteFileAtomically(filePath_, Serialise(list_));
  savedLines_ = list_.Lines();
}

void SettingsLoader::SaveOwnLines(std::initializer_list<SettingsLine> lines) {
  if (savedLines_.isEmpty()) {
    return;  // nothing read or written yet: the next full save has them
  }
  SettingsList saved;
  saved.SetLines(savedLines_);
  for (const SettingsLine line : lines) {
    saved.SetLineExtending(line, list_.Line(line));
  }
  WriteFileAtomically(filePath_, Serialise(saved));
  savedLines_ = saved.Lines();
}

void SettingsLoader::UseDefaults(bool replacingUnusableFile) {
  target_.SetWindowSize(kDefaultWidth, kDefaultHeight);
  list_.SetLines(SettingsList::DefaultLines());
  // A file that was there but could not be used is kept beside the new
  // one rather than lost.
  if (replacingUnusableFile && QFileInfo(filePath_).isFile()) {
    const QString old = filePath_ + QStringLiteral(".old");
    QFile::remove(old);
    QFile::rename(filePath_, old);
  }
  try {
    SaveSettings();
  } catch (const Exception&) {
    // The defaults stay in memory; a read-only directory is no reason to
    // stop the meter.
  }
}

void SettingsLoader::LoadSettings(bool readFile) {
  // However far the steps below get, what they leave is what this run
  // starts from: a later change is one the file does not have.
  const auto remember = qScopeGuard([this] { savedLines_ = list_.Lines(); });
  target_.SetProgramSection(section::kLoadSettings);
  list_.Clear();
  if (!readFile) {
    UseDefaults(false);
  } else if (!list_.LoadComplete(filePath_)) {
    UseDefaults(true);
  }

  const QStringList adapters = target_.BuildAdapterList();
  target_.SetAdapterList(adapters);

  const uint8_t kilobitMode = list_.KilobitMode();
  target_.SetKilobitMode(kilobitMode);
  ShowSpeedHints(target_, kilobitMode);

  target_.SetAveragingMode(list_.AveragingMode());

  target_.SetTotalDisplay(list_.LineNumber(SettingsLine::kTrafficTotal, 0));
  target_.SetStayOnTop(list_.Flag(SettingsLine::kStayOnTop));

  const int16_t adapterIndex = list_.AdapterIndex();
  target_.SetAdapterIndex(adapterIndex);
  target_.SetAdapterLabel(AdapterCaption(adapters, adapterIndex));

  // The autostart entry lives outside the meter's own files: a failure
  // there must not keep the proxy, the URL and the window size from being
  // applied, at every start. A failed write is reported once the rest is
  // done; a failed removal is not reported at all.
  std::exception_ptr autostartFailure;
  try {
    ApplyAutostart();
  } catch (const std::exception&) {
    if (list_.Flag(SettingsLine::kAutostart)) {
      autostartFailure = std::current_exception();
    }
  }
  ApplyProxy();
  const QString url = list_.Line(SettingsLine::kGenerateUrl);
  target_.SetUrl(url.isEmpty() ? QStringLiteral("http://") : url);
  ApplyProductKey();
  if (autostartFailure) {
    std::rethrow_exception(autostartFailure);
  }
}

void SettingsLoader::ShowSpeedHints(SettingsTarget& target, uint8_t kilobitMode) {
  const int bits = BitsPerKilobit(kilobitMode);
  target.SetSpeedHints(DownHint(bits), DownAvgHint(bits), UpHint(bits), UpAvgHint(bits));
}

void SettingsLoader::ApplyAutostart() {
  Autostart(store_, autostartEntryPath_)
      .Apply(list_.Flag(SettingsLine::kAutostart), executablePath_);
}

void SettingsLoader::ApplyProxy() {
  if (!list_.Flag(SettingsLine::kUseProxy) || list_.Line(SettingsLine::kProxyHost).isEmpty()) {
    return;
  }
  target_.SetProxy(list_.Line(SettingsLine::kProxyHost).left(255));
  const auto port = static_cast<uint16_t>(list_.LineNumber(SettingsLine::kProxyPort, 0));
  target_.SetProxyPort(port);
  if (port == 0) {
    target_.SetProxy(QString());
    list_.SetFlag(SettingsLine::kUseProxy, false);
  }
}

void SettingsLoader::ReplaceProxy() {
  target_.SetProxy(QString());
  target_.SetProxyPort(0);
  ApplyProxy();
}

void SettingsLoader::ApplyProductKey() {
  if (store_ == nullptr) {
    return;
  }
  Registry reg(*store_);
  reg.SetRootKey(KeyRoot::kMachine);
  if (!reg.OpenKey(kProductKey, true)) {
    return;
  }
  if (reg.ValueExists(QStringLiteral("URLMem2"))) {
    target_.SetWebPageAddress(reg.ReadString(QStringLiteral("URLMem2")));
  } else {
    target_.SetWebPageAddress(kDefaultWebPageAddress);
    try {
      reg.WriteString(QStringLiteral("URLMem2"), kDefaultWebPageAddress);
    } catch (const RegistryError&) {
      // Only the stored copy is missing; the address is in use.
    }
  }
  if (!reg.ValueExists(QStringLiteral("RCWidth"))) {
    target_.SetWindowSize(kDefaultWidth, kDefaultHeight);
  }
  reg.CloseKey();
}

}  // namespace velmar
