#include "metrics/exposition.h"

#include <zlib.h>

#include <QList>
#include <QLocale>
#include <cmath>
#include <new>
#include <utility>
#include <vector>

namespace velmar {

namespace {

using Labels = std::vector<std::pair<const char*, QString>>;

// One metric family: its name without the "_total"/"_info" suffix (the
// OpenMetrics family name), its type, the unit its name ends with, its help.
struct Family {
  const char* name;
  const char* type;  // "counter", "gauge" or "info"
  const char* unit;  // "" for none
  const char* help;
};

constexpr Family kBuild{"velmar_build", "info", "", "The meter's version."};
constexpr Family kInterfaceReceive{
    "velmar_interface_receive_bytes", "counter", "bytes",
    "Bytes the interface received, by its own counter: the kernel's on this computer, "
    "ifHCInOctets on a device (ifInOctets where it has only 32-bit counters, which wrap)."};
constexpr Family kInterfaceTransmit{
    "velmar_interface_transmit_bytes", "counter", "bytes",
    "Bytes the interface sent, by its own counter: the kernel's on this computer, "
    "ifHCOutOctets on a device (ifOutOctets where it has only 32-bit counters, which wrap)."};
constexpr Family kInterfaceReceivePackets{
    "velmar_interface_receive_packets", "counter", "",
    "Packets the interface received, by kind (unicast, multicast, broadcast), by its own "
    "counters (64-bit where the device has them, else 32-bit, which wrap)."};
constexpr Family kInterfaceTransmitPackets{
    "velmar_interface_transmit_packets", "counter", "",
    "Packets the interface sent, by kind (unicast, multicast, broadcast), by its own counters "
    "(64-bit where the device has them, else 32-bit, which wrap). Linux counts sent packets "
    "of every kind together: on this computer they are all \"unicast\"."};
constexpr Family kInterfaceReceiveErrors{"velmar_interface_receive_errors", "counter", "",
                                         "Received packets the interface found in error."};
constexpr Family kInterfaceTransmitErrors{"velmar_interface_transmit_errors", "counter", "",
                                          "Packets the interface could not send for errors."};
constexpr Family kInterfaceReceiveDiscards{
    "velmar_interface_receive_discards", "counter", "",
    "Received packets dropped without an error (no room, no handler)."};
constexpr Family kInterfaceTransmitDiscards{"velmar_interface_transmit_discards", "counter", "",
                                            "Packets to send dropped without an error."};
constexpr Family kInterfaceOperStatus{
    "velmar_interface_oper_status", "gauge", "",
    "The interface's operational state by IF-MIB's numbers: 1 up, 2 down, 3 testing, "
    "4 unknown, 5 dormant, 6 notPresent, 7 lowerLayerDown."};
constexpr Family kInterfaceAdminStatus{
    "velmar_interface_admin_status", "gauge", "",
    "The state the interface was set to by IF-MIB's numbers: 1 up, 2 down, 3 testing."};
// In bytes, Prometheus's base unit (its lint refuses "bits" in a name):
// a link of 1 Gbit/s is 125000000.
constexpr Family kInterfaceSpeed{
    "velmar_interface_speed_bytes_per_second", "gauge", "bytes_per_second",
    "The interface's nominal speed (ifHighSpeed, else ifSpeed) in bytes per second; absent "
    "where it is not known."};
constexpr Family kInterfaceMtu{"velmar_interface_mtu_bytes", "gauge", "bytes",
                               "The largest packet the interface sends (ifMtu)."};
constexpr Family kCountedInAll{"velmar_interface_counted_in_all", "gauge", "",
                               "1 when the adapter \"All\" includes the interface, else 0."};
constexpr Family kDeviceUp{
    "velmar_device_up", "gauge", "",
    "1 when the device answered this scrape's poll, else 0 with the reason: timeout (no "
    "answer in time), refused (wrong secrets or a refusal), unreachable (no such host, a "
    "closed port), error (a wrong answer)."};
constexpr Family kDeviceScrapeSeconds{"velmar_device_scrape_duration_seconds", "gauge", "seconds",
                                      "How long the poll of the device took."};
constexpr Family kReceiveRate{"velmar_receive_rate_bytes_per_second", "gauge", "bytes_per_second",
                              "Current downstream rate of the monitored adapter."};
constexpr Family kTransmitRate{"velmar_transmit_rate_bytes_per_second", "gauge", "bytes_per_second",
                               "Current upstream rate of the monitored adapter."};
constexpr Family kReceiveAverage{"velmar_receive_average_bytes_per_second", "gauge",
                                 "bytes_per_second",
                                 "Downstream average of the monitored adapter, by the "
                                 "averaging algorithm chosen in the settings."};
constexpr Family kTransmitAverage{"velmar_transmit_average_bytes_per_second", "gauge",
                                  "bytes_per_second",
                                  "Upstream average of the monitored adapter, by the averaging "
                                  "algorithm chosen in the settings."};
constexpr Family kTraffic{"velmar_traffic_bytes", "counter", "bytes",
                          "The meter's traffic total: bytes received and sent by the monitored "
                          "adapter."};
constexpr Family kLastTick{"velmar_last_tick_timestamp_seconds", "gauge", "seconds",
                           "When the figures were measured (Unix time)."};
constexpr Family kAlarmEvents{"velmar_alarm_events", "counter", "",
                              "Alarm evaluations that found the condition."};
constexpr Family kPlanUsed{"velmar_plan_used_bytes", "gauge", "bytes",
                           "Bytes the data plan counts in its current period, including the "
                           "times the meter did not run."};
constexpr Family kPlanLimit{"velmar_plan_limit_bytes", "gauge", "bytes",
                            "The data plan's limit for a period."};
constexpr Family kPlanEnd{"velmar_plan_period_end_timestamp_seconds", "gauge", "seconds",
                          "When the data plan's current period ends (Unix time)."};
constexpr Family kProgramReceive{"velmar_program_receive_bytes", "counter", "bytes",
                                 "Bytes received by the program's sockets (the busiest programs "
                                 "by executable; \"other\" holds the rest)."};
constexpr Family kProgramTransmit{"velmar_program_transmit_bytes", "counter", "bytes",
                                  "Bytes sent by the program's sockets (the busiest programs by "
                                  "executable; \"other\" holds the rest)."};
constexpr Family kHttpResponses{"velmar_http_responses", "counter", "",
                                "Responses of the metrics endpoint by status code."};
// As Prometheus's client libraries name and describe them, so the usual
// dashboards and alerts read them.
constexpr Family kProcessCpu{"process_cpu_seconds", "counter", "seconds",
                             "Total user and system CPU time spent in seconds."};
constexpr Family kProcessStart{"process_start_time_seconds", "gauge", "seconds",
                               "Start time of the process since unix epoch in seconds."};
constexpr Family kProcessResident{"process_resident_memory_bytes", "gauge", "bytes",
                                  "Resident memory size in bytes."};
constexpr Family kProcessVirtual{"process_virtual_memory_bytes", "gauge", "bytes",
                                 "Virtual memory size in bytes."};
constexpr Family kProcessOpenFds{"process_open_fds", "gauge", "",
                                 "Number of open file descriptors."};
constexpr Family kProcessMaxFds{"process_max_fds", "gauge", "",
                                "Maximum number of open file descriptors."};
constexpr Family kHttpDropped{"velmar_http_connections_dropped", "counter", "",
                              "Connections the metrics endpoint closed early: clients too slow "
                              "or idle (timeout), too many at once (limit), or failing the TLS "
                              "handshake (handshake)."};

class Writer {
 public:
  explicit Writer(Exposition::Format format)
      : openMetrics_(format == Exposition::Format::kOpenMetrics) {}

