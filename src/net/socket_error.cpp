#include "net/socket_error.h"

#include <netdb.h>

#include <cerrno>
#include <map>

namespace velmar {

namespace {

const std::map<uint16_t, const char*>& Table() {
  static const std::map<uint16_t, const char*> table = {
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
  return table;
}

// The error number of each errno value that has one. A write to a peer
// that has gone (EPIPE) is a reset, as the peer's own reset is.
constexpr struct {
  int error;
  uint16_t code;
} kErrnoCodes[] = {
    {EINTR, 10004},        {EBADF, 10009},           {EACCES, 10013},
    {EPERM, 10013},        {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},       {ENFILE, 10024},          {EAGAIN, 10035},
    {EINPROGRESS, 10036},  {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},  {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},   {EPIPE, 10054},           {ENOBUFS, 10055},
    {ENOMEM, 10055},       {EISCONN, 10056},         {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},    {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061}, {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
    {EUSERS, 10068},       {EDQUOT, 10069},          {ESTALE, 10070},
    {EREMOTE, 10071},
};

}  // namespace

uint16_t NetworkCodeFromErrno(int error) {
  if (error == 0) {
    return 10000;
  }
  for (const auto& entry : kErrnoCodes) {
    if (entry.error == error) {
      return entry.code;
    }
  }
  // Socket errors are numbered from 10000 on; an errno without a number of
  // its own keeps its value there.
  return static_cast<uint16_t>(10000 + (error & 0x3FF));
}

QString NetworkErrorText(uint16_t code) {
  const auto& table = Table();
  const auto it = table.find(code);
  if (it == table.end()) {
    return QStringLiteral("Winsock error no ") + QString::number(code);
  }
  return QString::fromLatin1(it->second);
}

NetworkError::NetworkError(uint16_t code) : SocketError(NetworkErrorText(code)), code_(code) {}

NetworkError::NetworkError(uint16_t code, const QString& what)
    : SocketError(QStringLiteral("%1 (%2)").arg(NetworkErrorText(code), what)), code_(code) {}

uint16_t NetworkCodeFromAddrInfo(int result, int savedErrno) {
  switch (result) {
    case 0:
      return 10000;
    case EAI_NONAME:
      return 11001;
    case EAI_AGAIN:
      return 11002;
    case EAI_FAIL:
      return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return 11004;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return 11004;
#endif
    case EAI_MEMORY:
      return 10055;
    case EAI_FAMILY:
      return 10047;
    case EAI_SOCKTYPE:
      return 10044;
    case EAI_SYSTEM:
      return NetworkCodeFromErrno(savedErrno);
    default:
      return 11003;
  }
}

}  // namespace velmar
