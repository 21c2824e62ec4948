#include "metrics/basic_auth.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

// htpasswd -nbBC 4 prometheus good-password
constexpr char kHash[] = "$2y$04$s3wnIBWigW.3.l.vBBnKkegnWiO/w3b0KfYqUw.SxyS1GPL2/tuki";

QByteArray Basic(const QByteArray& credentials) {
  return "Basic " + credentials.toBase64();
}

class BasicAuthTest : public ::testing::Test {
 protected:
  BasicAuth auth{{{"prometheus", kHash}}};
};

TEST_F(BasicAuthTest, GoodPasswordCostsOneBcryptHoweverOftenSent) {
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(auth.Admits(Basic("prometheus:good-password")));
  }
  EXPECT_EQ(auth.BcryptRuns(), 1);
}

TEST_F(BasicAuthTest, WrongPasswordIsCheckedEachTimeAndNeverRemembered) {
  EXPECT_FALSE(auth.Admits(Basic("prometheus:good-passwor")));
  EXPECT_FALSE(auth.Admits(Basic("prometheus:good-password ")));
  EXPECT_TRUE(auth.Admits(Basic("prometheus:good-password")));
  EXPECT_FALSE(auth.Admits(Basic("prometheus:good-passwor")));
  EXPECT_EQ(auth.BcryptRuns(), 4);
}

TEST_F(BasicAuthTest, UnknownUserCostsABcryptAsAWrongPasswordDoes) {
  EXPECT_FALSE(auth.Admits(Basic("someone:good-password")));
  EXPECT_EQ(auth.BcryptRuns(), 1);
}

TEST_F(BasicAuthTest, MalformedCredentialsAreRefusedWithoutBcrypt) {
  for (const QByteArray& value :
       {QByteArray(), QByteArray("Bearer abc"), QByteArray("Basic !!!notbase64"), Basic("no-colon"),
        Basic(QByteArray("prometheus:good-password\0x", 26))}) {
    EXPECT_FALSE(auth.Admits(value)) << value.constData();
  }
  EXPECT_EQ(auth.BcryptRuns(), 0);
  EXPECT_TRUE(auth.Admits("basic   " + QByteArray("prometheus:good-password").toBase64()));
}

TEST_F(BasicAuthTest, GuessesBeyondTheBudgetAreRefusedUncheckedUntilTheNextSecond) {
  int64_t now = 5000;
  auth.Now = [&now] { return now; };
  EXPECT_TRUE(auth.Admits(Basic("prometheus:good-password")));
  for (int i = 0; i < BasicAuth::kChecksPerSecond + 3; ++i) {
    EXPECT_FALSE(auth.Admits(Basic("prometheus:guess" + QByteArray::number(i))));
  }
  EXPECT_EQ(auth.BcryptRuns(), BasicAuth::kChecksPerSecond);
  EXPECT_EQ(auth.Refused(), 4);
  // The scraper's remembered password still gets in.
  EXPECT_TRUE(auth.Admits(Basic("prometheus:good-password")));
  now += 1000;
  EXPECT_FALSE(auth.Admits(Basic("prometheus:guess")));
  EXPECT_EQ(auth.BcryptRuns(), BasicAuth::kChecksPerSecond + 1);
}

TEST(BasicAuth, AdmitsEveryoneWithoutUsers) {
  BasicAuth open({});
  EXPECT_FALSE(open.Enabled());
  EXPECT_TRUE(open.Admits({}));
}

}  // namespace
}  // namespace velmar
