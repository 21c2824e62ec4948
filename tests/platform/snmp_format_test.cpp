#include "platform/snmp_format.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

AsnAny Octets(uint8_t type, std::string& storage) {
  AsnAny v{};
  v.asnType = type;
  v.asnValue.string.stream = reinterpret_cast<uint8_t*>(storage.data());
  v.asnValue.string.length = static_cast<uint32_t>(storage.size());
  return v;
}

AsnAny Number(uint8_t type, uint32_t n) {
  AsnAny v{};
  v.asnType = type;
  v.asnValue.unsigned32 = n;
  return v;
}

TEST(SnmpFormatTest, ValuesPrintLikeTheUsualCommandLineTools) {
  EXPECT_EQ(FormatValue(Number(ASN_INTEGER, 1)), "INTEGER: 1");
  EXPECT_EQ(FormatValue(Number(ASN_INTEGER, 0xFFFFFFFFu)), "INTEGER: -1");
  EXPECT_EQ(FormatValue(Number(ASN_COUNTER32, 4294967295u)), "Counter32: 4294967295");
  EXPECT_EQ(FormatValue(Number(ASN_GAUGE32, 1000000000)), "Gauge32: 1000000000");
  AsnAny big{};
  big.asnType = ASN_COUNTER64;
  big.asnValue.counter64 = 18446744073709551615ull;
  EXPECT_EQ(FormatValue(big), "Counter64: 18446744073709551615");
  EXPECT_EQ(FormatValue(Number(ASN_TIMETICKS, 0)), "Timeticks: (0) 0:00:00.00");
  EXPECT_EQ(FormatTimeTicks(8640000), "(8640000) 1 day, 0:00:00.00");
  EXPECT_EQ(FormatTimeTicks(2 * 8640000 + 360000 * 3 + 6000 * 4 + 500 + 6),
            "(18384506) 2 days, 3:04:05.06");

  std::string lo = "lo";
  EXPECT_EQ(FormatValue(Octets(ASN_OCTETSTRING, lo)), "STRING: \"lo\"");
  std::string mac("\x0a\xc9\xcd\xff\xae\xd8", 6);
  EXPECT_EQ(FormatValue(Octets(ASN_OCTETSTRING, mac)), "Hex-STRING: 0A C9 CD FF AE D8 ");
  std::string zeros(6, '\0');
  EXPECT_EQ(FormatValue(Octets(ASN_OCTETSTRING, zeros)), "Hex-STRING: 00 00 00 00 00 00 ");
  std::string empty;
  EXPECT_EQ(FormatValue(Octets(ASN_OCTETSTRING, empty)), "\"\"");
  std::string ip("\xc0\x00\x02\x01", 4);
  EXPECT_EQ(FormatValue(Octets(ASN_IPADDRESS, ip)), "IpAddress: 192.0.2.1");
  std::string shortIp("\xc0", 1);
  EXPECT_EQ(FormatValue(Octets(ASN_IPADDRESS, shortIp)), "IpAddress: (invalid)");

  uint32_t zeroDotZero[] = {0, 0};
  AsnAny oid{};
  oid.asnType = ASN_OBJECTIDENTIFIER;
  oid.asnValue.object = {2, zeroDotZero};
  EXPECT_EQ(FormatValue(oid), "OID: .0.0");
  EXPECT_EQ(FormatValue(Number(0x99, 0)), "Wrong Type (0x99)");

  uint32_t name[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 2, 1};
  SnmpVarBind b{};
  b.name = {11, name};
  b.value = Octets(ASN_OCTETSTRING, lo);
  EXPECT_EQ(FormatVarBind(b), ".1.3.6.1.2.1.2.2.1.2.1 = STRING: \"lo\"");
}

TEST(SnmpFormatTest, ObjectIdentifiersParseStrictly) {
  EXPECT_EQ(ParseOid(".1.3.6.1"), (std::vector<uint32_t>{1, 3, 6, 1}));
  EXPECT_EQ(ParseOid("1.3.6.1.2.1.2.2"), (std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 2, 2}));
  EXPECT_EQ(ParseOid("4294967295"), (std::vector<uint32_t>{4294967295u}));
  for (const char* bad : {"", ".", "1..3", "1.3.", "1.-3", "1.3a", "4294967296", " 1.3", "+1"}) {
    EXPECT_FALSE(ParseOid(bad).has_value()) << bad;
  }
  EXPECT_EQ(FormatOid(std::vector<uint32_t>{}), "");
  EXPECT_EQ(FormatOid(std::vector<uint32_t>{1, 4294967295u}), ".1.4294967295");
}

}  // namespace
}  // namespace velmar
