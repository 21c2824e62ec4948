#include "measure/net_stat_text.h"

#include <charconv>

#include "measure/edge_selection.h"
#include "measure/interface_table.h"
#include "measure/table_errors.h"

namespace velmar {

namespace {

// Column widths, left to right.
constexpr int kAddressWidth = 15;
constexpr int kPortWidth = 5;
constexpr int kStateWidth = 10;
constexpr int kIndexWidth = 8;
constexpr int kMtuWidth = 5;
constexpr int kOctetsWidth = 10;
constexpr int kErrorsWidth = 6;
constexpr int kQueueWidth = 6;
constexpr int kRouteAddressWidth = 20;

// Pads what was just appended, `used` characters, with blanks to `width`; a
// longer value is kept whole.
void Pad(QString& line, qsizetype used, int width) {
  if (used < width) {
    line.resize(line.size() + (width - used), QLatin1Char(' '));
  }
}

void Column(QString& line, QStringView value, int width) {
  line.append(value);
  Pad(line, value.size(), width);
}

void Column(QString& line, QLatin1StringView value, int width) {
  line.append(value);
  Pad(line, value.size(), width);
}

// A column after the first: the separating blank, then the value.
template <typename Text>
void NextColumn(QString& line, Text value, int width) {
  line.append(QLatin1Char(' '));
  Column(line, value, width);
}

// Numbers and addresses are written through a small Latin-1 buffer: a page of
// thousands of connections would otherwise spend most of its formatting time
// on short-lived strings.
class Latin1Text {
 public:
  QLatin1StringView View() const { return QLatin1StringView(buffer_, length_); }

  Latin1Text& Number(int64_t value) {
    const std::to_chars_result end = std::to_chars(buffer_ + length_, buffer_ + kCapacity, value);
    if (end.ec == std::errc()) {
      length_ = static_cast<int>(end.ptr - buffer_);
    }
    return *this;
  }
  Latin1Text& Char(char c) {
    if (length_ < kCapacity) {
      buffer_[length_++] = c;
    }
    return *this;
  }

