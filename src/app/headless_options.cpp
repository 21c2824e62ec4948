#include "app/headless_options.h"

#include <QCoreApplication>

#include "app/remote_options.h"

namespace velmar {

namespace {

// --adapter K or NAME, over the settings' choice.
Status ReadAdapterOption(const CommandLine& options, const SettingsList& settings,
                         HeadlessOptions& chosen, QTextStream& err) {
  chosen.adapterIndex = settings.AdapterIndex();
  chosen.adapterName =
      chosen.adapterIndex > 0 ? settings.Line(SettingsLine::kAdapterName) : QString();
  chosen.adapterGiven = options.IsSet("adapter");
  if (!chosen.adapterGiven) {
    return std::nullopt;
  }
  const QString value = options.Value("adapter");
  bool number = false;
  const int k = value.toInt(&number);
  if (value.isEmpty() || (number && (k < 0 || k > 32767))) {
    return CommandLine::UsageError(
        err, QStringLiteral("--adapter needs a number from 0 up or an adapter's name"));
  }
  chosen.adapterIndex = number ? static_cast<int16_t>(k) : int16_t{1};
  chosen.adapterName = number ? QString() : value;
  return std::nullopt;
}

// --format, --metrics and the interfaces it serves.
Status ReadOutputOptions(const CommandLine& options, const SettingsList& settings,
                         HeadlessOptions& chosen, QTextStream& err) {
  const QString format = options.Value("format");
  if (format != QLatin1String("text") && format != QLatin1String("json")) {
    return CommandLine::UsageError(err, QStringLiteral("--format is text or json"));
  }
  chosen.format =
      format == QLatin1String("json") ? HeadlessMeter::Format::kJson : HeadlessMeter::Format::kText;
  chosen.serveMetrics = options.IsSet("metrics");
  if (chosen.serveMetrics) {
    try {
      chosen.metricsAddress = ListenAddress::Parse(options.Value("metrics"));
    } catch (const std::exception& e) {
      return CommandLine::UsageError(
          err, QStringLiteral("--metrics: %1").arg(QString::fromUtf8(e.what())));
    }
  }
  try {
    // The options, else the window's line; either option replaces the line.
    chosen.metricsFilter =
        options.IsSet("metrics-include") || options.IsSet("metrics-exclude")
            ? InterfaceFilter(options.Value("metrics-include"), options.Value("metrics-exclude"))
            : InterfaceFilter::FromLine(settings.Line(SettingsLine::kMetricsInterfaceFilter));
  } catch (const std::exception& e) {
    return CommandLine::UsageError(err, QString::fromUtf8(e.what()));
  }
  chosen.devicesGiven = options.IsSet("devices");
  if (chosen.devicesGiven && !chosen.serveMetrics) {
    return CommandLine::UsageError(err, QStringLiteral("--devices needs --metrics"));
  }
  chosen.webConfigGiven = options.IsSet("web-config");
  if (chosen.webConfigGiven && !chosen.serveMetrics) {
    return CommandLine::UsageError(err, QStringLiteral("--web-config needs --metrics"));
  }
#ifdef VELMAR_DEVICE_METRICS
  if (chosen.webConfigGiven) {
    try {
      chosen.security = LoadWebSecurity(options.Value("web-config"));
    } catch (const std::exception& e) {
      return CommandLine::UsageError(err, QString::fromUtf8(e.what()));
    }
  }
#endif
  return std::nullopt;
}

// --snmp and its company, else the settings' device; --devices FILE.
Status ReadDeviceOptions(const CommandLine& options, const SettingsList& settings,
                         HeadlessOptions& chosen, QTextStream& err) {
  RemoteOptions remote;
  for (const char* name : {"snmp", "snmp-version", "snmp-user", "snmp-level", "snmp-auth",
                           "snmp-priv", "snmp-secrets"}) {
    if (options.IsSet(name)) {
      remote.Take(QString::fromLatin1(name), options.Value(name));
    }
  }
  try {
    chosen.device = remote.Resolve(settings);
  } catch (const std::exception& e) {
    return CommandLine::UsageError(err, QString::fromUtf8(e.what()));
  }
#ifdef VELMAR_DEVICE_METRICS
  if (chosen.devicesGiven) {
    try {
      chosen.fleet = ReadDeviceList(options.Value("devices"));
    } catch (const std::exception& e) {
      return CommandLine::UsageError(err, QString::fromUtf8(e.what()));
    }
  }
#endif
  return std::nullopt;
}

}  // namespace

Status ReadOptions(const CommandLine& options, const SettingsList& settings,
                   HeadlessOptions& chosen, QTextStream& err) {
  chosen.listAdapters = options.IsSet("list-adapters");
  chosen.recordHistory = options.IsSet("record-history");
  if (Status status = ReadAdapterOption(options, settings, chosen, err)) {
    return status;
  }
  if (Status status = ReadOutputOptions(options, settings, chosen, err)) {
    return status;
  }
  if (options.IsSet("programs") || options.IsSet("programs-top")) {
    HeadlessPrograms::Options programs;
    programs.print = options.IsSet("programs");
    programs.json = chosen.format == HeadlessMeter::Format::kJson;
    const QString top = options.IsSet("programs-top") ? options.Value("programs-top")
                                                      : settings.Line(SettingsLine::kProgramsTop);
    bool number = top.isEmpty();
    programs.top = top.isEmpty() ? 20 : top.toUInt(&number);
    if (!number || programs.top == 0 || programs.top > 1000) {
      return CommandLine::UsageError(err,
                                     QStringLiteral("--programs-top is a number from 1 to 1000"));
    }
    programs.helper = QString::fromStdString(
        programs::FindCaptureHelper(QCoreApplication::applicationDirPath().toStdString()));
    chosen.programs = programs;
  }
  return ReadDeviceOptions(options, settings, chosen, err);
}

}  // namespace velmar
