#include "interfaces/interface_name.h"

#include <gtest/gtest.h>

#include <string>

#include "netstat/inet_address.h"

namespace velmar {
namespace {

std::string Name(const std::string& octets, int max = -1) {
  return InterfaceNameFromOctets(octets.data(), octets.size(), max).toStdString();
}

TEST(InterfaceNameTest, Utf8ReadsAsWrittenAndEveryOtherByteShowsEscaped) {
  EXPECT_EQ(Name("\xc3\xbcn\xc3\xaf"), "\xc3\xbcn\xc3\xaf");  // ünï, not Ã¼nÃ¯
  EXPECT_EQ(Name("\xf0\x9f\x98\x80x"), "\xf0\x9f\x98\x80x");  // beyond the basic plane
  EXPECT_EQ(Name("v\xffx"), "v\\xffx");
  EXPECT_EQ(Name("eth\xc3"), "eth\\xc3") << "a sequence cut short";
  EXPECT_EQ(Name("\xc0\xaf"), "\\xc0\\xaf") << "an overlong '/'";
  EXPECT_EQ(Name("\xed\xa0\x80"), "\\xed\\xa0\\x80") << "a surrogate";
  EXPECT_EQ(Name("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80") << "past U+10FFFF";
  EXPECT_EQ(Name("\x80z"), "\\x80z") << "a stray continuation byte";
  // Control characters, C0 and C1, would break a line or a column.
  EXPECT_EQ(Name("a\tb\x7f\xc2\x85"), "a\\x09b\\x7f\\xc2\\x85");
  // Characters, not bytes, are counted; an escaped byte is one.
  EXPECT_EQ(Name("abcdef", 3), "abc");
  EXPECT_EQ(Name("\xff\xff\xc3\xbc"
                 "abc",
                 3),
            "\\xff\\xff\xc3\xbc");
  EXPECT_EQ(Name(""), "");
}

InetAddress Of(uint32_t type, const std::string& octets) {
  return InetAddress{type, QByteArray(octets.data(), static_cast<qsizetype>(octets.size()))};
}

TEST(InetAddressTest, AddressesAreWrittenAsPeopleWriteThem) {
  const std::string v6("\x20\x01\x0d\xb8\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01", 16);
  EXPECT_EQ(Of(InetAddress::kIpv6, v6).Text(), "2001:db8::1");
  EXPECT_EQ(Of(InetAddress::kIpv6, v6).EndpointText(443), "[2001:db8::1]:443");
  EXPECT_EQ(Of(InetAddress::kIpv6, v6).PrefixText(64), "2001:db8::1/64");
  EXPECT_EQ(Of(InetAddress::kIpv6z, v6 + std::string("\0\0\0\x03", 4)).Text(), "2001:db8::1%3");
  EXPECT_EQ(Of(InetAddress::kIpv4, std::string("\xc0\x00\x02\x01", 4)).EndpointText(80),
            "192.0.2.1:80");
  EXPECT_EQ(Of(InetAddress::kIpv4z, std::string("\x0a\0\0\x01\0\0\0\x07", 8)).Text(), "10.0.0.1%7");
  EXPECT_EQ(Of(InetAddress::kDns, "router.example").Text(), "router.example");
  // A listener on both families (RFC 4022's unknown address), and octets
  // that do not fit their type.
  EXPECT_EQ(InetAddress{}.EndpointText(22), "*:22");
  EXPECT_EQ(Of(InetAddress::kIpv4, "\x01\x02\x03").Text(), "01:02:03");
  EXPECT_EQ(Of(InetAddress::kIpv6, v6).Unspecified().Text(), "::");
  EXPECT_EQ(PhysicalAddressText(QByteArray("\x02\x00\x5e\x10\x00\x01", 6)), "02:00:5e:10:00:01");
  EXPECT_EQ(PhysicalAddressText(QByteArray()), "-");

  // Read from an index: type, length, octets; nothing read when they do not fit.
  const uint32_t index[] = {1, 4, 10, 0, 0, 1, 80, 2, 16, 0};
  uint32_t at = 0;
  InetAddress a;
  ASSERT_TRUE(InetAddress::FromIndex(index, 10, at, a));
  EXPECT_EQ(at, 6u);
  EXPECT_EQ(a.Text(), "10.0.0.1");
  at = 7;
  EXPECT_FALSE(InetAddress::FromIndex(index, 10, at, a));
  EXPECT_EQ(at, 7u);
  const uint32_t big[] = {1, 4, 256, 0, 0, 1};
  at = 0;
  EXPECT_FALSE(InetAddress::FromIndex(big, 6, at, a));
}

}  // namespace
}  // namespace velmar
