#include "netstat/net_stat_text.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>

#include "interfaces/interface_table.h"
#include "interfaces/table_errors.h"
#include "measure/edge_selection.h"

namespace velmar {

namespace {

// Column widths, left to right, page by page.
constexpr int kIndexWidth = 5;
constexpr int kAliasWidth = 10;
constexpr int kMtuWidth = 5;
constexpr int kOctetsWidth = 12;
constexpr int kInErrorsWidth = 5;
constexpr int kOutErrorsWidth = 6;
constexpr int kQueueWidth = 7;
constexpr int kEndpointWidth = 24;  // "[::ffff:127.0.0.1]:65535"; longer ones run on
constexpr int kStateWidth = 11;
constexpr int kPidWidth = 7;
constexpr int kProgramWidth = 15;  // the kernel keeps 15 bytes of a name
constexpr int kPrefixWidth = 30;   // "fe80::dc0a:9eff:fe31:a251/128"
constexpr int kNextHopWidth = 26;  // "fe80::dc0a:9eff:fe31:a251"
constexpr int kInterfaceWidth = 16;
constexpr int kProtocolWidth = 8;
constexpr int kMetricWidth = 6;
constexpr int kPhysicalWidth = 17;  // "02:00:5e:10:00:01"
constexpr int kNetAddressWidth = 25;
constexpr int kMediaTypeWidth = 13;
constexpr int kNeighbourStateWidth = 10;
constexpr int kAddressWidth = 30;
constexpr int kOriginWidth = 9;
constexpr int kStatusWidth = 10;
constexpr int kBytesWidth = 12;
constexpr int kRateWidth = 11;

const QString kNotSeen = QStringLiteral("\u2013");  // an owner the meter may not see

struct Column {
  QString text;
  int width;
};

// Pads what was just appended, `used` characters, with blanks to `width`; a
// longer value is kept whole.
void Pad(QString& line, qsizetype used, int width) {
  if (used < width) {
    line.resize(line.size() + (width - used), QLatin1Char(' '));
  }
}

void Append(QString& line, QStringView value, int width) {
  line.append(value);
  Pad(line, value.size(), width);
}

// A line of cells, one blank between them.
QString Line(std::initializer_list<Column> cells) {
  QString line;
  line.reserve(96);
  bool first = true;
  for (const Column& c : cells) {
    if (!first) {
      line.append(QLatin1Char(' '));
    }
    first = false;
    Append(line, c.text, c.width);
  }
  return line;
}

QString Number(int64_t value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value);
  return QString::fromLatin1(buffer, end.ptr - buffer);
}

// An agent names things with whatever octets it likes; a character that
// does not print (a line break, a tab, a line separator) would break the
// page's lines and columns, so it shows as '?'.
QString Printable(const QString& text) {
  QString shown = text;
  for (QChar& c : shown) {
    if (!c.isPrint() && !c.isSurrogate()) {
      c = QLatin1Char('?');
    }
  }
  return shown;
}

// The text of an enumeration value from its names (value 1 first); "-" for
// 0 (not given) and the number for a value without a name.
QString EnumText(int32_t value, std::initializer_list<const char*> names) {
  if (value == 0) {
    return QStringLiteral("-");
  }
  if (value >= 1 && static_cast<size_t>(value) <= names.size()) {
    const char* name = names.begin()[value - 1];
    if (name != nullptr) {
      return QString::fromLatin1(name);
    }
  }
  return Number(value);
}

// Who put a route there, in the words of `ip route`: local(2) is the
// kernel's own, netmgmt(3) a person's (static), icmp(4) a router's
// advertisement (ra).
QString ProtocolText(int32_t protocol) {
  return EnumText(protocol,
                  {"other", "kernel",     "static", "ra",        "egp",       "ggp",  "hello",
                   "rip",   "isIs",       "esIs",   "ciscoIgrp", "bbnSpfIgp", "ospf", "bgp",
                   "idpr",  "ciscoEigrp", "dvmrp",  "rpl",       "dhcp",      "ttdp"});
}

bool AllZero(const QByteArray& octets) {
  return std::all_of(octets.begin(), octets.end(), [](char c) { return c == '\0'; });
}

QString NextHopText(const RouteRow& row) {
  if (row.type == 2) {
    return QStringLiteral("reject");
  }
  if (row.type == 5) {
    return QStringLiteral("blackhole");
  }
  return AllZero(row.nextHop.octets) ? QStringLiteral("on-link") : row.nextHop.Text();
}

QString PrefixText(const AddressRow& row) {
  return row.prefixLength < 0 ? row.address.Text()
                              : row.address.PrefixText(static_cast<uint32_t>(row.prefixLength));
}

QString PageText(const QString& heading, const std::vector<QString>& lines) {
  QString page = heading;
  page.reserve((static_cast<qsizetype>(lines.size()) + 2) * (heading.size() + 1));
  page.append(QLatin1Char('\n'));  // the empty line under the heading
  for (const QString& line : lines) {
    page.append(QLatin1Char('\n'));
    page.append(line);
  }
  return page;
}

template <typename Row, typename Format>
QString PageOf(const QString& heading, const std::vector<Row>& rows, Format format) {
  std::vector<QString> lines;
  lines.reserve(rows.size());
  for (const Row& row : rows) {
    lines.push_back(format(row));
  }
  return PageText(heading, lines);
}

}  // namespace

