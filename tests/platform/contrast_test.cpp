#include "platform/paint/contrast.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(ContrastTest, RatiosFollowTheWcagFormula) {
  EXPECT_DOUBLE_EQ(ContrastRatio(Qt::black, Qt::white), 21.0);
  EXPECT_DOUBLE_EQ(ContrastRatio(Qt::white, Qt::black), 21.0) << "either order";
  EXPECT_DOUBLE_EQ(ContrastRatio(QColor(90, 90, 90), QColor(90, 90, 90)), 1.0);
  // The well-known greys either side of AA on white: #777 fails, #767676
  // passes; the low-channel branch of the sRGB curve (below 0.04045).
  EXPECT_NEAR(ContrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
  EXPECT_NEAR(ContrastRatio(QColor(0x76, 0x76, 0x76), Qt::white), 4.54, 0.01);
  EXPECT_NEAR(RelativeLuminance(QColor(10, 10, 10)), 10 / 255.0 / 12.92, 1e-9);
  // The meter's panel with white text: the unreadable 1.3 of a dark theme.
  EXPECT_LT(ContrastRatio(QColor(247, 225, 174), Qt::white), 1.4);
}

TEST(ContrastTest, ReadableMovesAColourOnlyAsFarAsNeeded) {
  // Pure red on white is 4.0: deepened, still red.
  const QColor red = Readable(Qt::red, Qt::white);
  EXPECT_GE(ContrastRatio(red, Qt::white), 4.5);
  EXPECT_LT(ContrastRatio(red, Qt::white), 5.2) << "not further than it takes";
  EXPECT_GT(red.red(), 150);
  EXPECT_EQ(red.green(), 0);
  // On a dark field it is lightened instead.
  const QColor onDark = Readable(Qt::red, QColor(25, 25, 25));
  EXPECT_GE(ContrastRatio(onDark, QColor(25, 25, 25)), 4.5);
  EXPECT_GT(onDark.green(), 0);
  // Colours that read already stay as they are; a 3:1 goal for graphics.
  EXPECT_EQ(Readable(Qt::black, QColor(240, 231, 198)), QColor(Qt::black));
  const QColor shackle = Readable(QColor(90, 90, 90), QColor(53, 53, 53), 3.0);
  EXPECT_GE(ContrastRatio(shackle, QColor(53, 53, 53)), 3.0);
  EXPECT_EQ(Readable(QColor(90, 90, 90), QColor(239, 239, 239), 3.0), QColor(90, 90, 90));
  // A goal no colour reaches ends at black or white.
  EXPECT_EQ(Readable(Qt::gray, QColor(128, 128, 128), 30), QColor(Qt::black));
}

TEST(ContrastTest, ADarkPaletteHasTextLighterThanItsWindow) {
  EXPECT_TRUE(IsDark(QColor(53, 53, 53), Qt::white));
  EXPECT_FALSE(IsDark(QColor(239, 239, 239), Qt::black));
}

}  // namespace
}  // namespace velmar
