#include "report/report_command_line.h"

#include <QDate>

namespace velmar {

ReportCommandLine::ReportCommandLine() {
  parser_.setApplicationDescription(
      QStringLiteral("Velmar 2000 usage report, to standard output unless --output is given."));
  parser_.addHelpOption();
  parser_.addPositionalArgument(QStringLiteral("PROFILE"),
                                QStringLiteral("A report profile made with the wizard."),
                                QStringLiteral("[PROFILE]"));
  parser_.addOption({QStringLiteral("report"), QStringLiteral("Make a usage report.")});
  parser_.addOption({QStringLiteral("period"),
                     QStringLiteral("today, yesterday, this-week, last-7-days, this-month or "
                                    "last-month."),
                     QStringLiteral("PERIOD")});
  parser_.addOption({QStringLiteral("from"), QStringLiteral("The first day, YYYY-MM-DD."),
                     QStringLiteral("DATE")});
  parser_.addOption(
      {QStringLiteral("to"), QStringLiteral("The last day, YYYY-MM-DD."), QStringLiteral("DATE")});
  parser_.addOption({QStringLiteral("group"),
                     QStringLiteral("5min, hour, day, week, month or program (default: day)."),
                     QStringLiteral("GROUPING")});
  parser_.addOption({QStringLiteral("format"),
                     QStringLiteral("csv, json or html (default: the profile's first, else csv)."),
                     QStringLiteral("FORMAT")});
  parser_.addOption({QStringLiteral("values"),
                     QStringLiteral("Which values, comma-separated: down, up, total, average, "
                                    "peak, active, alarms (default: all)."),
                     QStringLiteral("LIST")});
  parser_.addOption({QStringLiteral("quota"),
                     QStringLiteral("A monthly quota to compare with, e.g. 50GB."),
                     QStringLiteral("SIZE")});
  parser_.addOption({QStringLiteral("quota-start"),
                     QStringLiteral("The day the quota month starts on (default: 1)."),
                     QStringLiteral("DAY")});
  parser_.addOption({QStringLiteral("output"),
                     QStringLiteral("Write the report to FILE (whole or not at all)."),
                     QStringLiteral("FILE")});
}

ReportRequest ReportCommandLine::Parse(const QStringList& arguments, const ProfileStore& profiles) {
  if (!parser_.parse(arguments)) {
    throw ReportUsageError(parser_.errorText());
  }
  ReportRequest request;
  if (parser_.isSet(QStringLiteral("help"))) {
    request.help = true;
    return request;
  }
  const QStringList names = parser_.positionalArguments();
  if (names.size() > 1) {
    throw ReportUsageError(QStringLiteral("one PROFILE at most, not: ") +
                           names.join(QLatin1Char(' ')));
  }
  request.name = names.value(0);
  request.profile = Options(request.name, profiles);
  if (parser_.isSet(QStringLiteral("output"))) {
    request.output = parser_.value(QStringLiteral("output"));
  }
  return request;
}

QDate ReportCommandLine::DateOption(const QString& name) const {
  const QString text = parser_.value(name);
  const QDate date = QDate::fromString(text, Qt::ISODate);
  if (!date.isValid() || date.toString(Qt::ISODate) != text) {
    throw ReportUsageError(
        QStringLiteral("--%1 needs a date like 2026-12-31, not '%2'").arg(name, text));
  }
  return date;
}

// The profile to report: a saved one, changed by the options given, or one
// made from the options alone.
ReportProfile ReportCommandLine::Options(const QString& name, const ProfileStore& profiles) const {
  ReportProfile profile = SavedProfile(name, profiles);
  ApplyPeriod(profile, !name.isEmpty());
  try {
    ApplyContents(profile);
    profile.Validate();
  } catch (const ProfileError& e) {
    throw ReportUsageError(e.Message());
  }
  return profile;
}

// The profile of that name, or the defaults (CSV) when none is named.
ReportProfile ReportCommandLine::SavedProfile(const QString& name,
                                              const ProfileStore& profiles) const {
  ReportProfile profile;
  profile.formats = kCsvFormat;
  if (name.isEmpty()) {
    return profile;
  }
  try {
    ProfileStore::CheckName(name);
  } catch (const ProfileError& e) {
    throw ReportUsageError(e.Message());
  }
  if (!profiles.Exists(name)) {
    throw ReportUsageError(
        QStringLiteral("there is no report profile \"%1\" in %2").arg(name, profiles.Root()));
  }
  return profiles.Load(name);  // a damaged file is an error, not bad usage
}

// --period, or --from with --to; one of them when no profile is named.
void ReportCommandLine::ApplyPeriod(ReportProfile& profile, bool named) const {
  const bool from = parser_.isSet(QStringLiteral("from"));
  const bool to = parser_.isSet(QStringLiteral("to"));
  const bool period = parser_.isSet(QStringLiteral("period"));
  if (from != to) {
    throw ReportUsageError(QStringLiteral("--from and --to go together"));
  }
  if (from && period) {
    throw ReportUsageError(QStringLiteral("give either --period or --from and --to"));
  }
  if (!named && !from && !period) {
    throw ReportUsageError(QStringLiteral("--report needs a PROFILE, --period or --from and --to"));
  }
  if (from) {
    profile.period.kind = PeriodKind::kRange;
    profile.period.from = DateOption(QStringLiteral("from"));
    profile.period.to = DateOption(QStringLiteral("to"));
  }
  if (period) {
    const std::optional<PeriodKind> kind =
        ReportPeriod::KindFromName(parser_.value(QStringLiteral("period")));
    if (!kind || *kind == PeriodKind::kRange) {
      throw ReportUsageError(
          QStringLiteral("--period is one of today, yesterday, this-week, "
                         "last-7-days, this-month, last-month"));
    }
    profile.period = ReportPeriod{*kind, {}, {}};
  }
}

// --group, --values, --format, --quota and --quota-start.
void ReportCommandLine::ApplyContents(ReportProfile& profile) const {
  if (parser_.isSet(QStringLiteral("group"))) {
    const std::optional<Grouping> grouping =
        Groupings::FromName(parser_.value(QStringLiteral("group")));
    if (!grouping) {
      throw ReportUsageError(QStringLiteral("--group is one of ") +
                             Groupings::Names().join(QStringLiteral(", ")));
    }
    profile.grouping = *grouping;
  }
  if (parser_.isSet(QStringLiteral("values"))) {
    profile.values = Flags::FromNames(
        parser_.value(QStringLiteral("values")).split(QLatin1Char(','), Qt::SkipEmptyParts),
        Flags::ValueNames(), QStringLiteral("--values"));
  }
  if (parser_.isSet(QStringLiteral("format"))) {
    const QString format = parser_.value(QStringLiteral("format"));
    profile.formats = Flags::FromNames({format}, Flags::FormatNames(), QStringLiteral("--format"));
  }
  if (parser_.isSet(QStringLiteral("quota"))) {
    Quota quota = profile.quota.value_or(Quota{});
    quota.bytes = ParseSize(parser_.value(QStringLiteral("quota")));
    profile.quota = quota;
  }
  if (parser_.isSet(QStringLiteral("quota-start"))) {
    if (!profile.quota) {
      throw ReportUsageError(QStringLiteral("--quota-start needs a quota"));
    }
    bool ok = false;
    profile.quota->startDay = parser_.value(QStringLiteral("quota-start")).toInt(&ok);
    if (!ok || profile.quota->startDay < 1 || profile.quota->startDay > 31) {
      throw ReportUsageError(QStringLiteral("--quota-start needs a day from 1 to 31"));
    }
  }
}

}  // namespace velmar