QString NetStatText::InterfaceHeading() {
  return Line({{QStringLiteral("Index"), kIndexWidth},
               {QStringLiteral("Name"), kNameWidth},
               {QStringLiteral("Alias"), kAliasWidth},
               {QStringLiteral("MTU"), kMtuWidth},
               {QStringLiteral("InBytes"), kOctetsWidth},
               {QStringLiteral("InErr"), kInErrorsWidth},
               {QStringLiteral("OutBytes"), kOctetsWidth},
               {QStringLiteral("OutErr"), kOutErrorsWidth},
               {QStringLiteral("OutQLen"), kQueueWidth},
               {QStringLiteral("All"), 3}});
}

QString NetStatText::TcpHeading() {
  return Line({{QStringLiteral("Local address"), kEndpointWidth},
               {QStringLiteral("Remote address"), kEndpointWidth},
               {QStringLiteral("State"), kStateWidth},
               {QStringLiteral("PID"), kPidWidth},
               {QStringLiteral("Program"), kProgramWidth}});
}

QString NetStatText::UdpHeading() {
  return Line({{QStringLiteral("Local address"), kEndpointWidth},
               {QStringLiteral("Remote address"), kEndpointWidth},
               {QStringLiteral("PID"), kPidWidth},
               {QStringLiteral("Program"), kProgramWidth}});
}

QString NetStatText::RouteHeading() {
  return Line({{QStringLiteral("Destination/Prefix"), kPrefixWidth},
               {QStringLiteral("Next hop"), kNextHopWidth},
               {QStringLiteral("Interface"), kInterfaceWidth},
               {QStringLiteral("Protocol"), kProtocolWidth},
               {QStringLiteral("Metric"), kMetricWidth}});
}

QString NetStatText::NeighbourHeading() {
  return Line({{QStringLiteral("Interface"), kInterfaceWidth},
               {QStringLiteral("Net2MediaPhysAddr"), kPhysicalWidth},
               {QStringLiteral("Net2MediaNetAddr"), kNetAddressWidth},
               {QStringLiteral("Net2MediaType"), kMediaTypeWidth},
               {QStringLiteral("State"), kNeighbourStateWidth}});
}

QString NetStatText::AddressHeading() {
  return Line({{QStringLiteral("Address/Prefix"), kAddressWidth},
               {QStringLiteral("Interface"), kInterfaceWidth},
               {QStringLiteral("Origin"), kOriginWidth},
               {QStringLiteral("Status"), kStatusWidth}});
}

int NetStatText::WidestHeading() {
  int widest = 0;
  for (const QString& heading : {InterfaceHeading(), TcpHeading(), UdpHeading(), RouteHeading(),
                                 NeighbourHeading(), AddressHeading()}) {
    widest = std::max(widest, static_cast<int>(heading.size()));
  }
  return widest;
}

QString NetStatText::InterfaceLine(const MibRow& row, const InterfaceLabel& label,
                                   bool countsInAll) {
  const QString name = label.name.isEmpty() ? row.IfDescr : label.name;
  const bool wide = row.HasHCOctets();
  QString line = Line(
      {{Number(row.IfIndex), kIndexWidth},
       {Printable(name.left(kNameWidth)), kNameWidth},
       {Printable(label.alias.left(kAliasWidth)), kAliasWidth},
       {Number(row.IfMtu), kMtuWidth},
       {Number(wide ? static_cast<int64_t>(row.IfHCInOctets) : row.IfInOctets), kOctetsWidth},
       {Number(row.IfInErrors), kInErrorsWidth},
       {Number(wide ? static_cast<int64_t>(row.IfHCOutOctets) : row.IfOutOctets), kOctetsWidth},
       {Number(row.IfOutErrors), kOutErrorsWidth},
       {Number(row.IfOutQLen), kQueueWidth}});
  if (countsInAll) {
    line.append(QLatin1String(" *"));  // under "All"
  }
  return line;
}

