#include "net/socket_error.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "net/net_test_support.h"

namespace velmar {
namespace {

TEST(NetworkErrorTable, EveryCodeHasItsExactText) {
  const std::vector<std::pair<uint16_t, const char*>> table = {
      {10000, "[0] No Error"},
      {10004, "[10004] Interrupted function call"},
      {10009, "[10009] Bad file number"},
      {10013, "[10013] Permission denied."},
      {10014, "[10014] Bad address"},
      {10022, "[10022] Invalid argument"},
      {10024, "[10024] Too many open files"},
      {10035, "[10035] Resource temporarily not available"},
      {10036, "[10036] Operation now in progress"},
      {10037, "[10037] Operation already in progress"},
      {10038, "[10038] Socket operation on non-socket"},
      {10039, "[10039] Destination address required"},
      {10040, "[10040] Message too long"},
      {10041, "[10041] Protocol wrong type for socket"},
      {10042, "[10042] Bad protocol option"},
      {10043, "[10043] Protocol not supported"},
      {10044, "[10044] Socket type not supported"},
      {10045, "[10045] Operation not supported"},
      {10046, "[10046] Protocol family not supported"},
      {10047, "[10047] Address family not supported by protocol family"},
      {10048, "[10048] Address already in use"},
      {10049, "[10049] Cannot assign requested address"},
      {10050, "[10050] Network is down"},
      {10051, "[10051] Network is unreachable"},
      {10052, "[10052] Network dropped connection or reset"},
      {10053, "[10053] Software caused connection abort"},
      {10054, "[10054] Connection reset by peer"},
      {10055, "[10055] No buffer space available"},
      {10056, "[10056] Socket is already connected"},
      {10057, "[10057] Socket is not connected"},
      {10058, "[10058] Can't send after socket shutdown"},
      {10059, "[10059] Too many references, can't splice"},
      {10060, "[10060] Connection timed out"},
      {10061, "[10061] Connection refused"},
      {10062, "[10062] Too many levels of symbolic links"},
      {10063, "[10063] File name too long"},
      {10064, "[10064] Host is down"},
      {10065, "[10065] No Route to Host"},
      {10066, "[10066] Directory not empty"},
      {10067, "[10067] Too many processes"},
      {10068, "[10068] Too many users"},
      {10069, "[10069] Disc Quota Exceeded"},
      {10070, "[10070] Stale NFS file handle"},
      {10071, "[10071] Too many levels of remote in path"},
      {10091, "[10091] Network subsystem is unavailable"},
      {10092, "[10092] WINSOCK DLL Version out of range"},
      {10093, "[10093] Successful WSAStartup() not yet performed"},
      {10094, "[10094] Graceful shutdown in progress"},
      {11001, "[11001] Host not found"},
      {11002, "[11002] Non-Authoritative Host not found"},
      {11003, "[11003] Non-Recoverable errors: FORMERR, REFUSED, NOTIMP"},
      {11004, "[11004] Valid name, no data record of requested type"},
  };
  for (const auto& [code, text] : table) {
    EXPECT_EQ(NetworkErrorText(code), QString::fromLatin1(text)) << code;
    EXPECT_EQ(NetworkError(code).Message(), QString::fromLatin1(text)) << code;
  }
  // Codes between the entries, and the bare 0, have no text of their own.
  EXPECT_EQ(NetworkErrorText(0), QStringLiteral("Winsock error no 0"));
  EXPECT_EQ(NetworkErrorText(10001), QStringLiteral("Winsock error no 10001"));
  EXPECT_EQ(NetworkErrorText(10072), QStringLiteral("Winsock error no 10072"));
  EXPECT_EQ(NetworkErrorText(11005), QStringLiteral("Winsock error no 11005"));
  EXPECT_EQ(NetworkErrorText(65535), QStringLiteral("Winsock error no 65535"));
  EXPECT_EQ(NetworkError(10061).Code(), 10061);
}

TEST(NetworkErrorTable, PosixAndLookupCodesMapToTheSameConditions) {
  EXPECT_EQ(NetworkCodeFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(NetworkCodeFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(NetworkCodeFromErrno(ECONNRESET), 10054);
  EXPECT_EQ(NetworkCodeFromErrno(EPIPE), 10054);
  EXPECT_EQ(NetworkCodeFromErrno(ECONNABORTED), 10053);
  EXPECT_EQ(NetworkCodeFromErrno(ENETUNREACH), 10051);
  EXPECT_EQ(NetworkCodeFromErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(NetworkCodeFromErrno(ENETDOWN), 10050);
  EXPECT_EQ(NetworkCodeFromErrno(EADDRINUSE), 10048);
  EXPECT_EQ(NetworkCodeFromErrno(EMFILE), 10024);
  EXPECT_EQ(NetworkCodeFromErrno(EAGAIN), 10035);
  EXPECT_EQ(NetworkCodeFromErrno(EINPROGRESS), 10036);
  EXPECT_EQ(NetworkCodeFromErrno(EBADF), 10009);
  EXPECT_EQ(NetworkCodeFromErrno(ENOTCONN), 10057);
  EXPECT_EQ(NetworkCodeFromErrno(EACCES), 10013);
  // An errno without a counterpart keeps its number, above 10000.
  EXPECT_EQ(NetworkErrorText(NetworkCodeFromErrno(ENOENT)),
            QStringLiteral("Winsock error no %1").arg(10000 + ENOENT));

  EXPECT_EQ(NetworkCodeFromAddrInfo(EAI_NONAME, 0), 11001);
  EXPECT_EQ(NetworkCodeFromAddrInfo(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(NetworkCodeFromAddrInfo(EAI_FAIL, 0), 11003);
  EXPECT_EQ(NetworkCodeFromAddrInfo(EAI_NODATA, 0), 11004);
  EXPECT_EQ(NetworkCodeFromAddrInfo(EAI_MEMORY, 0), 10055);
  EXPECT_EQ(NetworkCodeFromAddrInfo(EAI_SYSTEM, EMFILE), 10024);
}

TEST(SocketErrors, CarryTheirTextsAndShareOneBase) {
  EXPECT_EQ(TimedOutError().Message(), QStringLiteral("Operation timed out"));
  EXPECT_EQ(CanceledError().Message(), QStringLiteral("Operation has been canceled"));
  EXPECT_EQ(SocketError(kStreamError).Message(), QStringLiteral("Error receiving the stream"));
  // The application's error handler catches them as its own.
  try {
    throw CanceledError();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Operation has been canceled");
  }
  try {
    throw NetworkError(11001);
  } catch (const SocketError& e) {
    EXPECT_STREQ(e.what(), "[11001] Host not found");
  }
}

}  // namespace
}  // namespace velmar
