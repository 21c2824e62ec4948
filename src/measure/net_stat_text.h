#pragma once

#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>

#include "measure/mib_row.h"

namespace velmar {

class InterfaceTable;

// Turns the rows of the MIB-II table component into the fixed-width texts of
// the NetStat window's three pages, and runs one refresh of those pages.
// Every column is left-aligned and padded with blanks to its width, with one
// blank between columns; a value longer than its width pushes the rest of its
// line to the right.
//
// The port columns and the MTU column are five characters wide: local ports
// on this platform are mostly five-digit ephemeral ports, the heading "RPort"
// has five letters and the loopback interface's MTU is 65536, so four
// characters would shift most rows against the heading.
class NetStatText {
 public:
  // The pages, numbered as the window's tabs are ordered.
  enum class Page { Interface = 0, Tcp = 1, Ip = 2 };

  static constexpr int kDescriptionWidth = 20;

  static QString TcpHeading();
  static QString InterfaceHeading();
  static QString RouteHeading();

  static QString TcpLine(const MibRow& row);
  static QString InterfaceLine(const MibRow& row);
  // The last column names the interface the route leaves by, as the
  // latest interface page showed it.
  QString RouteLine(const MibRow& row) const;

  // The description of interface `ifIndex` as the latest interface page
  // showed it; "-" for an index that page did not list.
  QString InterfaceName(int32_t ifIndex) const;

  // The page of table `kind` (1 TCP, 2 interfaces, 3 routes) built from the
  // component's current rows: the heading, an empty line, then one line per
  // row in table order. Building the interface page also records the
  // interface names for the route page.
  QString PageText(uint8_t kind, const InterfaceTable& table);

  using PageSink = std::function<void(Page page, const QString& text)>;

  // One refresh of the pages in the order TCP, INTERFACE, IP: each page is
  // walked and handed to `show` as soon as it is complete. A table without
  // rows ends the refresh after its own page (heading and empty line only);
  // the pages after it are not handed over and keep what they show. An error
  // of the component (a null `table` counts as an agent that is not
  // available) hands over the page being filled as empty text and then
  // continues to the caller; the pages after it are left alone too.
  void Refresh(InterfaceTable* table, const PageSink& show);

 private:
  QHash<int32_t, QString> interfaceNames_;
};

}  // namespace velmar