QString NetStatText::TcpLine(const SocketRow& row) const {
  QString line = Line({{EndpointText(row.local, row.localPort), kEndpointWidth},
                       {EndpointText(row.remote, row.remotePort), kEndpointWidth},
                       {MibRow::StateName(row.state), kStateWidth},
                       {row.pid != 0 ? Number(row.pid) : kNotSeen, kPidWidth},
                       {ProcessName(row.pid), kProgramWidth}});
  if (bytes_ != nullptr) {
    const ConnectionBytes::Figures* f = bytes_->Find(row);
    const QString none = QStringLiteral("-");
    const auto rate = [](double bytesPerSecond) {
      return QString::number(bytesPerSecond * 8 / 1000, 'f', 2);
    };
    line += QLatin1Char(' ') +
            Line({{f != nullptr ? Number(static_cast<int64_t>(f->received)) : none, kBytesWidth},
                  {f != nullptr ? Number(static_cast<int64_t>(f->sent)) : none, kBytesWidth},
                  {f != nullptr ? rate(f->receiveRate) : none, kRateWidth},
                  {f != nullptr ? rate(f->transmitRate) : none, kRateWidth}});
  }
  return line;
}

QString NetStatText::UdpLine(const SocketRow& row) const {
  return Line({{EndpointText(row.local, row.localPort), kEndpointWidth},
               {EndpointText(row.remote, row.remotePort), kEndpointWidth},
               {row.pid != 0 ? Number(row.pid) : kNotSeen, kPidWidth},
               {ProcessName(row.pid), kProgramWidth}});
}

QString NetStatText::RouteLine(const RouteRow& row) const {
  return Line({{row.destination.PrefixText(row.prefixLength), kPrefixWidth},
               {NextHopText(row), kNextHopWidth},
               {InterfaceName(row.ifIndex), kInterfaceWidth},
               {ProtocolText(row.protocol), kProtocolWidth},
               {Number(row.metric), kMetricWidth}});
}

QString NetStatText::NeighbourLine(const NeighbourRow& row) const {
  return Line(
      {{InterfaceName(row.ifIndex), kInterfaceWidth},
       {PhysicalAddressText(row.physical), kPhysicalWidth},
       {row.address.Text(), kNetAddressWidth},
       {EnumText(row.type, {"other", "invalid", "dynamic", "static", "local"}), kMediaTypeWidth},
       {EnumText(row.state,
                 {"reachable", "stale", "delay", "probe", "invalid", "unknown", "incomplete"}),
        kNeighbourStateWidth}});
}

QString NetStatText::AddressLine(const AddressRow& row) const {
  return Line({{PrefixText(row), kAddressWidth},
               {InterfaceName(row.ifIndex), kInterfaceWidth},
               {EnumText(row.origin, {"other", "manual", nullptr, "dhcp", "linklayer", "random"}),
                kOriginWidth},
               {EnumText(row.status, {"preferred", "deprecated", "invalid", "inaccessible",
                                      "unknown", "tentative", "duplicate", "optimistic"}),
                kStatusWidth}});
}

QString NetStatText::EndpointText(const InetAddress& address, uint32_t port) const {
  const uint32_t zone = address.ZoneIndex();
  if (zone == 0) {
    return address.EndpointText(port);
  }
  const QString plain = address.WithoutZone().Text();
  const QString name = interfaceNames_.value(static_cast<int32_t>(zone), Number(zone));
  return (address.IsIpv6() ? u'[' + plain + u']' : plain) + u'%' + name + u':' + Number(port);
}

QString NetStatText::InterfaceName(int32_t ifIndex) const {
  return interfaceNames_.value(ifIndex, QStringLiteral("-"));
}

QString NetStatText::ProcessName(uint32_t pid) const {
  const auto it = processNames_.find(pid);
  return pid != 0 && it != processNames_.end() ? Printable(it->second) : kNotSeen;
}

QString NetStatText::InterfacePage(const InterfaceTable& table,
                                   const std::map<int32_t, InterfaceLabel>& labels) {
  const std::vector<bool> countsInAll = EdgeSelection::Choose(table);
  interfaceNames_.clear();
  QHash<QString, int> uses;
  std::vector<QString> lines;
  for (int i = 0; i < table.Count(); ++i) {
    const MibRow& row = table.Items(i);
    const auto label = labels.find(row.IfIndex);
    const InterfaceLabel& l = label != labels.end() ? label->second : InterfaceLabel{};
    lines.push_back(InterfaceLine(row, l, countsInAll[static_cast<size_t>(i)]));
    const QString name = Printable((l.name.isEmpty() ? row.IfDescr : l.name).left(kNameWidth));
    interfaceNames_.insert(row.IfIndex, name);
    ++uses[name];
  }
  // Interfaces that share a name are told apart by their index.
  for (auto it = interfaceNames_.begin(); it != interfaceNames_.end(); ++it) {
    if (uses.value(it.value()) > 1) {
      it.value() += u'#' + Number(it.key());
    }
  }
  return PageText(InterfaceHeading(), lines);
}

