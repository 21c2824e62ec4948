/* The C interface between the meter and a MIB-II extension agent library
 * (libmib2.so). Both sides are built from this header; any library that
 * exports the two entries below with these records can stand in for the
 * agent (tests load a scripted one).
 *
 * Memory: the caller owns the binding list and the name it puts into a
 * binding before a query. On a true result the agent has pointed the
 * binding's name, and a string or object-identifier value, at storage the
 * agent owns. That storage stays valid until the next query on the same
 * thread or until the library is unloaded; the caller never frees it. */
#ifndef VELMAR_SNMP_ABI_H
#define VELMAR_SNMP_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
  ASN_INTEGER = 0x02,
  ASN_OCTETSTRING = 0x04,
  ASN_NULL = 0x05,
  ASN_OBJECTIDENTIFIER = 0x06,
  ASN_IPADDRESS = 0x40,
  ASN_COUNTER32 = 0x41,
  ASN_GAUGE32 = 0x42,
  ASN_TIMETICKS = 0x43,
  ASN_COUNTER64 = 0x46
};

enum { SNMP_PDU_GET = 0xA0, SNMP_PDU_GETNEXT = 0xA1 };

/* The agent's own object, answered to GET alone (walks never meet it):
 * when the reading the other answers of the same GET come from was taken,
 * in microseconds of the agent's monotonic clock (Counter64). For this
 * computer, the read of the kernel; for a device, the arrival of its
 * answer. A meter divides what counters moved by the time between two such
 * readings, not by the time between its own ticks. */
#define VELMAR_READING_TIME_OID \
  { 1, 3, 6, 1, 4, 1, 32473, 1, 2, 0 }
enum { VELMAR_READING_TIME_OID_LENGTH = 10 };

typedef struct AsnObjectIdentifier {
  uint32_t idLength;
  uint32_t* ids;
} AsnObjectIdentifier;

/* Also the form of an IpAddress: exactly four octets, network order. */
typedef struct AsnOctetString {
  uint8_t* stream;
  uint32_t length;
} AsnOctetString;

typedef struct AsnAny {
  uint8_t asnType;
  union {
    int32_t number;        /* INTEGER */
    uint32_t unsigned32;   /* Counter32, Gauge32, TimeTicks */
    uint64_t counter64;    /* Counter64 */
    AsnOctetString string; /* OCTET STRING, IpAddress */
    AsnObjectIdentifier object;
  } asnValue;
} AsnAny;

typedef struct SnmpVarBind {
  AsnObjectIdentifier name;
  AsnAny value;
} SnmpVarBind;

typedef struct SnmpVarBindList {
  SnmpVarBind* list;
  uint32_t len;
} SnmpVarBindList;

/* Returns non-zero when the agent is ready. uptimeReference is the
 * caller's millisecond tick count; trapEvent and supportedView are
 * filled in for the caller to keep. */
typedef int (*PFNSNMPEXTENSIONINIT)(uint32_t uptimeReference, void** trapEvent,
                                    AsnObjectIdentifier* supportedView);

/* Answers a request on every binding of the list. For GETNEXT the agent
 * replaces each binding with the next object in MIB order; past the end of
 * its view the value is of type ASN_NULL. For GET it fills in the value of
 * each binding's own name, all from one reading; a name it has no object
 * for gets a value of type ASN_NULL. Returns non-zero on success. */
typedef int (*PFNSNMPEXTENSIONQUERY)(uint8_t requestType, SnmpVarBindList* bindings,
                                     int32_t* errorStatus, int32_t* errorIndex);

#define SNMP_EXTENSION_INIT_NAME "SnmpExtensionInit"
#define SNMP_EXTENSION_QUERY_NAME "SnmpExtensionQuery"

/* Optional entries of an agent library that answers for a device on the
 * network rather than for this computer. */

/* Where the device is and how to speak to it. Every text is copied by the
 * callee; a null text reads as empty. */
typedef struct SnmpRemoteSource {
  const char* host;          /* a name, an IPv4 address or an IPv6 address */
  uint16_t port;             /* 0 = 161 */
  uint8_t version;           /* 2 = SNMPv2c, 3 = SNMPv3 */
  const char* community;     /* v2c */
  const char* user;          /* v3 security name */
  const char* securityLevel; /* v3: "noAuthNoPriv", "authNoPriv", "authPriv" */
  const char* authProtocol;  /* v3: "SHA", "SHA-224", "SHA-256", "SHA-384", "SHA-512" */
  const char* authPassphrase;
  const char* privProtocol; /* v3: "AES", "AES-192", "AES-256" */
  const char* privPassphrase;
  uint32_t pollIntervalMs; /* how often the meter asks; 0 = 1000 */
  uint32_t timeoutMs;      /* one request's wait for an answer; 0 = 1000 */
  /* How long a walk of the route or connection table waits for that
   * table's first fetch (a device may need a minute for thousands of
   * rows); 0 = until it ends. A caller on a GUI thread bounds it. */
  uint32_t tableWaitMs;
} SnmpRemoteSource;

/* Called before SnmpExtensionInit. Returns non-zero when the source can
 * be used; otherwise the last error says why. */
typedef int (*PFNSNMPREMOTECONFIGURE)(const SnmpRemoteSource* source);

/* Copies the text of the agent's latest failure (empty when there is
 * none) into `buffer`, cut to `size` - 1 bytes and terminated; returns the
 * text's full length. The text never holds a secret. */
typedef uint32_t (*PFNSNMPEXTENSIONLASTERROR)(char* buffer, uint32_t size);

/* Optional: stops the agent, and any thread it runs, before the library is
 * unloaded. The meter calls it once it asks no more. */
typedef void (*PFNSNMPEXTENSIONCLOSE)(void);

#define SNMP_REMOTE_CONFIGURE_NAME "SnmpRemoteConfigure"
#define SNMP_EXTENSION_LAST_ERROR_NAME "SnmpExtensionLastError"
#define SNMP_EXTENSION_CLOSE_NAME "SnmpExtensionClose"

#ifdef __cplusplus
}
#endif

#endif /* VELMAR_SNMP_ABI_H */
