#include "netstat/widgets/net_stat_window.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QFontInfo>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTextBlock>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/interface_table.h"
#include "measure/counter_sampler.h"
#include "measure/measurement_state.h"
#include "measure/tick_host.h"
#include "support/fake_agent_control.h"
#include "support/net_stat_script.h"

namespace velmar {
namespace {

using test::FakeAgent;
using test::FakeInterface;

using test::FakeConnection;

// One full refresh's worth of answers.
void ScriptRefresh(FakeAgent& agent, int32_t listenPort, uint32_t loInOctets) {
  test::NetStatScript script;
  script.listenPort = listenPort;
  script.loInOctets = loInOctets;
  script.Push(agent);
}

// Texts compared as text, so a failure shows them.
#define EXPECT_TEXT(actual, expected) \
  EXPECT_EQ(QString(actual).toStdString(), QString(expected).toStdString())

// Every page in tab order.
std::vector<QPlainTextEdit*> AllPages(const NetStatWindow& netStat) {
  std::vector<QPlainTextEdit*> pages;
  for (int i = 0; i < NetStatText::kPageCount; ++i) {
    pages.push_back(netStat.PageView(static_cast<NetStatText::Page>(i)));
  }
  return pages;
}

void Settle() {
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
  }
}

// Nothing of the window is cut: every tab's caption has room without the
// tab bar's scroll arrows, the button shows its text, and every column of
// the widest page fits a page without scrolling sideways.
void ExpectNothingCut(NetStatWindow& netStat) {
  const QTabBar* bar = netStat.Pages()->tabBar();
  EXPECT_LE(bar->sizeHint().width(), bar->width());
  for (int i = 0; i < bar->count(); ++i) {
    EXPECT_GE(bar->tabRect(i).width(), QFontMetrics(bar->font()).horizontalAdvance(bar->tabText(i)))
        << bar->tabText(i).toStdString();
  }
  const QPushButton* close = netStat.CloseButton();
  const QFontMetrics buttonMetrics(close->font());
  EXPECT_GT(close->width(), buttonMetrics.horizontalAdvance(close->text()));
  EXPECT_GE(close->height(), buttonMetrics.height());
  for (QPlainTextEdit* page : AllPages(netStat)) {
    netStat.Pages()->setCurrentWidget(page);  // as the reader opens it
    Settle();
    const QFontMetrics metrics(page->font());
    EXPECT_LE(metrics.horizontalAdvance(QString(NetStatText::WidestHeading(), u'0')),
              page->viewport()->width() - 2 * page->document()->documentMargin())
        << page->objectName().toStdString();
  }
}

struct Errors {
  std::vector<std::string> messages;
  NetStatWindow::ErrorHandler Handler() {
    return [this](const std::exception& e) { messages.push_back(e.what()); };
  }
};

QStringList Lines(const QPlainTextEdit* memo) {
  return memo->toPlainText().split(QLatin1Char('\n'));
}

TEST(NetStatWindowWidgetTest, LooksAsDrawnAndFillsItsPagesBeforeShowing) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  ScriptRefresh(agent, 631, 3000000000u);
  Errors errors;
  EXPECT_EQ(NetStatWindow::Instance(), nullptr);
  {
    NetStatWindow netStat(&table, errors.Handler());
    EXPECT_EQ(NetStatWindow::Instance(), &netStat);
    EXPECT_EQ(netStat.windowTitle(), "NetStat");
    EXPECT_TRUE(netStat.isModal());
    EXPECT_EQ(netStat.RefreshTimer().interval(), 2000);
    EXPECT_FALSE(netStat.RefreshTimer().isActive()) << "the timer runs only while the window shows";

    // Filled by the constructor, nothing shown yet.
    EXPECT_EQ(agent.Pending(), 0u);
    EXPECT_TRUE(errors.messages.empty());
    EXPECT_EQ(Lines(netStat.TcpPage()),
              (QStringList{NetStatText::TcpHeading(), "",
                           "127.0.0.1:631            0.0.0.0:0                LISTEN      4242    "
                           "cupsd          ",
                           "127.0.0.1:45678          127.0.0.1:8080           ESTABLISHED \u2013  "
                           "     \u2013              "}));
    const QStringList ifLines = Lines(netStat.InterfacePage());
    ASSERT_EQ(ifLines.size(), 4);
    EXPECT_TEXT(ifLines[0], NetStatText::InterfaceHeading());
    EXPECT_TEXT(ifLines[2],
                "1     lo                              65536 3000000000   14001 7            "
                "20001  21001  ");
    EXPECT_EQ(
        Lines(netStat.IpPage()),
        (QStringList{NetStatText::RouteHeading(), "",
                     "0.0.0.0/0                      10.0.0.1                   eth0             "
                     "kernel   100   ",
                     "127.0.0.0/8                    on-link                    lo               "
                     "kernel   0     "}));
    EXPECT_TEXT(Lines(netStat.AddressPage()).at(2),
                "127.0.0.1                      lo               -         -         ");
    EXPECT_TRUE(Lines(netStat.UdpPage()).at(2).startsWith("[::]:5353                [::]:0 "));
    EXPECT_TEXT(Lines(netStat.NeighbourPage()).at(2),
                "eth0             -                 fe80::1                   -             "
                "reachable ");

    netStat.show();
    Settle();
    EXPECT_TRUE(netStat.RefreshTimer().isActive());
    // No smaller than the classic window, and wide enough for every column.
    EXPECT_GE(netStat.width(), 526);
    EXPECT_GE(netStat.height(), 431);
    EXPECT_EQ(netStat.minimumSize(), QSize(526, 431));
    EXPECT_EQ(netStat.CloseButton()->text(), "Close");
    EXPECT_GE(netStat.CloseButton()->width(), 75);
    EXPECT_GE(netStat.CloseButton()->height(), 21);
    EXPECT_EQ(netStat.CloseButton()->geometry().center().x(),
              netStat.Pages()->geometry().center().x());
    EXPECT_GT(netStat.CloseButton()->y(), netStat.Pages()->geometry().bottom());
    EXPECT_LT(netStat.CloseButton()->geometry().bottom(), netStat.height());
    const QRect desktop = netStat.screen()->availableGeometry();
    EXPECT_LE(std::abs(netStat.frameGeometry().center().x() - desktop.center().x()), 20);
    EXPECT_LE(std::abs(netStat.frameGeometry().center().y() - desktop.center().y()), 40);
    ExpectNothingCut(netStat);

    const QStringList captions = {"INTERFACE", "TCP", "UDP", "IP", "NEIGHBOURS", "ADDRESSES"};
    ASSERT_EQ(netStat.Pages()->count(), captions.size());
    const std::vector<QPlainTextEdit*> pages = AllPages(netStat);
    for (int i = 0; i < captions.size(); ++i) {
      EXPECT_EQ(netStat.Pages()->tabText(i), captions[i]);
      EXPECT_EQ(netStat.Pages()->widget(i), pages[static_cast<size_t>(i)]);
    }
    // Every control says what it is to a screen reader.
    EXPECT_EQ(netStat.accessibleName(), "NetStat");
    EXPECT_EQ(netStat.Pages()->accessibleName(), "Network tables");
    EXPECT_EQ(netStat.CloseButton()->accessibleName(), "Close");
    QStringList names;
    for (QPlainTextEdit* memo : pages) {
      names << memo->accessibleName();
      EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch()) << memo->objectName().toStdString();
      EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
      EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
      EXPECT_TRUE(memo->isReadOnly());
      EXPECT_EQ(memo->palette().color(QPalette::Text), QColor(0, 0, 128));
    }
    EXPECT_EQ(names, (QStringList{"Interfaces", "TCP connections and listeners", "UDP endpoints",
                                  "Routes", "Neighbours", "Addresses"}));
    EXPECT_EQ(netStat.Pages()->tabBar()->palette().color(QPalette::WindowText), QColor(0, 0, 128));