QString NetStatText::TcpPage(const std::vector<SocketRow>& rows,
                             const std::map<uint32_t, QString>& processes) {
  processNames_ = processes;
  if (bytes_ == nullptr) {
    return PageOf(TcpHeading(), rows, [this](const SocketRow& r) { return TcpLine(r); });
  }
  std::vector<SocketRow> sorted = rows;
  bytes_->Sort(sorted, sort_);
  const QString heading = TcpHeading() + QLatin1Char(' ') +
                          Line({{QStringLiteral("Received"), kBytesWidth},
                                {QStringLiteral("Sent"), kBytesWidth},
                                {QStringLiteral("Down kbit/s"), kRateWidth},
                                {QStringLiteral("Up kbit/s"), kRateWidth}});
  return PageOf(heading, sorted, [this](const SocketRow& r) { return TcpLine(r); });
}

QString NetStatText::UdpPage(const std::vector<SocketRow>& rows,
                             const std::map<uint32_t, QString>& processes) {
  processNames_ = processes;
  return PageOf(UdpHeading(), rows, [this](const SocketRow& r) { return UdpLine(r); });
}

QString NetStatText::RoutePage(const std::vector<RouteRow>& rows) const {
  return PageOf(RouteHeading(), rows, [this](const RouteRow& r) { return RouteLine(r); });
}

QString NetStatText::NeighbourPage(const std::vector<NeighbourRow>& rows) const {
  return PageOf(NeighbourHeading(), rows,
                [this](const NeighbourRow& r) { return NeighbourLine(r); });
}

QString NetStatText::AddressPage(const std::vector<AddressRow>& rows) const {
  return PageOf(AddressHeading(), rows, [this](const AddressRow& r) { return AddressLine(r); });
}

namespace {

bool AnyOwner(const std::vector<SocketRow>& rows, const std::map<uint32_t, QString>* known) {
  return std::any_of(rows.begin(), rows.end(), [known](const SocketRow& r) {
    return r.pid != 0 && (known == nullptr || known->count(r.pid) == 0);
  });
}

}  // namespace

void NetStatText::RefreshPage(Page page, InterfaceTable& table, const PageSink& show) {
  NetStatTables inet(table);
  QString text;
  switch (page) {
    case Page::Tcp: {
      const std::vector<SocketRow> sockets = inet.TcpRows();
      // The owners' names are asked for only where some row has one.
      text = TcpPage(sockets, AnyOwner(sockets, nullptr) ? inet.ProcessNames()
                                                         : std::map<uint32_t, QString>{});
      break;
    }
    case Page::Udp: {
      const std::vector<SocketRow> sockets = inet.UdpRows();
      text =
          UdpPage(sockets, AnyOwner(sockets, &processNames_) ? inet.ProcessNames() : processNames_);
      break;
    }
    case Page::Interface:
      table.Refresh(InterfaceTable::kInterfaces);
      text = InterfacePage(
          table, table.Count() > 0 ? inet.InterfaceLabels() : std::map<int32_t, InterfaceLabel>{});
      break;
    case Page::Ip: {
      const std::vector<RouteRow> routes = inet.Routes();
      text = RoutePage(routes);
      break;
    }
    case Page::Neighbours: {
      const std::vector<NeighbourRow> neighbours = inet.Neighbours();
      text = NeighbourPage(neighbours);
      break;
    }
    case Page::Addresses: {
      const std::vector<AddressRow> addresses = inet.Addresses();
      text = AddressPage(addresses);
      break;
    }
  }
  show(page, text);
}

void NetStatText::Refresh(InterfaceTable* table, const PageSink& show) {
  static constexpr Page kOrder[] = {Page::Tcp,       Page::Interface, Page::Ip,
                                    Page::Addresses, Page::Udp,       Page::Neighbours};
  for (const Page page : kOrder) {
    try {
      if (table == nullptr) {
        throw TableError(SnmpAgent::kUnavailable);
      }
      RefreshPage(page, *table, show);
    } catch (...) {
      // Whatever rows the failed walk left are partly filled; the page
      // shows none of them.
      show(page, QString());
      throw;
    }
  }
}

}  // namespace velmar
