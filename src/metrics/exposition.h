#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "metrics/interface_figures.h"
#include "metrics/metrics_snapshot.h"
#include "metrics/process_figures.h"

namespace velmar {

// The exposition formats a scraper reads: Prometheus text 0.0.4 and
// OpenMetrics 1.0.0. Metric names follow Prometheus conventions: base
// units (bytes, seconds), "_total" on counters.
class Exposition {
 public:
  enum class Format { kPrometheusText, kOpenMetrics };

  static constexpr const char* kTextContentType = "text/plain; version=0.0.4; charset=utf-8";
  static constexpr const char* kOpenMetricsContentType =
      "application/openmetrics-text; version=1.0.0; charset=utf-8";

  // The process metrics (process_cpu_seconds_total, ...) follow the
  // meter's own, for the figures `process` holds. The interfaces' own
  // figures come from `interfaces` when given; a `device` names the device
  // they were read from (a `device` label, and whether it answered).
  static QByteArray Render(const MetricsSnapshot& snapshot, const ServerCounters& server,
                           Format format, const ProcessFigures& process = {},
                           const InterfaceGathering* interfaces = nullptr,
                           const QString& device = {});
  // What one device's scrape shows: whether it answered, how long that
  // took, and its interfaces, each labelled with `device`.
  static QByteArray RenderDevice(const QString& device, const InterfaceGathering& gathering,
                                 Format format);
  static const char* ContentType(Format format) {
    return format == Format::kOpenMetrics ? kOpenMetricsContentType : kTextContentType;
  }

  // The format an Accept header asks for: OpenMetrics only when it is
  // preferred over the text format (a higher quality value); the text
  // format when there is no header or nothing else matches.
  static Format Negotiate(QByteArrayView accept);
  // Whether an Accept-Encoding header takes gzip: named, or covered by
  // "*", with a quality above 0.
  static bool AcceptsGzip(QByteArrayView acceptEncoding);
  // The body gzip-compressed (RFC 1952).
  static QByteArray Gzip(QByteArrayView body);

  // A label value with backslash, double quote and line feed escaped.
  static QByteArray EscapeLabelValue(const QString& value);
  // A HELP text as the format wants it: backslash and line feed escaped,
  // and in OpenMetrics the double quote too.
  static QByteArray EscapeHelp(QByteArrayView help, Format format);
  // A sample value: whole numbers as integers, others in the shortest form
  // that reads back the same, NaN and +Inf/-Inf spelled as scrapers expect.
  static QByteArray Number(double value);
  static QByteArray Number(uint64_t value) { return QByteArray::number(value); }
};

}  // namespace velmar