    netStat.CloseButton()->click();
    EXPECT_FALSE(netStat.isVisible());
    EXPECT_FALSE(netStat.RefreshTimer().isActive());
  }
  EXPECT_EQ(NetStatWindow::Instance(), nullptr);
}

TEST(NetStatWindowWidgetTest, ALargerFontGrowsTheWindowAndCutsNothing) {
  const QFont normal = QApplication::font();
  int normalWidth = 0;
  {
    NetStatWindow netStat(nullptr, nullptr);
    normalWidth = netStat.width();
  }
  QFont large = normal;
  large.setPixelSize(QFontInfo(normal).pixelSize() * 3 / 2);
  QApplication::setFont(large);
  {
    NetStatWindow netStat(nullptr, nullptr);
    netStat.show();
    Settle();
    EXPECT_GT(netStat.width(), normalWidth);
    EXPECT_GT(QFontInfo(netStat.TcpPage()->font()).pixelSize(), 10);
    ExpectNothingCut(netStat);
    netStat.close();
  }
  QApplication::setFont(normal);
}

TEST(NetStatWindowWidgetTest, RunsModallyUntilClosedAndRefreshesOnEveryTick) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  ScriptRefresh(agent, 631, 1);
  Errors errors;
  NetStatWindow netStat(&table, errors.Handler());

  // Each tick walks the tables again and shows what changed.
  ScriptRefresh(agent, 8080, 2);
  int result = -1;
  bool timerRanInLoop = false;
  QTimer::singleShot(0, &netStat, [&] {
    timerRanInLoop = netStat.RefreshTimer().isActive();
    netStat.Refresh();
    netStat.CloseButton()->click();
  });
  result = netStat.exec();
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_TRUE(timerRanInLoop);
  EXPECT_FALSE(netStat.RefreshTimer().isActive());
  EXPECT_EQ(agent.Pending(), 0u);
  // One more: on loading, the table asks once whether the agent answers GET.
  EXPECT_EQ(agent.QueryCount(), 2u * test::NetStatScript{}.Queries() + 1);
  EXPECT_TRUE(Lines(netStat.TcpPage()).at(2).startsWith("127.0.0.1:8080 "));
  EXPECT_TRUE(Lines(netStat.InterfacePage()).at(2).contains(" 2            14001 "));
  EXPECT_TRUE(errors.messages.empty());
  EXPECT_EQ(NetStatWindow::Instance(), &netStat);

  // A window closed through its close box stops its timer as well.
  netStat.show();
  EXPECT_TRUE(netStat.RefreshTimer().isActive());
  netStat.close();
  EXPECT_FALSE(netStat.RefreshTimer().isActive());
}

