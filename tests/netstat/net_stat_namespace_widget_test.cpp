// NetStat on real kernel tables of both address families: run by
// tests/e2e/inet_tables_test.py inside the network namespace it builds, which
// it describes in $VELMAR_INET_NAMESPACE: its helper process's id and ports,
// and an snmpd on the same tables with two communities, one that sees
// everything and one whose view lacks the address-family-neutral tables (a
// device with the IPv4 tables of MIB-II alone). With $VELMAR_SCREENSHOT_DIR
// set, the pages are saved as pictures there. Elsewhere the tests skip.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QPixmap>
#include <QTabBar>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/interface_table.h"
#include "interfaces/remote_source.h"
#include "netstat/widgets/net_stat_window.h"

namespace velmar {
namespace {

// key=value;key=value... of $VELMAR_INET_NAMESPACE.
QMap<QString, QString> Namespace() {
  QMap<QString, QString> values;
  for (const QString& pair : qEnvironmentVariable("VELMAR_INET_NAMESPACE").split(u';')) {
    const qsizetype equals = pair.indexOf(u'=');
    if (equals > 0) {
      values.insert(pair.left(equals), pair.mid(equals + 1));
    }
  }
  return values;
}

QString Page(const NetStatWindow& netStat, NetStatText::Page page) {
  return netStat.PageView(page)->toPlainText();
}

bool HasLine(const QString& page, const QStringList& parts) {
  for (const QString& line : page.split(u'\n')) {
    bool all = true;
    for (const QString& part : parts) {
      all = all && line.contains(part);
    }
    if (all) {
      return true;
    }
  }
  return false;
}

// Refreshes until every page is filled without an error (a device's
// tables come a moment after its first answer), at most 20 s.
std::vector<std::string> RefreshUntilFilled(NetStatWindow& netStat,
                                            std::vector<std::string>& errors) {
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    errors.clear();
    netStat.Refresh();
    bool filled = errors.empty();
    for (int i = 0; i < NetStatText::kPageCount; ++i) {
      filled = filled && Page(netStat, static_cast<NetStatText::Page>(i)).count(u'\n') >= 2;
    }
    if (filled || clock.elapsed() > 20000) {
      return errors;
    }
    QApplication::processEvents(QEventLoop::AllEvents, 250);
  }
}

std::unique_ptr<InterfaceTable> Device(const QMap<QString, QString>& ns, const char* community) {
  qputenv("VELMAR_REMOTE_AGENT_LIBRARY", VELMAR_BIN_DIR "/libmib2remote.so");
  RemoteSource source;
  source.SetAddress(ns.value(QStringLiteral("snmpd")));
  source.community = ns.value(QString::fromLatin1(community));
  return std::make_unique<InterfaceTable>(source);
}

class NetStatNamespaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ns = Namespace();
    if (ns.isEmpty()) {
      GTEST_SKIP() << "runs inside the namespace tests/e2e/inet_tables_test.py builds (root)";
    }
    pid = ns.value(QStringLiteral("pid"));
    dual = ns.value(QStringLiteral("dual"));
  }
  QMap<QString, QString> ns;
  QString pid;
  QString dual;
  std::vector<std::string> errors;
  NetStatWindow::ErrorHandler Handler() {
    return [this](const std::exception& e) { errors.push_back(e.what()); };
  }
};

