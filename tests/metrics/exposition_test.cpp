#include "metrics/exposition.h"
#include "metrics/interface_filter.h"
#include "metrics/metrics_server.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace velmar {
namespace {

MetricsSnapshot Sample() {
  MetricsSnapshot s;
  s.version = "9.8.7";
  s.measured = true;
  s.tickTime = 1700000001.2346;
  s.interfaces = {{1, "lo", false}, {2, "we\"ird\\na\nme", true}};
  s.adapter = "All";
  s.algorithm = "3-pole";
  s.receiveRate = 1250.5;
  s.transmitRate = 0;
  s.receiveAverage = 1e-7;
  s.transmitAverage = 123456789.25;
  s.trafficBytes = 3000;
  s.trafficCreated = 1700000000.25;
  return s;
}

// The interfaces' own figures: the loopback with everything, the other
// with its bytes and state alone, a third the meter has not seen.
InterfaceGathering Interfaces() {
  using F = InterfaceFigures;
  InterfaceGathering g;
  F lo;
  lo.index = 1;
  lo.name = "lo";
  for (int c = 0; c < F::kCounterCount; ++c) {
    lo.counters[static_cast<size_t>(c)] = 1000 + c;
  }
  lo.operStatus = 1;
  lo.adminStatus = 1;
  lo.mtu = 65536;
  F weird;
  weird.index = 2;
  weird.name = "we\"ird\\na\nme";
  weird.counters[F::kReceiveBytes] = std::numeric_limits<uint64_t>::max();
  weird.counters[F::kTransmitBytes] = 0;
  weird.operStatus = 7;
  weird.speedBitsPerSecond = 100000000000u;
  F unseen;
  unseen.index = 9;
  unseen.name = "new0";
  unseen.counters[F::kReceiveBytes] = 5;
  g.interfaces = {lo, weird, unseen};
  return g;
}

ServerCounters Server() {
  ServerCounters c;
  c.responses = {{200, 7}, {404, 1}};
  c.droppedTimeout = 2;
  c.created = 1699999999;
  return c;
}

TEST(ExpositionTest, PrometheusText) {
  const InterfaceGathering gathering = Interfaces();
  EXPECT_EQ(
      Exposition::Render(Sample(), Server(), Exposition::Format::kPrometheusText, {}, &gathering)
          .toStdString(),
      R"(# HELP velmar_build_info The meter's version.
# TYPE velmar_build_info gauge
velmar_build_info{version="9.8.7"} 1
# HELP velmar_interface_receive_bytes_total Bytes the interface received, by its own counter: the kernel's on this computer, ifHCInOctets on a device (ifInOctets where it has only 32-bit counters, which wrap).
# TYPE velmar_interface_receive_bytes_total counter
velmar_interface_receive_bytes_total{interface="lo",ifindex="1"} 1000
velmar_interface_receive_bytes_total{interface="we\"ird\\na\nme",ifindex="2"} 18446744073709551615
velmar_interface_receive_bytes_total{interface="new0",ifindex="9"} 5
# HELP velmar_interface_transmit_bytes_total Bytes the interface sent, by its own counter: the kernel's on this computer, ifHCOutOctets on a device (ifOutOctets where it has only 32-bit counters, which wrap).
# TYPE velmar_interface_transmit_bytes_total counter
velmar_interface_transmit_bytes_total{interface="lo",ifindex="1"} 1001
velmar_interface_transmit_bytes_total{interface="we\"ird\\na\nme",ifindex="2"} 0
# HELP velmar_interface_receive_packets_total Packets the interface received, by kind (unicast, multicast, broadcast), by its own counters (64-bit where the device has them, else 32-bit, which wrap).
# TYPE velmar_interface_receive_packets_total counter
velmar_interface_receive_packets_total{interface="lo",ifindex="1",kind="unicast"} 1002
velmar_interface_receive_packets_total{interface="lo",ifindex="1",kind="multicast"} 1003
velmar_interface_receive_packets_total{interface="lo",ifindex="1",kind="broadcast"} 1004
# HELP velmar_interface_transmit_packets_total Packets the interface sent, by kind (unicast, multicast, broadcast), by its own counters (64-bit where the device has them, else 32-bit, which wrap). Linux counts sent packets of every kind together: on this computer they are all "unicast".
# TYPE velmar_interface_transmit_packets_total counter
velmar_interface_transmit_packets_total{interface="lo",ifindex="1",kind="unicast"} 1005
velmar_interface_transmit_packets_total{interface="lo",ifindex="1",kind="multicast"} 1006
velmar_interface_transmit_packets_total{interface="lo",ifindex="1",kind="broadcast"} 1007
# HELP velmar_interface_receive_errors_total Received packets the interface found in error.
# TYPE velmar_interface_receive_errors_total counter
velmar_interface_receive_errors_total{interface="lo",ifindex="1"} 1008
# HELP velmar_interface_transmit_errors_total Packets the interface could not send for errors.
# TYPE velmar_interface_transmit_errors_total counter
velmar_interface_transmit_errors_total{interface="lo",ifindex="1"} 1009
# HELP velmar_interface_receive_discards_total Received packets dropped without an error (no room, no handler).
# TYPE velmar_interface_receive_discards_total counter
velmar_interface_receive_discards_total{interface="lo",ifindex="1"} 1010
# HELP velmar_interface_transmit_discards_total Packets to send dropped without an error.
# TYPE velmar_interface_transmit_discards_total counter
velmar_interface_transmit_discards_total{interface="lo",ifindex="1"} 1011
# HELP velmar_interface_oper_status The interface's operational state by IF-MIB's numbers: 1 up, 2 down, 3 testing, 4 unknown, 5 dormant, 6 notPresent, 7 lowerLayerDown.
# TYPE velmar_interface_oper_status gauge
velmar_interface_oper_status{interface="lo",ifindex="1"} 1
velmar_interface_oper_status{interface="we\"ird\\na\nme",ifindex="2"} 7
# HELP velmar_interface_admin_status The state the interface was set to by IF-MIB's numbers: 1 up, 2 down, 3 testing.
# TYPE velmar_interface_admin_status gauge
velmar_interface_admin_status{interface="lo",ifindex="1"} 1
# HELP velmar_interface_speed_bytes_per_second The interface's nominal speed (ifHighSpeed, else ifSpeed) in bytes per second; absent where it is not known.
# TYPE velmar_interface_speed_bytes_per_second gauge
velmar_interface_speed_bytes_per_second{interface="we\"ird\\na\nme",ifindex="2"} 12500000000
# HELP velmar_interface_mtu_bytes The largest packet the interface sends (ifMtu).
# TYPE velmar_interface_mtu_bytes gauge
velmar_interface_mtu_bytes{interface="lo",ifindex="1"} 65536
# HELP velmar_interface_counted_in_all 1 when the adapter "All" includes the interface, else 0.
# TYPE velmar_interface_counted_in_all gauge
velmar_interface_counted_in_all{interface="lo",ifindex="1"} 0
velmar_interface_counted_in_all{interface="we\"ird\\na\nme",ifindex="2"} 1
# HELP velmar_receive_rate_bytes_per_second Current downstream rate of the monitored adapter.
# TYPE velmar_receive_rate_bytes_per_second gauge
velmar_receive_rate_bytes_per_second{adapter="All"} 1250.5
# HELP velmar_transmit_rate_bytes_per_second Current upstream rate of the monitored adapter.
# TYPE velmar_transmit_rate_bytes_per_second gauge
velmar_transmit_rate_bytes_per_second{adapter="All"} 0
# HELP velmar_receive_average_bytes_per_second Downstream average of the monitored adapter, by the averaging algorithm chosen in the settings.
# TYPE velmar_receive_average_bytes_per_second gauge
velmar_receive_average_bytes_per_second{adapter="All",algorithm="3-pole"} 1e-07
# HELP velmar_transmit_average_bytes_per_second Upstream average of the monitored adapter, by the averaging algorithm chosen in the settings.
# TYPE velmar_transmit_average_bytes_per_second gauge
velmar_transmit_average_bytes_per_second{adapter="All",algorithm="3-pole"} 123456789.25
# HELP velmar_traffic_bytes_total The meter's traffic total: bytes received and sent by the monitored adapter.
# TYPE velmar_traffic_bytes_total counter
velmar_traffic_bytes_total{adapter="All"} 3000
# HELP velmar_last_tick_timestamp_seconds When the figures were measured (Unix time).
# TYPE velmar_last_tick_timestamp_seconds gauge
velmar_last_tick_timestamp_seconds 1700000001.235
# HELP velmar_http_responses_total Responses of the metrics endpoint by status code.
# TYPE velmar_http_responses_total counter
velmar_http_responses_total{code="200"} 7
velmar_http_responses_total{code="404"} 1
# HELP velmar_http_connections_dropped_total Connections the metrics endpoint closed early: clients too slow or idle (timeout), too many at once (limit), or failing the TLS handshake (handshake).
# TYPE velmar_http_connections_dropped_total counter
velmar_http_connections_dropped_total{reason="timeout"} 2
velmar_http_connections_dropped_total{reason="limit"} 0
)");
}

TEST(ExpositionTest, OpenMetricsWithCreationTimesAndAlarms) {
  MetricsSnapshot s = Sample();
  s.alarms = {{"receive_above", 3, 1700000000}, {"transmit_idle", 0, 1700000000}};
  InterfaceGathering gathering = Interfaces();
  gathering.interfaces.resize(1);
  const std::string text =
      Exposition::Render(s, Server(), Exposition::Format::kOpenMetrics, {}, &gathering)
          .toStdString();
  EXPECT_EQ(text.substr(0, text.find("# TYPE velmar_interface_receive_packets")),
            R"(# TYPE velmar_build info
# HELP velmar_build The meter's version.
velmar_build_info{version="9.8.7"} 1
# TYPE velmar_interface_receive_bytes counter
# UNIT velmar_interface_receive_bytes bytes
# HELP velmar_interface_receive_bytes Bytes the interface received, by its own counter: the kernel's on this computer, ifHCInOctets on a device (ifInOctets where it has only 32-bit counters, which wrap).
velmar_interface_receive_bytes_total{interface="lo",ifindex="1"} 1000
# TYPE velmar_interface_transmit_bytes counter
# UNIT velmar_interface_transmit_bytes bytes
# HELP velmar_interface_transmit_bytes Bytes the interface sent, by its own counter: the kernel's on this computer, ifHCOutOctets on a device (ifOutOctets where it has only 32-bit counters, which wrap).
velmar_interface_transmit_bytes_total{interface="lo",ifindex="1"} 1001
)") << "an interface's own counter has no creation time the meter knows";
  for (const char* expected :
       {"# TYPE velmar_receive_rate_bytes_per_second gauge\n"
        "# UNIT velmar_receive_rate_bytes_per_second bytes_per_second\n",
        "velmar_traffic_bytes_total{adapter=\"All\"} 3000\n"
        "velmar_traffic_bytes_created{adapter=\"All\"} 1700000000.25\n",
        "# TYPE velmar_alarm_events counter\n",
        "velmar_alarm_events_total{condition=\"receive_above\"} 3\n"
        "velmar_alarm_events_created{condition=\"receive_above\"} 1700000000\n"
        "velmar_alarm_events_total{condition=\"transmit_idle\"} 0\n",
        "# UNIT velmar_last_tick_timestamp_seconds seconds\n",
        "velmar_http_connections_dropped_total{reason=\"limit\"} 0\n"
        "velmar_http_connections_dropped_created{reason=\"limit\"} 1699999999\n# EOF\n"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }
  EXPECT_EQ(text.rfind("# EOF\n"), text.size() - 6) << "the end marker ends the exposition";
  // OpenMetrics escapes the double quote in descriptions; the text format
  // does not.
  EXPECT_NE(text.find("# HELP velmar_interface_counted_in_all 1 when the adapter \\\"All\\\" "),
            std::string::npos);
  EXPECT_EQ(Exposition::EscapeHelp("a \\ b\n\"c\"", Exposition::Format::kOpenMetrics),
            "a \\\\ b\\n\\\"c\\\"");
  EXPECT_EQ(Exposition::EscapeHelp("a \\ b\n\"c\"", Exposition::Format::kPrometheusText),
            "a \\\\ b\\n\"c\"");
  size_t created = 0;
  for (size_t at = text.find("_created{"); at != std::string::npos;
       at = text.find("_created{", at + 1)) {
    ++created;
  }
  EXPECT_EQ(created, 1u + 2u + 2u + 2u) << "counters only: total, alarms, endpoint";
  EXPECT_NE(text.find("on this computer they are all \\\"unicast\\\".\n"), std::string::npos)
      << "quotes escaped in every description";
}

TEST(ExpositionTest, BeforeTheFirstTickOnlyTheVersionAndTheEndpoint) {
  MetricsSnapshot empty;
  empty.version = "1.2.3";
  const QByteArray text = Exposition::Render(empty, {}, Exposition::Format::kPrometheusText);
  EXPECT_TRUE(text.contains("velmar_build_info{version=\"1.2.3\"} 1\n"));
  EXPECT_FALSE(text.contains("velmar_interface"));
  EXPECT_FALSE(text.contains("velmar_receive_rate"));
  EXPECT_FALSE(text.contains("velmar_alarm_events"));
  EXPECT_TRUE(text.contains("velmar_http_connections_dropped_total{reason=\"limit\"} 0\n"));
  // A measured meter without interfaces (no agent) still shows its rates.
  empty.measured = true;
  const QByteArray measured = Exposition::Render(empty, {}, Exposition::Format::kOpenMetrics);
  EXPECT_FALSE(measured.contains("velmar_interface"));
  EXPECT_TRUE(measured.contains("velmar_receive_rate_bytes_per_second{adapter=\"\"} 0\n"));
}

// The plan's three gauges are there with a plan only, whole bytes and the
// period's end in seconds, in both formats.
TEST(ExpositionTest, ThePlansFiguresOnlyWithAPlan) {
  MetricsSnapshot s = Sample();
  EXPECT_FALSE(Exposition::Render(s, {}, Exposition::Format::kPrometheusText).contains("plan"));
  s.plan = MetricsSnapshot::Plan{123456789012, 50000000000, 1798758000};
  const QByteArray text = Exposition::Render(s, {}, Exposition::Format::kPrometheusText);
  EXPECT_TRUE(
      text.contains("# TYPE velmar_plan_used_bytes gauge\nvelmar_plan_used_bytes 123456789012\n"))
      << text.toStdString();
  EXPECT_TRUE(text.contains("velmar_plan_limit_bytes 50000000000\n"));
  EXPECT_TRUE(text.contains("velmar_plan_period_end_timestamp_seconds 1798758000\n"));
  const QByteArray open = Exposition::Render(s, {}, Exposition::Format::kOpenMetrics);
  EXPECT_TRUE(open.contains("# UNIT velmar_plan_period_end_timestamp_seconds seconds\n"));
  EXPECT_TRUE(open.endsWith("# EOF\n"));
}

TEST(ExpositionTest, Numbers) {
  EXPECT_EQ(Exposition::Number(0.0), "0");
  EXPECT_EQ(Exposition::Number(-2.5), "-2.5");
  EXPECT_EQ(Exposition::Number(0.1), "0.1");
  EXPECT_EQ(Exposition::Number(1e300), "1e+300");
  EXPECT_EQ(Exposition::Number(1700000000.0), "1700000000");
  EXPECT_EQ(Exposition::Number(-4503599627370497.0), "-4503599627370497");
  EXPECT_EQ(Exposition::Number(std::nan("")), "NaN");
  EXPECT_EQ(Exposition::Number(HUGE_VAL), "+Inf");
  EXPECT_EQ(Exposition::Number(-HUGE_VAL), "-Inf");
  EXPECT_EQ(Exposition::Number(uint64_t{9007199254740993u}), "9007199254740993")
      << "counters are exact beyond a double's 53 bits";
  EXPECT_EQ(Exposition::EscapeLabelValue(QString::fromUtf8("\xc3\xa9th0")), "\xc3\xa9th0");
}

TEST(ExpositionTest, NegotiationFollowsTheAcceptHeader) {
  using F = Exposition::Format;
  const std::pair<const char*, F> cases[] = {
      {"", F::kPrometheusText},
      {"*/*", F::kPrometheusText},
      // What Prometheus sends.
      {"application/openmetrics-text;version=1.0.0,application/openmetrics-text;version=0.0.1;"
       "q=0.75,text/plain;version=0.0.4;q=0.5,*/*;q=0.1",
       F::kOpenMetrics},
      {"application/openmetrics-text", F::kOpenMetrics},
      {"Application/OpenMetrics-Text ; Version=1.0.0", F::kOpenMetrics},
      {"text/plain;version=0.0.4;q=0.5,*/*;q=0.1", F::kPrometheusText},
      {"application/openmetrics-text;q=0.4, text/plain;q=0.5", F::kPrometheusText},
      {"application/openmetrics-text;q=0.5, text/plain;q=0.5", F::kPrometheusText},
      {"application/openmetrics-text;q=0.6, */*;q=0.5", F::kOpenMetrics},
      {"application/openmetrics-text;q=0, */*", F::kPrometheusText},
      {"application/openmetrics-text;version=2.0.0", F::kPrometheusText},
      {"application/openmetrics-text;q=bad", F::kPrometheusText},
      {"application/json", F::kPrometheusText},
      {",,;;=,application/openmetrics-text;;q=1;", F::kOpenMetrics},
  };
  for (const auto& [accept, format] : cases) {
    EXPECT_EQ(Exposition::Negotiate(accept), format) << accept;
  }
}

}  // namespace
}  // namespace velmar