TEST(NetStatWindowWidgetTest, AnEmptyTcpTableShowsItsHeadingAndTheOtherPagesTheirTables) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  ScriptRefresh(agent, 631, 1);
  Errors errors;
  NetStatWindow netStat(&table, errors.Handler());
  ASSERT_TRUE(netStat.InterfacePage()->toPlainText().contains("lo"));

  agent.Reset();
  agent.Walk({});  // no connections,
  agent.Walk({});  // no listeners,
  agent.Walk({});  // and no IPv4 connections either
  agent.InterfaceTable({FakeInterface{7, "changed"}});
  netStat.Refresh();

  EXPECT_EQ(Lines(netStat.TcpPage()), (QStringList{NetStatText::TcpHeading(), ""}));
  for (QPlainTextEdit* page : AllPages(netStat)) {
    const QStringList lines = Lines(page);
    EXPECT_TRUE(lines.size() >= 2 && !lines[0].isEmpty() && lines[1].isEmpty())
        << "a heading and the empty line under it";
  }
  EXPECT_TRUE(netStat.InterfacePage()->toPlainText().contains("\n7     changed"))
      << netStat.InterfacePage()->toPlainText().toStdString();
  EXPECT_FALSE(netStat.IpPage()->toPlainText().contains("127.0.0.0"))
      << "the routes this refresh found: none";
  EXPECT_TRUE(errors.messages.empty());
}

struct NestedTick {
  NetStatWindow* netStat = nullptr;
  FakeAgent* agent = nullptr;
  bool timerActiveDuringReport = true;
  unsigned queriesBefore = 0;
  unsigned queriesAfter = 0;
  bool visibleDuringReport = false;
};

