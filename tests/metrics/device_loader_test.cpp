#include "metrics/device_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "interfaces/remote_source.h"

namespace velmar {
namespace {

using ::testing::HasSubstr;

// A loopback UDP port nothing listens on: bound by the kernel's choice,
// then closed.
uint16_t ClosedUdpPort() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  close(fd);
  return ntohs(a.sin_port);
}

std::string LoadError(const RemoteSource& device, QThreadPool& pool) {
  try {
    LoadDeviceInterfaces(device, pool);
  } catch (const MetricsError& e) {
    return e.what();
  }
  return "loaded";
}

// One process, one library for its life: the failures come before the load.
TEST(DeviceLoaderTest, LoadsThePollingOnceAndSaysWhyItCannot) {
  QThreadPool pool;
  RemoteSource device;
  device.host = QStringLiteral("127.0.0.1");
  device.port = ClosedUdpPort();
  device.community = QStringLiteral("public");

  qputenv("VELMAR_DEVICES_LIBRARY", "/nonexistent/libmib2devices.so");
  EXPECT_THAT(LoadError(device, pool), HasSubstr("/nonexistent/libmib2devices.so cannot be"));
  qputenv("VELMAR_DEVICES_LIBRARY", VELMAR_BIN_DIR "/libmib2.so");
  EXPECT_THAT(LoadError(device, pool), HasSubstr("has no VelmarDeviceInterfacesNew entry"));

  qputenv("VELMAR_DEVICES_LIBRARY", VELMAR_BIN_DIR "/libmib2devices.so");
  std::unique_ptr<InterfaceSource> source = LoadDeviceInterfaces(device, pool);
  ASSERT_NE(source, nullptr);
  // A device that does not answer: told within the scrape's time.
  std::optional<InterfaceGathering> got;
  source->Gather([&got](const InterfaceGathering& g) { got = g; }, 1000);
  QElapsedTimer clock;
  clock.start();
  while (!got && clock.elapsed() < 4000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  ASSERT_TRUE(got);
  EXPECT_FALSE(got->answered);
  EXPECT_FALSE(got->reason.isEmpty());

  qputenv("VELMAR_DEVICES_LIBRARY", "/nonexistent/libmib2devices.so");
  EXPECT_NE(LoadDeviceInterfaces(device, pool), nullptr) << "loaded once, for good";
  qunsetenv("VELMAR_DEVICES_LIBRARY");
  source.reset();
}

}  // namespace
}  // namespace velmar