namespace velmar {
namespace {

TEST(InterfaceFilterTest, WholeNamesIncludeThenExclude) {
  const InterfaceFilter none;
  EXPECT_TRUE(none.Empty());
  EXPECT_TRUE(none.Shows("anything"));
  const InterfaceFilter filter("eth.*|lo|veth.*", "veth[0-9a-f]+");
  EXPECT_TRUE(filter.Shows("eth0"));
  EXPECT_TRUE(filter.Shows("lo"));
  EXPECT_FALSE(filter.Shows("lo0")) << "the whole name must match, not a part";
  EXPECT_FALSE(filter.Shows("wlan0"));
  EXPECT_FALSE(filter.Shows("veth3a9f"));
  EXPECT_TRUE(filter.Shows("veth-host"));
  EXPECT_TRUE(InterfaceFilter({}, "lo").Shows("eth0"));

  InterfaceGathering g;
  for (const char* name : {"lo", "veth1", "eth0", "veth2"}) {
    InterfaceFigures f;
    f.name = name;
    g.interfaces.push_back(f);
  }
  InterfaceFilter::FromLine(QStringLiteral("\tveth.*")).Apply(g);
  ASSERT_EQ(g.interfaces.size(), 2u);
  EXPECT_EQ(g.interfaces[0].name, "lo");
  EXPECT_EQ(g.interfaces[1].name, "eth0");
  InterfaceFilter::FromLine(QStringLiteral("eth0")).Apply(g);
  ASSERT_EQ(g.interfaces.size(), 1u);
  EXPECT_TRUE(InterfaceFilter::FromLine({}).Empty());

  try {
    InterfaceFilter("ok", "veth[");
    ADD_FAILURE() << "a broken expression is refused";
  } catch (const MetricsError& e) {
    EXPECT_NE(std::string(e.what()).find("--metrics-exclude \"veth[\" is no regular expression"),
              std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace velmar