TEST(NetStatWindowWidgetTest, AnAgentErrorIsReportedOnEveryTickAndTheWindowStays) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  ScriptRefresh(agent, 631, 1);
  NestedTick nested;
  std::vector<std::string> messages;
  NetStatWindow netStat(&table, [&](const std::exception& e) {
    messages.push_back(e.what());
    // The report is modal and runs an event loop; a tick that comes in
    // meanwhile must not start another refresh and another report.
    nested.timerActiveDuringReport = nested.netStat->RefreshTimer().isActive();
    nested.visibleDuringReport = nested.netStat->isVisible();
    nested.queriesBefore = nested.agent->QueryCount();
    nested.netStat->Refresh();
    nested.queriesAfter = nested.agent->QueryCount();
  });
  nested.netStat = &netStat;
  nested.agent = &agent;
  netStat.show();
  Settle();
  const QString routes = netStat.IpPage()->toPlainText();

  // TCP fine, then the agent fails in the middle of the interface walk.
  agent.Reset();
  const std::vector<uint32_t> connection = {1, 4, 10, 0, 0, 5, 22, 1, 4, 10, 0, 0, 9, 50123};
  agent.Walk({test::FakeCell({1, 3, 6, 1, 2, 1, 6, 19, 1}, 7, connection, ASN_INTEGER, 5)});
  agent.Walk({});
  agent.Integer(1);
  agent.Named({1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 1});
  agent.String("lo");
  agent.Named({1, 3, 6, 1, 2, 1, 2, 2, 1, 2, 1});
  agent.Failure();
  agent.RouteTable({{{10, 0, 0, 0}, 2}});
  netStat.Refresh();

  ASSERT_EQ(messages, (std::vector<std::string>{"SNMP query failed."}));
  EXPECT_FALSE(nested.timerActiveDuringReport);
  EXPECT_TRUE(nested.visibleDuringReport);
  EXPECT_EQ(nested.queriesAfter, nested.queriesBefore) << "a nested tick walked the tables";
  EXPECT_TRUE(netStat.isVisible());
  EXPECT_TRUE(netStat.RefreshTimer().isActive()) << "the next tick tries again";
  EXPECT_TEXT(Lines(netStat.TcpPage()).at(2),
              "10.0.0.5:22              10.0.0.9:50123           ESTABLISHED \u2013       \u2013 "
              "             ");
  EXPECT_EQ(netStat.InterfacePage()->toPlainText(), "");
  EXPECT_EQ(netStat.IpPage()->toPlainText(), routes);

  // As long as the failure lasts, every tick reports it.
  agent.Reset();
  agent.Failure();
  netStat.Refresh();
  agent.Reset();
  agent.Failure();
  netStat.Refresh();
  EXPECT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages.back(), "SNMP query failed.");
  EXPECT_EQ(netStat.TcpPage()->toPlainText(), "");
  EXPECT_EQ(netStat.IpPage()->toPlainText(), routes);
  EXPECT_TRUE(netStat.isVisible());

  // Once the agent answers again, so do the pages.
  agent.Reset();
  ScriptRefresh(agent, 631, 1);
  netStat.Refresh();
  EXPECT_EQ(messages.size(), 3u);
  EXPECT_TRUE(netStat.InterfacePage()->toPlainText().contains("lo"));
  EXPECT_TRUE(netStat.RefreshTimer().isActive());
  netStat.close();
}

TEST(NetStatWindowWidgetTest, WithoutATableComponentEveryRefreshReportsTheMissingAgent) {
  Errors errors;
  NetStatWindow netStat(nullptr, errors.Handler());
  ASSERT_EQ(errors.messages,
            (std::vector<std::string>{"SNMP extension agent library is not available."}));
  netStat.show();
  netStat.Refresh();
  EXPECT_EQ(errors.messages.size(), 2u);
  EXPECT_TRUE(netStat.isVisible());
  EXPECT_TRUE(netStat.RefreshTimer().isActive());
  for (QPlainTextEdit* memo : AllPages(netStat)) {
    EXPECT_EQ(memo->toPlainText(), "");
  }
  netStat.close();

  // A component freed while the window is open (the main window ends) is
  // an agent that has gone, not a dangling pointer.
  {
    FakeAgent agent;
    auto table = std::make_unique<InterfaceTable>(nullptr, test::FakeAgentPath());
    ScriptRefresh(agent, 631, 1);
    Errors later;
    NetStatWindow second(table.get(), later.Handler());
    ASSERT_TRUE(later.messages.empty());
    ASSERT_TRUE(second.TcpPage()->toPlainText().contains("LISTEN"));
    table.reset();
    second.Refresh();
    EXPECT_EQ(later.messages,
              (std::vector<std::string>{"SNMP extension agent library is not available."}));
    EXPECT_EQ(second.TcpPage()->toPlainText(), "");
    EXPECT_TRUE(second.InterfacePage()->toPlainText().contains("lo"));
  }

  // A missing handler loses the report but not the window.
  NetStatWindow quiet(nullptr, nullptr);
  quiet.show();
  quiet.Refresh();
  EXPECT_TRUE(quiet.isVisible());
  EXPECT_TRUE(quiet.RefreshTimer().isActive());
}

