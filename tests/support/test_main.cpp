#include <gtest/gtest.h>

#include <QCoreApplication>

// Tests that need an event loop get one; the application object also gives
// QCoreApplication::applicationDirPath() a value.
int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
