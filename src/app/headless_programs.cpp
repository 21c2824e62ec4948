#include "app/headless_programs.h"

#include <QDateTime>

#include "measure/measurement_state.h"
#include "metrics/metrics_exporter.h"
#include "programs/program_lines.h"

namespace velmar {

HeadlessPrograms::HeadlessPrograms(const MeasurementState& state, Options options, QTextStream& out,
                                   QTextStream& err)
    : state_(state),
      options_(std::move(options)),
      out_(out),
      err_(err),
      series_(options_.top),
      history_(options_.top) {}

void HeadlessPrograms::Tick() {
  if (failed_) {
    return;
  }
  const auto now = programs::ProgramFeed::Clock::now();
  try {
    if (!feed_) {
      programs::ProgramFeed::Options feedOptions;
      feedOptions.helper = options_.helper.toStdString();
      feed_ = std::make_unique<programs::ProgramFeed>(std::move(feedOptions));
    }
    if (!feed_->Update(state_.CountedDownBytes, state_.CountedUpBytes, now)) {
      return;
    }
  } catch (const std::exception& e) {
    // The meter measures on without its programs.
    err_ << "velmar: per-program figures stop: " << e.what() << Qt::endl;
    failed_ = true;
    return;
  }
  history_.Read(feed_->Rows());
  if (options_.print) {
    const auto rows = programs::TopPrograms(feed_->Rows(), options_.top);
    const QDateTime time = QDateTime::currentDateTime();
    if (options_.json) {
      out_ << programs::FormatProgramsJson(time, rows, feed_->Precise(),
                                           QString::fromStdString(feed_->NotAttributedText()))
           << Qt::endl;
    } else {
      out_ << programs::FormatProgramsText(time.toString(QStringLiteral("HH:mm:ss")), rows,
                                           state_.KilobitMode);
      out_.flush();
    }
  }
  if (exporter_ != nullptr) {
    series_.Update(feed_->Rows(), now);
    // The series' creation on the wall clock, for the counters' _created.
    const double wall = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000;
    std::vector<MetricsSnapshot::Program> served;
    for (const auto& s : series_.All()) {
      served.push_back({QString::fromStdString(s.label), s.received, s.transmitted,
                        wall - std::chrono::duration<double>(now - s.created).count()});
    }
    exporter_->SetPrograms(std::move(served));
  }
}

}  // namespace velmar