TEST(NetStatWindowWidgetTest, LongTablesShowEveryRowAndKeepTheReadersPlace) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  test::NetStatScript refresh;
  refresh.connections.clear();
  for (int i = 0; i < 3000; ++i) {
    refresh.connections.push_back({{127, 0, 0, 1}, 10000 + i, {127, 0, 0, 1}, 40000 + i, 5});
  }
  const auto script = [&] { refresh.Push(agent); };
  script();
  Errors errors;
  NetStatWindow netStat(&table, errors.Handler());
  netStat.show();
  netStat.Pages()->setCurrentWidget(netStat.TcpPage());
  Settle();
  // The listener first, then the connections in index order.
  EXPECT_EQ(netStat.TcpPage()->blockCount(), 3003);
  EXPECT_TEXT(netStat.TcpPage()->document()->findBlockByNumber(3002).text(),
              "127.0.0.1:12999          127.0.0.1:42999          ESTABLISHED \u2013       \u2013 "
              "             ");

  QScrollBar* bar = netStat.TcpPage()->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 2000);
  bar->setValue(1500);
  Settle();

  // Unchanged tables: the page is not set again.
  int changes = 0;
  QObject::connect(netStat.TcpPage(), &QPlainTextEdit::textChanged, [&] { ++changes; });
  script();
  netStat.Refresh();
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(bar->value(), 1500);

  // A connection changes state: the new text comes in at the same place.
  refresh.connections[2500].state = 8;
  script();
  netStat.Refresh();
  Settle();
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(netStat.TcpPage()->document()->findBlockByNumber(2503).text().startsWith(
      "127.0.0.1:12500          127.0.0.1:42500          CLOSE_WAIT "));
  EXPECT_EQ(bar->value(), 1500);
  EXPECT_EQ(agent.Pending(), 0u);
  EXPECT_TRUE(errors.messages.empty());
}

// Stands in for the main window around the measurement tick.
class QuietHost : public TickHost {
 public:
  void SetCalcTimerEnabled(bool) override {}
  void StartDownload() override {}
  void PublishResults(double up, double down) override {
    this->up = up;
    this->down = down;
    ++published;
  }
  void HandleException(const std::exception& e) override { errors.push_back(e.what()); }
  double up = -1;
  double down = -1;
  int published = 0;
  std::vector<std::string> errors;
};

class SteppingClock : public TickClock {
 public:
  uint32_t TickCount() const override { return now; }
  uint32_t now = 1000;
};

TEST(NetStatWindowWidgetTest, MeasurementTicksAndRefreshesTakeTurnsOnTheOneComponent) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  MeasurementState state;
  state.AnalysisActive = true;
  state.AdapterIndex = 2;  // eth0, the second interface row
  QuietHost host;
  SteppingClock clock;
  CounterSampler sampler(state, &table, host, clock);

  // A reading, the window's refresh, then a reading again: the tick walks
  // the interfaces itself, so the route rows the window left behind do not
  // disturb it.
  sampler.Tick();  // the first tick only notes the time
  clock.now += 1000;
  agent.InterfaceTable({FakeInterface{1, "lo", 0, 0}, FakeInterface{2, "eth0", 1000, 500}});
  sampler.Tick();
  ASSERT_EQ(agent.Pending(), 0u);
  ScriptRefresh(agent, 631, 1);
  Errors errors;
  NetStatWindow netStat(&table, errors.Handler());
  ASSERT_EQ(table.Count(), 2);
  EXPECT_EQ(table.Items(1).IfInOctets, 0u) << "the window's interface walk came last";

  clock.now += 1000;
  agent.InterfaceTable({FakeInterface{1, "lo", 0, 0}, FakeInterface{2, "eth0", 3000, 1500}});
  host.published = 0;
  sampler.Tick();
  EXPECT_TRUE(host.errors.empty());
  EXPECT_EQ(host.published, 1);
  EXPECT_DOUBLE_EQ(host.down, 2000.0);
  EXPECT_DOUBLE_EQ(host.up, 1000.0);

  // And the window's next refresh is not disturbed by the tick's rows.
  ScriptRefresh(agent, 22, 1);
  netStat.Refresh();
  EXPECT_TRUE(errors.messages.empty());
  EXPECT_TRUE(Lines(netStat.TcpPage()).at(2).startsWith("127.0.0.1:22 "));
  EXPECT_EQ(agent.Pending(), 0u);
}