  void Begin(const Family& family) {
    family_ = &family;
    const QByteArray name = SampleName();
    const QByteArray type = !openMetrics_ && IsInfo() ? "gauge" : family.type;
    if (openMetrics_) {
      // OpenMetrics names the family without its sample suffix.
      out_ += "# TYPE " + QByteArray(family.name) + ' ' + type + '\n';
      if (*family.unit != '\0') {
        out_ += "# UNIT " + QByteArray(family.name) + ' ' + family.unit + '\n';
      }
      out_ += "# HELP " + QByteArray(family.name) + ' ' +
              Exposition::EscapeHelp(family.help, Exposition::Format::kOpenMetrics) + '\n';
    } else {
      out_ += "# HELP " + name + ' ' +
              Exposition::EscapeHelp(family.help, Exposition::Format::kPrometheusText) + '\n';
      out_ += "# TYPE " + name + ' ' + type + '\n';
    }
  }

  // The family's main sample; a counter's creation time follows it in
  // OpenMetrics.
  void Sample(Labels labels, const QByteArray& value, double created = 0) {
    Line(SampleName(), labels, value);
    if (openMetrics_ && IsCounter() && created > 0) {
      Line(QByteArray(family_->name) + "_created", labels,
           Exposition::Number(std::round(created * 1000) / 1000));
    }
  }

