#include "app/command_line.h"

namespace velmar {

namespace {

QList<QCommandLineOption> OptionList() {
  return {
      {QStringLiteral("version"), QStringLiteral("Print the version.")},
      {QStringLiteral("headless"),
       QStringLiteral("Measure without a window; print one line per tick.")},
      {QStringLiteral("adapter"),
       QStringLiteral("Monitor adapter K of the list (0 = All), or the adapter of that name."),
       QStringLiteral("K|NAME")},
      {QStringLiteral("format"),
       QStringLiteral("What each tick prints: text (the default) or json, one JSON object per "
                      "line."),
       QStringLiteral("text|json"), QStringLiteral("text")},
      {QStringLiteral("metrics"),
       QStringLiteral("Serve Prometheus metrics at http://ADDR:PORT/metrics (ADDR 127.0.0.1 "
                      "unless given)."),
       QStringLiteral("[ADDR:]PORT")},
      {QStringLiteral("metrics-include"),
       QStringLiteral("Show in the metrics only the interfaces whose whole name matches this "
                      "regular expression."),
       QStringLiteral("REGEX")},
      {QStringLiteral("metrics-exclude"),
       QStringLiteral("Leave out of the metrics the interfaces whose whole name matches this "
                      "regular expression (veth.* for containers' veths)."),
       QStringLiteral("REGEX")},
      {QStringLiteral("web-config"),
       QStringLiteral("With --metrics, serve as a web configuration FILE of Prometheus's "
                      "exporters says: TLS, client certificates, basic-auth users, headers."),
       QStringLiteral("FILE")},
      {QStringLiteral("devices"),
       QStringLiteral("With --metrics, also serve every device of FILE at "
                      "/snmp?target=NAME, polled when scraped."),
       QStringLiteral("FILE")},
      {QStringLiteral("programs"),
       QStringLiteral("With --headless, also print the busiest programs every two seconds.")},
      {QStringLiteral("programs-top"),
       QStringLiteral("How many programs --programs prints and the metrics label (20 unless "
                      "given); the rest add up in \"other\"."),
       QStringLiteral("N")},
      {QStringLiteral("record-history"),
       QStringLiteral("With --headless, record the five-minute history as the window does; "
                      "with --programs or --programs-top, with the volumes per program.")},
      {QStringLiteral("list-adapters"), QStringLiteral("Print the adapter list.")},
      {QStringLiteral("snmp"),
       QStringLiteral("Measure a device on the network (a router, a switch) over SNMP instead "
                      "of this computer."),
       QStringLiteral("HOST[:PORT]")},
      {QStringLiteral("snmp-version"), QStringLiteral("SNMP version of the device: 2c or 3."),
       QStringLiteral("2c|3")},
      {QStringLiteral("snmp-user"), QStringLiteral("SNMPv3 user name."), QStringLiteral("NAME")},
      {QStringLiteral("snmp-level"),
       QStringLiteral("SNMPv3 security level: noAuthNoPriv, authNoPriv or authPriv (the "
                      "default)."),
       QStringLiteral("LEVEL")},
      {QStringLiteral("snmp-auth"),
       QStringLiteral("SNMPv3 authentication: SHA (the default), SHA-224, SHA-256, SHA-384, "
                      "SHA-512, or MD5 (weak: for devices that know nothing else)."),
       QStringLiteral("PROTOCOL")},
      {QStringLiteral("snmp-priv"),
       QStringLiteral("SNMPv3 privacy: AES (the default), AES-192, AES-256, or DES (weak: "
                      "for devices that know nothing else)."),
       QStringLiteral("PROTOCOL")},
      {QStringLiteral("snmp-secrets"),
       QStringLiteral("A file of mode 0600 with community=, auth= and priv= lines; without it "
                      "the secrets stored by the setup dialog are used."),
       QStringLiteral("FILE")},
      {QStringLiteral("history"),
       QStringLiteral("Print the recorded history (averages every five minutes).")},
  };
}

}  // namespace

CommandLine::CommandLine() {
  parser_.setApplicationDescription(QStringLiteral("Velmar 2000 bandwidth meter"));
  parser_.addHelpOption();
  parser_.addOptions(OptionList());
}

int CommandLine::UsageError(QTextStream& err, const QString& reason) {
  err << "velmar: " << reason << Qt::endl;
  return kUsageStatus;
}

bool CommandLine::Parse(const QStringList& arguments, QTextStream& err) {
  if (!parser_.parse(arguments)) {
    UsageError(err, parser_.errorText());
    return false;
  }
  if (!parser_.positionalArguments().isEmpty()) {
    UsageError(err,
               QStringLiteral("unexpected argument '%1'").arg(parser_.positionalArguments()[0]));
    return false;
  }
  return true;
}

QString CommandLine::UnknownLongOption(int argc, char* argv[]) {
  // The report's own options (report_command_line.cpp) are known too.
  QStringList known{QStringLiteral("help"),        QStringLiteral("report"),
                    QStringLiteral("period"),      QStringLiteral("from"),
                    QStringLiteral("to"),          QStringLiteral("group"),
                    QStringLiteral("values"),      QStringLiteral("quota"),
                    QStringLiteral("quota-start"), QStringLiteral("output")};
  // And those of --usage (usage_main.cpp).
  known << QStringLiteral("usage") << QStringLiteral("json");
  for (const QCommandLineOption& option : OptionList()) {
    known << option.names();
  }
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg == QLatin1String("--")) {
      break;
    }
    if (arg.startsWith(QLatin1String("--")) &&
        !known.contains(arg.mid(2).section(QLatin1Char('='), 0, 0))) {
      return arg;
    }
  }
  return {};
}

}  // namespace velmar