// A socket closed when the test ends, whatever happens.
struct Socket {
  int fd = -1;
  explicit Socket(int f) : fd(f) {}
  ~Socket() {
    if (fd >= 0) {
      ::close(fd);
    }
  }
};

int PortOf(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

TEST(NetStatWindowWidgetTest, TheRealAgentShowsAListeningSocketOfThisMachine) {
  Socket listener(socket(AF_INET, SOCK_STREAM, 0));
  ASSERT_GE(listener.fd, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  ASSERT_EQ(bind(listener.fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener.fd, 4), 0);
  const int port = PortOf(listener.fd);
  address.sin_port = htons(static_cast<uint16_t>(port));
  Socket client(socket(AF_INET, SOCK_STREAM, 0));
  ASSERT_EQ(connect(client.fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  Socket served(accept(listener.fd, nullptr, nullptr));
  ASSERT_GE(served.fd, 0);
  const int clientPort = PortOf(client.fd);

  InterfaceTable table(nullptr, QStringLiteral(VELMAR_BIN_DIR "/libmib2.so"));
  Errors errors;
  NetStatWindow netStat(&table, errors.Handler());
  netStat.show();
  Settle();
  EXPECT_TRUE(errors.messages.empty());

  // Printed with the C library, independently of the window's own code:
  // each socket with this process as its owner, by id and name.
  char comm[64] = {};
  FILE* self = std::fopen("/proc/self/comm", "r");
  ASSERT_NE(self, nullptr);
  ASSERT_NE(std::fgets(comm, sizeof comm, self), nullptr);
  std::fclose(self);
  comm[std::strcspn(comm, "\n")] = '\0';
  const auto line = [&](int local, const char* remote, int remotePort, const char* state) {
    const std::string from = "127.0.0.1:" + std::to_string(local);
    const std::string to = std::string(remote) + ":" + std::to_string(remotePort);
    return QString::asprintf("%-24s %-24s %-11s %-7d %-15s", from.c_str(), to.c_str(), state,
                             static_cast<int>(getpid()), comm);
  };
  const QStringList tcp = Lines(netStat.TcpPage());
  EXPECT_EQ(tcp.at(0), NetStatText::TcpHeading());
  EXPECT_TRUE(tcp.contains(line(port, "0.0.0.0", 0, "LISTEN")))
      << netStat.TcpPage()->toPlainText().toStdString();
  EXPECT_TRUE(tcp.contains(line(clientPort, "127.0.0.1", port, "ESTABLISHED")));
  EXPECT_TRUE(tcp.contains(line(port, "127.0.0.1", clientPort, "ESTABLISHED")));

  // The loopback interface is on the interface page.
  const QStringList interfaces = Lines(netStat.InterfacePage());
  EXPECT_EQ(interfaces.at(0), NetStatText::InterfaceHeading());
  bool loopback = false;
  for (const QString& line : interfaces) {
    loopback = loopback || line.mid(6, 21) == "lo                   ";
  }
  EXPECT_TRUE(loopback) << netStat.InterfacePage()->toPlainText().toStdString();
  EXPECT_EQ(Lines(netStat.IpPage()).at(0), NetStatText::RouteHeading());

  // The listener goes; the next refresh no longer shows it.
  ::close(listener.fd);
  listener.fd = -1;
  netStat.Refresh();
  EXPECT_FALSE(Lines(netStat.TcpPage()).contains(line(port, "0.0.0.0", 0, "LISTEN")));
  EXPECT_TRUE(errors.messages.empty());
  netStat.close();
}

}  // namespace
}  // namespace velmar
