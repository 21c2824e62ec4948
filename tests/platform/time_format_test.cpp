#include "platform/time_format.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(TimeFormatTest, DropsTheZoneWordsAndTheBlanksBeforeThemOnly) {
  EXPECT_EQ(WithoutTimeZone(QStringLiteral("HH:mm:ss t")), QStringLiteral("HH:mm:ss"));
  EXPECT_EQ(WithoutTimeZone(QStringLiteral("h:mm:ss AP tttt")), QStringLiteral("h:mm:ss AP"));
  EXPECT_EQ(WithoutTimeZone(QStringLiteral("t HH:mm")), QStringLiteral(" HH:mm"));
  EXPECT_EQ(WithoutTimeZone(QStringLiteral("HH:mm (t)")), QStringLiteral("HH:mm ()"));
  // A "t" inside a word is quoted text, not a field.
  EXPECT_EQ(WithoutTimeZone(QStringLiteral("HH 'at' mm")), QStringLiteral("HH 'at' mm"));
  EXPECT_EQ(WithoutTimeZone(QStringLiteral("HH:mm:ss")), QStringLiteral("HH:mm:ss"));
}

}  // namespace
}  // namespace velmar
