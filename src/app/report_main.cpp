// The usage report of the command line:
//   velmar --report PROFILE     a usage report of a report profile
//   velmar --report --from DATE --to DATE --group day --format csv [--output FILE]
#include "report_main.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTextStream>

#include "atomic_file.h"
#include "key_store.h"
#include "product.h"
#include "profile_store.h"
#include "report_generator.h"
#include "settings_list.h"

namespace velmar {

namespace {

// Bad usage of --report: the reason on one line, exit status 2.
class UsageError : public Exception {
 public:
  using Exception::Exception;
};

QString OneLine(QString text) {
  return text.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\n'), ' ');
}

QDate DateOption(const QCommandLineParser& parser, const QString& name) {
  const QString text = parser.value(name);
  const QDate date = QDate::fromString(text, Qt::ISODate);
  if (!date.isValid() || date.toString(Qt::ISODate) != text) {
    throw UsageError(QStringLiteral("--%1 needs a date like 2026-12-31, not '%2'").arg(name, text));
  }
  return date;
}

// The profile to report: a saved one, changed by the options given, or one
// made from the options alone.
ReportProfile ReportOptions(const QCommandLineParser& parser, const QString& name,
                            const ProfileStore& profiles) {
  ReportProfile profile;
  profile.formats = kCsvFormat;
  if (!name.isEmpty()) {
    try {
      ProfileStore::CheckName(name);
    } catch (const ProfileError& e) {
      throw UsageError(e.Message());
    }
    if (!profiles.Exists(name)) {
      throw UsageError(
          QStringLiteral("there is no report profile \"%1\" in %2").arg(name, profiles.Root()));
    }
    profile = profiles.Load(name);  // a damaged file is an error, not bad usage
  }
  const bool from = parser.isSet(QStringLiteral("from"));
  const bool to = parser.isSet(QStringLiteral("to"));
  const bool period = parser.isSet(QStringLiteral("period"));
  if (from != to) {
    throw UsageError(QStringLiteral("--from and --to go together"));
  }
  if (from && period) {
    throw UsageError(QStringLiteral("give either --period or --from and --to"));
  }
  if (name.isEmpty() && !from && !period) {
    throw UsageError(QStringLiteral("--report needs a PROFILE, --period or --from and --to"));
  }
  if (from) {
    profile.period.kind = PeriodKind::kRange;
    profile.period.from = DateOption(parser, QStringLiteral("from"));
    profile.period.to = DateOption(parser, QStringLiteral("to"));
  }
  if (period) {
    const std::optional<PeriodKind> kind =
        ReportPeriod::KindFromName(parser.value(QStringLiteral("period")));
    if (!kind || *kind == PeriodKind::kRange) {
      throw UsageError(
          QStringLiteral("--period is one of today, yesterday, this-week, "
                         "last-7-days, this-month, last-month"));
    }
    profile.period = ReportPeriod{*kind, {}, {}};
  }
  if (parser.isSet(QStringLiteral("group"))) {
    const std::optional<Grouping> grouping =
        Groupings::FromName(parser.value(QStringLiteral("group")));
    if (!grouping) {
      throw UsageError(QStringLiteral("--group is one of ") +
                       Groupings::Names().join(QStringLiteral(", ")));
    }
    profile.grouping = *grouping;
  }
  try {
    if (parser.isSet(QStringLiteral("values"))) {
      profile.values = Flags::FromNames(
          parser.value(QStringLiteral("values")).split(QLatin1Char(','), Qt::SkipEmptyParts),
          Flags::ValueNames(), QStringLiteral("--values"));
    }
    if (parser.isSet(QStringLiteral("format"))) {
      const QString format = parser.value(QStringLiteral("format"));
      profile.formats =
          Flags::FromNames({format}, Flags::FormatNames(), QStringLiteral("--format"));
    }
    if (parser.isSet(QStringLiteral("quota"))) {
      Quota quota = profile.quota.value_or(Quota{});
      quota.bytes = ParseSize(parser.value(QStringLiteral("quota")));
      profile.quota = quota;
    }
    if (parser.isSet(QStringLiteral("quota-start"))) {
      if (!profile.quota) {
        throw UsageError(QStringLiteral("--quota-start needs a quota"));
      }
      bool ok = false;
      profile.quota->startDay = parser.value(QStringLiteral("quota-start")).toInt(&ok);
      if (!ok || profile.quota->startDay < 1 || profile.quota->startDay > 31) {
        throw UsageError(QStringLiteral("--quota-start needs a day from 1 to 31"));
      }
    }
    profile.Validate();
  } catch (const ProfileError& e) {
    throw UsageError(e.Message());
  }
  return profile;
}

}  // namespace

// `velmar --report ...`, run by velmar-headless: Qt Core only.
int RunReport() {
  QTextStream err(stderr);

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Velmar 2000 usage report, to standard output unless --output is given."));
  parser.addHelpOption();
  parser.addPositionalArgument(QStringLiteral("PROFILE"),
                               QStringLiteral("A report profile made with the wizard."),
                               QStringLiteral("[PROFILE]"));
  parser.addOption({QStringLiteral("report"), QStringLiteral("Make a usage report.")});
  parser.addOption({QStringLiteral("period"),
                    QStringLiteral("today, yesterday, this-week, last-7-days, this-month or "
                                   "last-month."),
                    QStringLiteral("PERIOD")});
  parser.addOption({QStringLiteral("from"), QStringLiteral("The first day, YYYY-MM-DD."),
                    QStringLiteral("DATE")});
  parser.addOption(
      {QStringLiteral("to"), QStringLiteral("The last day, YYYY-MM-DD."), QStringLiteral("DATE")});
  parser.addOption({QStringLiteral("group"),
                    QStringLiteral("5min, hour, day, week or month (default: day)."),
                    QStringLiteral("GROUPING")});
  parser.addOption({QStringLiteral("format"),
                    QStringLiteral("csv, json or html (default: the profile's first, else csv)."),
                    QStringLiteral("FORMAT")});
  parser.addOption({QStringLiteral("values"),
                    QStringLiteral("Which values, comma-separated: down, up, total, average, "
                                   "peak, active, alarms (default: all)."),
                    QStringLiteral("LIST")});
  parser.addOption({QStringLiteral("quota"),
                    QStringLiteral("A monthly quota to compare with, e.g. 50GB."),
                    QStringLiteral("SIZE")});
  parser.addOption({QStringLiteral("quota-start"),
                    QStringLiteral("The day the quota month starts on (default: 1)."),
                    QStringLiteral("DAY")});
  parser.addOption({QStringLiteral("output"),
                    QStringLiteral("Write the report to FILE (whole or not at all)."),
                    QStringLiteral("FILE")});

  try {
    if (!parser.parse(QCoreApplication::arguments())) {
      throw UsageError(parser.errorText());
    }
    if (parser.isSet(QStringLiteral("help"))) {
      QTextStream(stdout) << parser.helpText();
      return 0;
    }
    const QStringList names = parser.positionalArguments();
    if (names.size() > 1) {
      throw UsageError(QStringLiteral("one PROFILE at most, not: ") + names.join(QLatin1Char(' ')));
    }
    const ProfileStore profiles(ProfileStore::DefaultRoot());
    const QString name = names.value(0);
    const ReportProfile profile = ReportOptions(parser, name, profiles);

    SettingsList settings;
    if (!settings.LoadComplete(SettingsList::FilePath())) {
      settings.SetLines(SettingsList::DefaultLines());
    }
    ReportSources sources;
    sources.storePath = KeyStore::DefaultPath();
    sources.dateFormat = QLocale::system().dateFormat(QLocale::ShortFormat);
    sources.now = QDateTime::currentDateTime();
    sources.kilobitMode = settings.KilobitMode();
    const Report report = ReportGenerator::Make(name, profile, sources);
    // The first format of those chosen, in the order html, csv, json.
    ReportFormat format = kCsvFormat;
    for (const ReportFormat f : {kHtmlFormat, kCsvFormat, kJsonFormat}) {
      if (profile.formats & f) {
        format = f;
        break;
      }
    }
    const QByteArray bytes = ReportGenerator::Render(report, format);
    if (parser.isSet(QStringLiteral("output"))) {
      WriteFileAtomically(parser.value(QStringLiteral("output")), bytes);
    } else {
      QFile out;
      if (!out.open(stdout, QIODevice::WriteOnly) || out.write(bytes) != bytes.size() ||
          !out.flush()) {
        throw Exception(QStringLiteral("cannot write to standard output"));
      }
    }
  } catch (const UsageError& e) {
    err << "velmar: " << OneLine(e.Message()) << Qt::endl;
    return 2;
  } catch (const std::exception& e) {
    err << "velmar: " << OneLine(QString::fromUtf8(e.what())) << Qt::endl;
    return 1;
  }
  return 0;
}

}  // namespace velmar
