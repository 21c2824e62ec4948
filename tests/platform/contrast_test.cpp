#include "platform/paint/contrast.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmar {
namespace {

TEST(ContrastTest, RatiosFollowTheWcagFormulaAndReadableMovesOnlyAsFarAsNeeded) {
  EXPECT_DOUBLE_EQ(ContrastRatio(Qt::black, Qt::white), 21.0);
  EXPECT_DOUBLE_EQ(ContrastRatio(Qt::white, Qt::black), 21.0) << "either order";
  // The well-known greys either side of AA on white: #777 fails, #767676
  // passes.
  EXPECT_NEAR(ContrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
  EXPECT_NEAR(ContrastRatio(QColor(0x76, 0x76, 0x76), Qt::white), 4.54, 0.01);
  EXPECT_NEAR(RelativeLuminance(QColor(10, 10, 10)), 10 / 255.0 / 12.92, 1e-9) << "low branch";
  for (int v = 11; v < 256; ++v) {
    const double c = v / 255.0;
    const double expected = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    ASSERT_NEAR(RelativeLuminance(QColor(v, v, v)), expected, 1e-12) << "channel " << v;
  }

  // Pure red on white is 4.0: deepened, still red, not further than needed.
  const QColor red = Readable(Qt::red, Qt::white);
  EXPECT_GE(ContrastRatio(red, Qt::white), 4.5);
  EXPECT_LT(ContrastRatio(red, Qt::white), 5.2);
  EXPECT_EQ(red.green(), 0);
  // On a dark field it is lightened instead; what reads already stays.
  EXPECT_GE(ContrastRatio(Readable(Qt::red, QColor(25, 25, 25)), QColor(25, 25, 25)), 4.5);
  EXPECT_EQ(Readable(QColor(90, 90, 90), QColor(239, 239, 239), 3.0), QColor(90, 90, 90));
  EXPECT_EQ(Readable(Qt::gray, QColor(128, 128, 128), 30), QColor(Qt::black)) << "unreachable";
  EXPECT_TRUE(IsDark(QColor(53, 53, 53), Qt::white));
  EXPECT_FALSE(IsDark(QColor(239, 239, 239), Qt::black));
}

}  // namespace
}  // namespace velmar