TEST_F(NetStatNamespaceTest, ThisMachineShowsBothFamiliesAndTheOwners) {
  InterfaceTable table(nullptr, QStringLiteral(VELMAR_BIN_DIR "/libmib2.so"));
  NetStatWindow netStat(&table, Handler());
  netStat.show();
  EXPECT_TRUE(RefreshUntilFilled(netStat, errors).empty()) << errors.front();
  using P = NetStatText::Page;
  const QString tcp = Page(netStat, P::Tcp);
  // The dual-stack listener, its IPv6 and its IPv4 (mapped) peers, all
  // held by the helper, named as ss -p names it.
  EXPECT_TRUE(HasLine(tcp, {"[::]:" + dual + " ", "[::]:0 ", "LISTEN", pid, "python3"}))
      << tcp.toStdString();
  EXPECT_TRUE(HasLine(tcp, {"[::1]:" + dual + " ", "[::1]:", "ESTABLISHED", pid}))
      << tcp.toStdString();
  EXPECT_TRUE(HasLine(tcp, {"[::ffff:127.0.0.1]:" + dual + " ", "ESTABLISHED", pid}))
      << tcp.toStdString();
  EXPECT_TRUE(HasLine(tcp, {"127.0.0.1:", "127.0.0.1:" + dual + " ", "ESTABLISHED", pid}))
      << tcp.toStdString();
  const QString udp = Page(netStat, P::Udp);
  EXPECT_TRUE(HasLine(udp, {"[2001:db8:9::1]:", "[2001:db8:9::2]:9 ", pid, "python3"}))
      << udp.toStdString();
  EXPECT_TRUE(HasLine(udp, {"[::1]:", "[::]:0 ", pid})) << udp.toStdString();
  const QString routes = Page(netStat, P::Ip);
  EXPECT_TRUE(HasLine(routes, {"2001:db8:77::/48 ", "2001:db8:9::2 ", "\u00fcn\u00ef", "static"}))
      << routes.toStdString();
  EXPECT_TRUE(HasLine(routes, {"0.0.0.0/0 ", "10.9.0.2 ", "\u00fcn\u00ef", "100"}))
      << routes.toStdString();
  EXPECT_TRUE(HasLine(routes, {"10.9.0.0/24 ", "on-link", "\u00fcn\u00ef"}))
      << routes.toStdString();
  const QString neighbours = Page(netStat, P::Neighbours);
  EXPECT_TRUE(HasLine(neighbours,
                      {"\u00fcn\u00ef", "02:00:00:00:00:05", "10.9.0.5 ", "static", "reachable"}))
      << neighbours.toStdString();
  EXPECT_TRUE(HasLine(neighbours, {"02:00:00:00:00:06", "2001:db8:9::5 ", "static"}))
      << neighbours.toStdString();
  const QString addresses = Page(netStat, P::Addresses);
  EXPECT_TRUE(HasLine(addresses, {"2001:db8:9::1/64 ", "\u00fcn\u00ef", "manual", "preferred"}))
      << addresses.toStdString();
  EXPECT_TRUE(HasLine(addresses, {"fe80::", "/64 ", "linklayer"})) << addresses.toStdString();
  const QString interfaces = Page(netStat, P::Interface);
  EXPECT_TRUE(HasLine(interfaces, {"\u00fcn\u00ef "})) << interfaces.toStdString();
  EXPECT_TRUE(HasLine(interfaces, {"v\\xffx "})) << interfaces.toStdString();

  const QString shots = qEnvironmentVariable("VELMAR_SCREENSHOT_DIR");
  if (!shots.isEmpty()) {
    for (const auto& [page, file] : {std::pair{P::Tcp, "netstat-tcp.png"},
                                     {P::Ip, "netstat-routes.png"},
                                     {P::Neighbours, "netstat-neighbours.png"}}) {
      netStat.Pages()->setCurrentWidget(netStat.PageView(page));
      QApplication::processEvents();
      EXPECT_TRUE(netStat.grab().save(shots + u'/' + QString::fromLatin1(file)));
    }
  }
}

TEST_F(NetStatNamespaceTest, ADeviceShowsTheSameAndOneWithoutTheNeutralTablesItsIpv4Ones) {
  {
    auto device = Device(ns, "community");
    NetStatWindow netStat(device.get(), Handler());
    EXPECT_TRUE(RefreshUntilFilled(netStat, errors).empty()) << errors.front();
    const QString tcp = Page(netStat, NetStatText::Page::Tcp);
    // snmpd names the owner's id; the names are the meter's own subtree's.
    EXPECT_TRUE(HasLine(tcp, {"[::]:" + dual + " ", "LISTEN", pid, "\u2013"})) << tcp.toStdString();
    EXPECT_TRUE(
        HasLine(Page(netStat, NetStatText::Page::Ip), {"2001:db8:77::/48 ", "\u00fcn\u00ef"}));
  }
  auto device = Device(ns, "ipv4community");
  NetStatWindow netStat(device.get(), Handler());
  EXPECT_TRUE(RefreshUntilFilled(netStat, errors).empty()) << errors.front();
  const QString tcp = Page(netStat, NetStatText::Page::Tcp);
  EXPECT_TRUE(HasLine(tcp, {"127.0.0.1:", "127.0.0.1:" + dual + " ", "ESTABLISHED", "\u2013"}))
      << tcp.toStdString();
  EXPECT_FALSE(tcp.contains(u'[')) << "tcpConnTable has IPv4 connections alone\n"
                                   << tcp.toStdString();
  const QString routes = Page(netStat, NetStatText::Page::Ip);
  EXPECT_TRUE(HasLine(routes, {"10.77.0.0/16 ", "10.9.0.2 ", "\u00fcn\u00ef"}))
      << routes.toStdString();
  EXPECT_FALSE(routes.contains(QStringLiteral("2001:db8"))) << routes.toStdString();
  EXPECT_TRUE(HasLine(Page(netStat, NetStatText::Page::Neighbours),
                      {"02:00:00:00:00:05", "10.9.0.5 ", "static"}));
  EXPECT_TRUE(
      HasLine(Page(netStat, NetStatText::Page::Addresses), {"10.9.0.1/24 ", "\u00fcn\u00ef"}));
}

}  // namespace
}  // namespace velmar
