#include "platform/snmp_binding.h"

#include <gtest/gtest.h>

#include "platform/snmp_format.h"

namespace velmar {
namespace {

// The value an agent hands out must read the same after the answer it was
// made from is gone, and one binding reused across answers must carry
// nothing of the one before.
TEST(SnmpBindingTest, AnswersOutliveTheirSourceAndLeaveNothingBehind) {
  BindingValueStore store;
  AsnAny value{};
  {
    std::string name = "eth0";
    SetBindingValue(value, ASN_OCTETSTRING, 0, name, {}, store);
    name = "gone";
  }
  EXPECT_EQ(FormatValue(value), "STRING: \"eth0\"");
  {
    std::vector<uint32_t> object = {1, 3, 6, 1, 2, 1, 2};
    SetBindingValue(value, ASN_OBJECTIDENTIFIER, 0, {}, object, store);
    object.assign(3, 9);
  }
  EXPECT_EQ(FormatValue(value), "OID: .1.3.6.1.2.1.2");
  SetBindingValue(value, ASN_IPADDRESS, 0, std::string("\xc0\x00\x02\x01", 4), {}, store);
  EXPECT_EQ(FormatValue(value), "IpAddress: 192.0.2.1");

  SetBindingValue(value, ASN_COUNTER64, 18446744073709551615ull, {}, {}, store);
  EXPECT_EQ(FormatValue(value), "Counter64: 18446744073709551615");
  // A 32-bit kind after a Counter64: the upper half of the union is zero.
  SetBindingValue(value, ASN_COUNTER32, 4294967295u, {}, {}, store);
  EXPECT_EQ(value.asnValue.counter64, 4294967295u);
  EXPECT_EQ(FormatValue(value), "Counter32: 4294967295");
  // INTEGER travels as two's complement in the number.
  SetBindingValue(value, ASN_INTEGER, static_cast<uint64_t>(int64_t{-2}), {}, {}, store);
  EXPECT_EQ(FormatValue(value), "INTEGER: -2");

  SetNullValue(value);
  EXPECT_EQ(value.asnType, ASN_NULL);
  EXPECT_EQ(value.asnValue.string.stream, nullptr);
}

}  // namespace
}  // namespace velmar
