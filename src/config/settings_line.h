#pragma once

#include <cstdint>

namespace velmar {

// What each line of "Velmarsettings.ini" holds. A setting has no key in
// the file: its meaning is its zero-based line number, so these numbers
// are the file's format and never change. Lines not named here (5, 6,
// 39, 40, 42, 43) are reserved and written back as read.
enum class SettingsLine : int {
  kHeader = 0,
  kKilobitMode = 1,      // 0: a kilobit is 1000 bits, 1: 1024
  kAveragingMode = 2,    // 1 "3 Pole", 2 "Mid range", 3 "Full range"
  kGenerateUrl = 3,      // what Generate mode downloads
  kStartGenerating = 4,  // "0": Spy at start, else Generate
  kTrafficTotal = 7,     // KBytes
  kProxyHost = 8,
  kProxyPort = 9,
  kAutostart = 10,           // "1": start with the desktop session
  kStartActive = 11,         // "1": measure from the start
  kStayOnTop = 12,           // "1"
  kAdapterIndex = 13,        // 0 is "All"
  kUseProxy = 14,            // "1"
  kFirstAlarmLimit = 15,     // 15-24: one limit per AlarmCondition
  kFirstAlarmSwitch = 25,    // 25-34: "1" arms the condition's alarm
  kAlarmTarget = 35,         // the action's recipient, program or URL
  kAlarmAction = 36,         // an AlarmAction
  kTipAverageUnlocked = 37,  // "0": never show this tip again
  kTipAllAdapters = 38,
  kTipGraphSliders = 41,
  // Lines after the original 44, each added empty to an older file.
  kMetricsAddress = 44,  // [ADDR:]PORT of the window's metrics endpoint; "" is off
  kSourceKind = 45,      // "" or "local": this computer; "snmp": a device
  kDeviceHost = 46,
  kDevicePort = 47,           // "" = 161
  kDeviceVersion = 48,        // "2c" (the default) or "3"
  kDeviceUser = 49,           // v3
  kDeviceAuthProtocol = 50,   // v3, "" = SHA
  kDevicePrivProtocol = 51,   // v3, "" = AES
  kDeviceSecurityLevel = 52,  // v3, "" = authPriv
  kAdapterName = 53,          // the chosen interface's name ("" with "All"), beside line 13
  // Which interfaces the window's metrics show: "INCLUDE<TAB>EXCLUDE",
  // each a regular expression on the whole name, either empty (all).
  kMetricsInterfaceFilter = 54,
  // The path of the web configuration file (TLS, passwords) of the
  // window's metrics endpoint; "" serves plain HTTP to anyone.
  kMetricsWebConfig = 55,
  // The data plan (56-63, "" on line 56: none). The limit ("50 GB",
  // "1.5 GiB"); the period ("monthly 1", "weekly 1", "daily", "days 30
  // 2026-12-01"); what counts ("down", "up", "both"); the interfaces ("All"
  // or "eth0,wlan0"); the warning percentages ("80,100"); which warnings
  // went out in which period; 62 and 63 are kept for the plan.
  kPlanLimit = 56,
  kPlanPeriod = 57,
  kPlanCounts = 58,
  kPlanInterfaces = 59,
  kPlanWarnAt = 60,
  kPlanWarned = 61,
  // How many programs the metrics label on their own, the rest in
  // "other"; "" = 20.
  kProgramsTop = 64,
  // "1": the window's history records the volumes per program, reading
  // the sockets every 2 s while measuring; else "" (off).
  kProgramHistory = 65,
};

// The ten alarm conditions, in the order of their limit and switch lines.
enum class AlarmCondition : int {
  kReceiveAverageAbove,
  kTransmitAverageAbove,
  kReceiveAverageBelow,
  kTransmitAverageBelow,
  kReceiveAbove,
  kTransmitAbove,
  kReceiveBelow,
  kTransmitBelow,
  kReceiveIdle,
  kTransmitIdle,
};
constexpr int kAlarmConditionCount = 10;

constexpr SettingsLine AlarmLimitLine(AlarmCondition condition) {
  return static_cast<SettingsLine>(static_cast<int>(SettingsLine::kFirstAlarmLimit) +
                                   static_cast<int>(condition));
}
constexpr SettingsLine AlarmSwitchLine(AlarmCondition condition) {
  return static_cast<SettingsLine>(static_cast<int>(SettingsLine::kFirstAlarmSwitch) +
                                   static_cast<int>(condition));
}

// What an alarm does, as line 36 holds it; any other value does nothing.
enum class AlarmAction : int {
  kBeep = 0,
  kMail = 1,
  kRunProgram = 2,
  kOpenUrl = 3,
  kNotify = 4,  // a desktop notification, latched as the mail is
};

// The tips a user can switch off: each is kept on the line of its number.
enum class Tip : uint8_t {
  kAverageUnlocked = static_cast<uint8_t>(SettingsLine::kTipAverageUnlocked),
  kAllAdapters = static_cast<uint8_t>(SettingsLine::kTipAllAdapters),
  kGraphSliders = static_cast<uint8_t>(SettingsLine::kTipGraphSliders),
};

constexpr SettingsLine TipLine(Tip tip) {
  return static_cast<SettingsLine>(tip);
}

}  // namespace velmar