 private:
  static constexpr int kCapacity = 32;  // a 64-bit number or "255.255.255.255"
  char buffer_[kCapacity];
  int length_ = 0;
};

Latin1Text NumberText(int64_t value) {
  return Latin1Text().Number(value);
}

// The "%d.%d.%d.%d" form of an address, the octets in stored order.
Latin1Text AddressText(const MibRow::Address& a) {
  Latin1Text text;
  text.Number(a[0]).Char('.').Number(a[1]).Char('.').Number(a[2]).Char('.').Number(a[3]);
  return text;
}

// An agent names interfaces with whatever octets it likes; a line break or a
// tab in a name would break the page's lines and columns, so every character
// that does not print shows as '?'.
QString Printable(const QString& text) {
  QString shown = text;
  for (QChar& c : shown) {
    if (!c.isPrint()) {
      c = QLatin1Char('?');
    }
  }
  return shown;
}

QString Description(const QString& descr) {
  return Printable(descr.left(NetStatText::kDescriptionWidth));
}

void AppendTcpLine(QString& out, const MibRow& row) {
  Column(out, AddressText(row.LocalAddress).View(), kAddressWidth);
  NextColumn(out, NumberText(row.LocalPort).View(), kPortWidth);
  NextColumn(out, AddressText(row.RemoteAddress).View(), kAddressWidth);
  NextColumn(out, NumberText(row.RemotePortShown()).View(), kPortWidth);
  NextColumn(out, row.StateText(), kStateWidth);
}

void AppendInterfaceLine(QString& out, const MibRow& row) {
  Column(out, NumberText(row.IfIndex).View(), kIndexWidth);
  NextColumn(out, Description(row.IfDescr), NetStatText::kDescriptionWidth);
  NextColumn(out, NumberText(row.IfMtu).View(), kMtuWidth);
  NextColumn(out, NumberText(row.IfInOctets).View(), kOctetsWidth);
  NextColumn(out, NumberText(row.IfInErrors).View(), kErrorsWidth);
  NextColumn(out, NumberText(row.IfOutOctets).View(), kOctetsWidth);
  NextColumn(out, NumberText(row.IfOutErrors).View(), kErrorsWidth);
  NextColumn(out, NumberText(row.IfOutQLen).View(), kQueueWidth);
}

}  // namespace

QString NetStatText::TcpHeading() {
  QString line;
  Column(line, u"Local IP", kAddressWidth);
  NextColumn(line, u"Port", kPortWidth);
  NextColumn(line, u"Remote IP", kAddressWidth);
  NextColumn(line, u"RPort", kPortWidth);
  NextColumn(line, u"State", kStateWidth);
  return line;
}

QString NetStatText::InterfaceHeading() {
  QString line;
  Column(line, u"Index", kIndexWidth);
  NextColumn(line, u"Description", kDescriptionWidth);
  NextColumn(line, u"MTU", kMtuWidth);
  NextColumn(line, u"InBytes", kOctetsWidth);
  NextColumn(line, u"InErr", kErrorsWidth);
  NextColumn(line, u"OutBytes", kOctetsWidth);
  NextColumn(line, u"OutErr", kErrorsWidth);
  NextColumn(line, u"OutQLen", kQueueWidth);
  NextColumn(line, u"All", 3);
  return line;
}

QString NetStatText::RouteHeading() {
  QString line;
  Column(line, u"ifIndex", kIndexWidth);
  NextColumn(line, u"Net2MediaPhysAddr", kRouteAddressWidth);
  NextColumn(line, u"Net2MediaNetAddr", kRouteAddressWidth);
  return line;
}

QString NetStatText::TcpLine(const MibRow& row) {
  QString line;
  AppendTcpLine(line, row);
  return line;
}

QString NetStatText::InterfaceLine(const MibRow& row) {
  QString line;
  AppendInterfaceLine(line, row);
  return line;
}

QString NetStatText::RouteLine(const MibRow& row) const {
  QString line;
  Column(line, NumberText(row.RouteIfIndex).View(), kIndexWidth);
  NextColumn(line, AddressText(row.RouteDest).View(), kRouteAddressWidth);
  NextColumn(line, InterfaceName(row.RouteIfIndex), kRouteAddressWidth);
  return line;
}

QString NetStatText::InterfaceName(int32_t ifIndex) const {
  return interfaceNames_.value(ifIndex, QStringLiteral("-"));
}

QString NetStatText::PageText(uint8_t kind, const InterfaceTable& table) {
  const int rows = table.Count();
  QString page;
  // About 80 characters per line keeps a page of thousands of rows to a
  // single allocation.
  page.reserve((rows + 2) * 80);
  switch (kind) {
    case InterfaceTable::kTcpConnections:
      page.append(TcpHeading());
      break;
    case InterfaceTable::kInterfaces:
      page.append(InterfaceHeading());
      interfaceNames_.clear();
      break;
    case InterfaceTable::kRoutes:
      page.append(RouteHeading());
      break;
    default:
      return QString();
  }
  page.append(QLatin1String("\n"));  // the empty line under the heading
  std::vector<bool> countsInAll;
  qsizetype allColumn = 0;
  if (kind == InterfaceTable::kInterfaces) {
    countsInAll = EdgeSelection::Choose(table);
    allColumn = InterfaceHeading().size() - 3;
  }
  for (int i = 0; i < rows; ++i) {
    const MibRow& row = table.Items(i);
    page.append(QLatin1Char('\n'));
    switch (kind) {
      case InterfaceTable::kTcpConnections:
        AppendTcpLine(page, row);
        break;
      case InterfaceTable::kInterfaces: {
        const qsizetype lineStart = page.size();
        AppendInterfaceLine(page, row);
        interfaceNames_.insert(row.IfIndex, Description(row.IfDescr));
        // "*" under "All" for the interfaces "All" counts.
        if (countsInAll[static_cast<size_t>(i)]) {
          const qsizetype used = page.size() - lineStart;
          page.append(QString(used < allColumn ? allColumn - used : 1, QLatin1Char(' ')));
          page.append(QLatin1Char('*'));
        }
        break;
      }
      default:
        page.append(RouteLine(row));
        break;
    }
  }
  return page;
}

void NetStatText::Refresh(InterfaceTable* table, const PageSink& show) {
  static constexpr struct {
    uint8_t kind;
    Page page;
  } kOrder[] = {{InterfaceTable::kTcpConnections, Page::Tcp},
                {InterfaceTable::kInterfaces, Page::Interface},
                {InterfaceTable::kRoutes, Page::Ip}};
  for (const auto& step : kOrder) {
    try {
      if (table == nullptr) {
        throw TableError(SnmpAgent::kUnavailable);
      }
      table->Refresh(step.kind);
    } catch (...) {
      // Whatever rows the failed walk left are partly filled; the page
      // shows none of them.
      show(step.page, QString());
      throw;
    }
    show(step.page, PageText(step.kind, *table));
    if (table->Count() == 0) {
      return;
    }
  }
}

}  // namespace velmar