  QByteArray Finish() {
    if (openMetrics_) {
      out_ += "# EOF\n";
    }
    return std::move(out_);
  }

 private:
  bool IsCounter() const { return qstrcmp(family_->type, "counter") == 0; }
  bool IsInfo() const { return qstrcmp(family_->type, "info") == 0; }

  QByteArray SampleName() const {
    QByteArray name(family_->name);
    if (IsCounter()) {
      name += "_total";
    } else if (IsInfo()) {
      name += "_info";
    }
    return name;
  }

  void Line(const QByteArray& name, Labels labels, const QByteArray& value) {
    out_ += name;
    if (labels.size() != 0) {
      out_ += '{';
      bool first = true;
      for (const auto& [label, text] : labels) {
        if (!first) {
          out_ += ',';
        }
        first = false;
        out_ += label;
        out_ += "=\"";
        out_ += Exposition::EscapeLabelValue(text);
        out_ += '"';
      }
      out_ += '}';
    }
    out_ += ' ';
    out_ += value;
    out_ += '\n';
  }

  bool openMetrics_;
  const Family* family_ = nullptr;
  QByteArray out_;
};

}  // namespace

QByteArray Exposition::EscapeLabelValue(const QString& value) {
  const QByteArray utf8 = value.toUtf8();
  QByteArray escaped;
  escaped.reserve(utf8.size());
  for (const char c : utf8) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '"':
        escaped += "\\\"";
        break;
      case '\n':
        escaped += "\\n";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

QByteArray Exposition::EscapeHelp(QByteArrayView help, Format format) {
  QByteArray escaped;
  escaped.reserve(help.size());
  for (const char c : help) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '"' && format == Format::kOpenMetrics) {
      escaped += "\\\"";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

QByteArray Exposition::Number(double value) {
  if (std::isnan(value)) {
    return "NaN";
  }
  if (std::isinf(value)) {
    return value > 0 ? "+Inf" : "-Inf";
  }
  // Whole numbers as integers ("1700000000", not "1.7e+09"), as far as a
  // double holds them exactly.
  if (value == std::floor(value) && std::fabs(value) < 9007199254740992.0) {
    return QByteArray::number(static_cast<qint64>(value));
  }
  return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

namespace {

// The labels that name one interface: the device first where there is one.
Labels InterfaceLabels(const InterfaceFigures& i, const QString& device) {
  Labels labels;
  if (!device.isEmpty()) {
    labels.emplace_back("device", device);
  }
  labels.emplace_back("interface", i.name);
  labels.emplace_back("ifindex", QString::number(i.index));
  return labels;
}

void RenderDeviceState(Writer& w, const InterfaceGathering& gathering, const QString& device) {
  w.Begin(kDeviceUp);
  if (gathering.answered) {
    w.Sample({{"device", device}}, "1");
  } else {
    w.Sample({{"device", device}, {"reason", gathering.reason}}, "0");
  }
  w.Begin(kDeviceScrapeSeconds);
  w.Sample({{"device", device}}, Exposition::Number(std::round(gathering.seconds * 1e6) / 1e6));
}

// One family over every interface that has the figure `value` gives.
template <typename Value>
void InterfaceFamily(Writer& w, const Family& family, const std::vector<InterfaceFigures>& all,
                     const QString& device, Value value) {
  bool begun = false;
  for (const InterfaceFigures& i : all) {
    const std::optional<QByteArray> v = value(i);
    if (!v) {
      continue;
    }
    if (!begun) {
      w.Begin(family);
      begun = true;
    }
    w.Sample(InterfaceLabels(i, device), *v);
  }
}

void PacketFamily(Writer& w, const Family& family, const std::vector<InterfaceFigures>& all,
                  const QString& device, InterfaceFigures::Counter first) {
  static const char* const kKinds[] = {"unicast", "multicast", "broadcast"};
  bool begun = false;
  for (const InterfaceFigures& i : all) {
    for (int k = 0; k < 3; ++k) {
      const auto& v = i.counters[static_cast<size_t>(first + k)];
      if (!v) {
        continue;
      }
      if (!begun) {
        w.Begin(family);
        begun = true;
      }
      Labels labels = InterfaceLabels(i, device);
      labels.emplace_back("kind", QString::fromLatin1(kKinds[k]));
      w.Sample(labels, Exposition::Number(*v));
    }
  }
}

void RenderInterfaces(Writer& w, const InterfaceGathering& gathering, const QString& device,
                      const MetricsSnapshot* meter) {
  using F = InterfaceFigures;
  const auto& all = gathering.interfaces;
  const auto counter = [](F::Counter c) {
    return [c](const F& i) -> std::optional<QByteArray> {
      const auto& v = i.counters[c];
      return v ? std::optional(Exposition::Number(*v)) : std::nullopt;
    };
  };
  InterfaceFamily(w, kInterfaceReceive, all, device, counter(F::kReceiveBytes));
  InterfaceFamily(w, kInterfaceTransmit, all, device, counter(F::kTransmitBytes));
  PacketFamily(w, kInterfaceReceivePackets, all, device, F::kReceiveUnicast);
  PacketFamily(w, kInterfaceTransmitPackets, all, device, F::kTransmitUnicast);
  InterfaceFamily(w, kInterfaceReceiveErrors, all, device, counter(F::kReceiveErrors));
  InterfaceFamily(w, kInterfaceTransmitErrors, all, device, counter(F::kTransmitErrors));
  InterfaceFamily(w, kInterfaceReceiveDiscards, all, device, counter(F::kReceiveDiscards));
  InterfaceFamily(w, kInterfaceTransmitDiscards, all, device, counter(F::kTransmitDiscards));
  const auto number = [](const auto& member) {
    return [member](const F& i) -> std::optional<QByteArray> {
      const auto& v = i.*member;
      return v ? std::optional(Exposition::Number(static_cast<double>(*v))) : std::nullopt;
    };
  };
  InterfaceFamily(w, kInterfaceOperStatus, all, device, number(&F::operStatus));
  InterfaceFamily(w, kInterfaceAdminStatus, all, device, number(&F::adminStatus));
  InterfaceFamily(w, kInterfaceSpeed, all, device, [](const F& i) -> std::optional<QByteArray> {
    return i.speedBitsPerSecond
               ? std::optional(Exposition::Number(static_cast<double>(*i.speedBitsPerSecond) / 8))
               : std::nullopt;
  });
  InterfaceFamily(w, kInterfaceMtu, all, device, number(&F::mtu));
  // Whether "All" counts an interface: the meter's own word, by index,
  // else what the source decided.
  InterfaceFamily(w, kCountedInAll, all, device, [meter](const F& i) -> std::optional<QByteArray> {
    if (meter == nullptr) {
      return i.countedInAll ? std::optional(QByteArray(*i.countedInAll ? "1" : "0")) : std::nullopt;
    }
    for (const auto& m : meter->interfaces) {
      if (m.index == i.index) {
        return QByteArray(m.countedInAll ? "1" : "0");
      }
    }
    return std::nullopt;
  });
}

void RenderProcess(Writer& w, const ProcessFigures& process) {
  const auto gauge = [&w](const Family& family, const auto& figure) {
    if (figure) {
      w.Begin(family);
      w.Sample({}, Exposition::Number(*figure));
    }
  };
  gauge(kProcessCpu, process.cpuSeconds);
  gauge(kProcessStart, process.startTime);
  gauge(kProcessResident, process.residentBytes);
  gauge(kProcessVirtual, process.virtualBytes);
  gauge(kProcessOpenFds, process.openFds);
  gauge(kProcessMaxFds, process.maxFds);
}

}  // namespace

QByteArray Exposition::RenderDevice(const QString& device, const InterfaceGathering& gathering,
                                    Format format) {
  Writer w(format);
  RenderDeviceState(w, gathering, device);
  RenderInterfaces(w, gathering, device, nullptr);
  return w.Finish();
}

QByteArray Exposition::Render(const MetricsSnapshot& snapshot, const ServerCounters& server,
                              Format format, const ProcessFigures& process,
                              const InterfaceGathering* interfaces, const QString& device) {
  Writer w(format);
  w.Begin(kBuild);
  w.Sample({{"version", snapshot.version}}, "1");
  if (interfaces != nullptr && !device.isEmpty()) {
    RenderDeviceState(w, *interfaces, device);
  }

  // The interfaces' own counters need no tick of the meter.
  if (interfaces != nullptr) {
    RenderInterfaces(w, *interfaces, device, &snapshot);
  }
  if (snapshot.measured) {
    w.Begin(kReceiveRate);
    w.Sample({{"adapter", snapshot.adapter}}, Number(snapshot.receiveRate));
    w.Begin(kTransmitRate);
    w.Sample({{"adapter", snapshot.adapter}}, Number(snapshot.transmitRate));
    w.Begin(kReceiveAverage);
    w.Sample({{"adapter", snapshot.adapter}, {"algorithm", snapshot.algorithm}},
             Number(snapshot.receiveAverage));
    w.Begin(kTransmitAverage);
    w.Sample({{"adapter", snapshot.adapter}, {"algorithm", snapshot.algorithm}},
             Number(snapshot.transmitAverage));
    w.Begin(kTraffic);
    w.Sample({{"adapter", snapshot.adapter}}, Number(snapshot.trafficBytes),
             snapshot.trafficCreated);
    w.Begin(kLastTick);
    w.Sample({}, Number(std::round(snapshot.tickTime * 1000) / 1000));
  }

  if (!snapshot.alarms.empty()) {
    w.Begin(kAlarmEvents);
    for (const auto& a : snapshot.alarms) {
      w.Sample({{"condition", a.condition}}, Number(a.events), a.created);
    }
  }

  if (snapshot.plan) {
    w.Begin(kPlanUsed);
    w.Sample({}, Number(snapshot.plan->usedBytes));
    w.Begin(kPlanLimit);
    w.Sample({}, Number(snapshot.plan->limitBytes));
    w.Begin(kPlanEnd);
    w.Sample({}, Number(snapshot.plan->periodEnd));
  }
  if (!snapshot.programs.empty()) {
    w.Begin(kProgramReceive);
    for (const auto& p : snapshot.programs) {
      w.Sample({{"program", p.label}}, Number(p.received), p.created);
    }
    w.Begin(kProgramTransmit);
    for (const auto& p : snapshot.programs) {
      w.Sample({{"program", p.label}}, Number(p.transmitted), p.created);
    }
  }

  w.Begin(kHttpResponses);
  for (const auto& [code, count] : server.responses) {
    w.Sample({{"code", QString::number(code)}}, Number(count), server.created);
  }
  w.Begin(kHttpDropped);
  w.Sample({{"reason", QStringLiteral("timeout")}}, Number(server.droppedTimeout), server.created);
  w.Sample({{"reason", QStringLiteral("limit")}}, Number(server.droppedLimit), server.created);
  if (server.tls) {
    w.Sample({{"reason", QStringLiteral("handshake")}}, Number(server.droppedHandshake),
             server.created);
  }
  RenderProcess(w, process);
  return w.Finish();
}

namespace {

QByteArrayView Trimmed(QByteArrayView text) {
  while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t')) {
    text = text.sliced(1);
  }
  while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t')) {
    text.chop(1);
  }
  return text;
}

}  // namespace

Exposition::Format Exposition::Negotiate(QByteArrayView accept) {
  // The highest quality each format gets from any media range that
  // covers it; an exact range beats a wildcard.
  double openMetrics = 0;
  double text = 0;
  double textWildcard = 0;
  bool textExact = false;
  while (!accept.isEmpty()) {
    qsizetype comma = accept.indexOf(',');
    const QByteArrayView range = comma < 0 ? accept : accept.first(comma);
    accept = comma < 0 ? QByteArrayView() : accept.sliced(comma + 1);

    qsizetype semicolon = range.indexOf(';');
    const QByteArray type =
        Trimmed(semicolon < 0 ? range : range.first(semicolon)).toByteArray().toLower();
    double quality = 1;
    QByteArray version;
    QByteArrayView parameters = semicolon < 0 ? QByteArrayView() : range.sliced(semicolon + 1);
    while (!parameters.isEmpty()) {
      const qsizetype next = parameters.indexOf(';');
      const QByteArrayView parameter = next < 0 ? parameters : parameters.first(next);
      parameters = next < 0 ? QByteArrayView() : parameters.sliced(next + 1);
      const qsizetype equals = parameter.indexOf('=');
      if (equals < 0) {
        continue;
      }
      const QByteArray key = Trimmed(parameter.first(equals)).toByteArray().toLower();
      const QByteArrayView value = Trimmed(parameter.sliced(equals + 1));
      if (key == "q") {
        bool ok = false;
        quality = value.toByteArray().toDouble(&ok);
        if (!ok || quality < 0 || quality > 1) {
          quality = 0;
        }
      } else if (key == "version") {
        version = value.toByteArray();
      }
    }

    if (type == "application/openmetrics-text") {
      if (version.isEmpty() || version == "1.0.0" || version == "0.0.1") {
        openMetrics = std::max(openMetrics, quality);
      }
    } else if (type == "text/plain") {
      if (version.isEmpty() || version == "0.0.4") {
        text = std::max(text, quality);
        textExact = true;
      }
    } else if (type == "text/*" || type == "*/*") {
      textWildcard = std::max(textWildcard, quality);
    }
  }
  if (!textExact) {
    text = textWildcard;
  }
  return openMetrics > 0 && openMetrics > text ? Format::kOpenMetrics : Format::kPrometheusText;
}

bool Exposition::AcceptsGzip(QByteArrayView acceptEncoding) {
  double gzip = -1;
  double any = -1;
  for (const QByteArray& item : acceptEncoding.toByteArray().split(',')) {
    const QList<QByteArray> parts = item.split(';');
    const QByteArray coding = Trimmed(parts.front()).toByteArray().toLower();
    double quality = 1;
    for (qsizetype i = 1; i < parts.size(); ++i) {
      const QByteArray parameter = Trimmed(parts[i]).toByteArray().toLower();
      if (parameter.startsWith("q=")) {
        bool ok = false;
        quality = parameter.mid(2).toDouble(&ok);
        quality = ok ? quality : 0;
      }
    }
    if (coding == "gzip" || coding == "x-gzip") {
      gzip = std::max(gzip, quality);
    } else if (coding == "*") {
      any = std::max(any, quality);
    }
  }
  return gzip >= 0 ? gzip > 0 : any > 0;
}

QByteArray Exposition::Gzip(QByteArrayView body) {
  z_stream stream{};
  // 15 window bits, plus 16: a gzip header and trailer, not zlib's.
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    throw std::bad_alloc();
  }
  QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(body.size()))),
                 Qt::Uninitialized);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  stream.avail_in = static_cast<uInt>(body.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(static_cast<qsizetype>(stream.total_out));
  deflateEnd(&stream);
  if (result != Z_STREAM_END) {
    throw std::bad_alloc();  // the bound was not enough: never, by zlib's promise
  }
  return out;
}

}  // namespace velmar
