#include <gtest/gtest.h>

#include <QTabBar>
#include <stdexcept>

#include "measure/measurement_state.h"
#include "netstat/widgets/net_stat_window.h"

namespace velmar {
namespace {

// The PROGRAMS page comes with this computer's figures and is filled even
// when the agent's tables fail; sorting the TCP page refreshes it.
TEST(ProgramPageWidget, ProgramsPageBesideTheAgentsPages) {
  int errors = 0;
  NetStatWindow netStat(nullptr, [&](const std::exception&) { ++errors; });
  const int pages = netStat.Pages()->count();
  EXPECT_EQ(netStat.ProgramsPage(), nullptr);
  MeasurementState state;
  netStat.ShowPrograms(state);
  ASSERT_NE(netStat.ProgramsPage(), nullptr);
  EXPECT_EQ(netStat.Pages()->count(), pages + 1);
  EXPECT_EQ(netStat.Pages()->tabText(pages), QStringLiteral("PROGRAMS"));
  const QString text = netStat.ProgramsPage()->toPlainText();
  EXPECT_TRUE(text.startsWith(ProgramPageText::Heading().trimmed())) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("\"not attributed\": "))) << text.toStdString();
  const int before = errors;
  netStat.SortTcp(TcpSort::kReceiveRate);
  EXPECT_EQ(errors, before + 1) << "a sort refreshes the pages (here: the agent still away)";
}

}  // namespace
}  // namespace velmar
