#pragma once

#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "interfaces/mib_row.h"
#include "netstat/net_stat_tables.h"
#include "netstat/program_page.h"

namespace velmar {

class InterfaceTable;

// Turns the tables of the agent into the fixed-width texts of the NetStat
// window's pages, and runs one refresh of those pages. Every column is
// left-aligned and padded with blanks to its width, with one blank between
// columns; a value longer than its width pushes the rest of its line to the
// right. Addresses are written as people write them ("2001:db8::1",
// "[::1]:443"); a value the agent does not give shows as "-", an owner the
// meter may not see as "–".
//
// The pages: the interfaces (ifName where the agent has it, else ifDescr,
// with ifAlias beside, and the 64-bit octet counters where offered), the
// TCP connections and listeners and the UDP endpoints of both address
// families with the process owning each, the routes of both families, the
// neighbours (ARP and NDP) under the net-to-media headings, and the
// interfaces' addresses.
class NetStatText {
 public:
  // The pages, numbered as the window's tabs are ordered.
  enum class Page { Interface = 0, Tcp = 1, Udp = 2, Ip = 3, Neighbours = 4, Addresses = 5 };
  static constexpr int kPageCount = 6;

  static constexpr int kNameWidth = 20;

  static QString InterfaceHeading();
  static QString TcpHeading();
  static QString UdpHeading();
  static QString RouteHeading();
  static QString NeighbourHeading();
  static QString AddressHeading();
  // The longest heading, in characters: every column of every page fits a
  // page this wide.
  static int WidestHeading();

  // `countsInAll` puts the "*" under "All".
  static QString InterfaceLine(const MibRow& row, const InterfaceLabel& label, bool countsInAll);
  QString TcpLine(const SocketRow& row) const;
  QString UdpLine(const SocketRow& row) const;
  QString RouteLine(const RouteRow& row) const;
  QString NeighbourLine(const NeighbourRow& row) const;
  QString AddressLine(const AddressRow& row) const;

  // The name of interface `ifIndex` as the latest interface page showed
  // it, with "#" and its index when another interface has the same name;
  // "-" for an index that page did not list.
  QString InterfaceName(int32_t ifIndex) const;
  // The name of process `pid` as the latest socket page read it; "–" when
  // the agent did not give it (another user's process, or a device).
  QString ProcessName(uint32_t pid) const;
  // "address:port" as ss writes it: a zoned address with its interface's
  // name after the brackets ("[fe80::1]%eth0:22").
  QString EndpointText(const InetAddress& address, uint32_t port) const;

  // A page: the heading, an empty line, then one line per row in the
  // order given. The interface page also records the interface names the
  // other pages show, and the socket pages the process names.
  QString InterfacePage(const InterfaceTable& table,
                        const std::map<int32_t, InterfaceLabel>& labels);
  QString TcpPage(const std::vector<SocketRow>& rows, const std::map<uint32_t, QString>& processes);
  QString UdpPage(const std::vector<SocketRow>& rows, const std::map<uint32_t, QString>& processes);
  QString RoutePage(const std::vector<RouteRow>& rows) const;
  QString NeighbourPage(const std::vector<NeighbourRow>& rows) const;
  QString AddressPage(const std::vector<AddressRow>& rows) const;

  using PageSink = std::function<void(Page page, const QString& text)>;

  // Byte counts for the TCP page: columns of received and sent bytes and
  // the current rates after the others, rows in `sort`'s order. Null: the
  // page as the agent's table alone gives it.
  void SetConnectionBytes(const ConnectionBytes* bytes, TcpSort sort = TcpSort::kListed) {
    bytes_ = bytes;
    sort_ = sort;
  }

  // One refresh of the pages in the order TCP, INTERFACE, IP, ADDRESSES,
  // UDP, NEIGHBOURS: each page is walked and handed to `show` as soon as it
  // is complete; a table without rows gives its heading and the empty line
  // alone, and the refresh goes on with the next page. An error of the component (a null `table`
  // counts as an agent that is not available) hands over the page being
  // filled as empty text and then continues to the caller; the pages after
  // it are left alone too.
  void Refresh(InterfaceTable* table, const PageSink& show);

 private:
  // Walks the page's table(s) and hands the page over.
  void RefreshPage(Page page, InterfaceTable& table, const PageSink& show);

  const ConnectionBytes* bytes_ = nullptr;
  TcpSort sort_ = TcpSort::kListed;
  QHash<int32_t, QString> interfaceNames_;
  std::map<uint32_t, QString> processNames_;
};

}  // namespace velmar
