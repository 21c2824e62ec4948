#include "platform/snmp_format.h"

#include <cctype>
#include <charconv>
#include <cstdio>

namespace velmar {

std::string FormatOid(const uint32_t* ids, uint32_t length) {
  std::string out;
  out.reserve(length * 4);
  for (uint32_t i = 0; i < length; ++i) {
    out += '.';
    out += std::to_string(ids[i]);
  }
  return out;
}

std::string FormatOid(const std::vector<uint32_t>& ids) {
  return FormatOid(ids.data(), static_cast<uint32_t>(ids.size()));
}

std::optional<std::vector<uint32_t>> ParseOid(const std::string& text) {
  std::vector<uint32_t> ids;
  size_t pos = (!text.empty() && text[0] == '.') ? 1 : 0;
  if (pos >= text.size()) {
    return std::nullopt;
  }
  while (pos <= text.size()) {
    const size_t dot = text.find('.', pos);
    const size_t end = dot == std::string::npos ? text.size() : dot;
    if (end == pos) {
      return std::nullopt;
    }
    uint32_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + pos, text.data() + end, value);
    if (ec != std::errc() || ptr != text.data() + end) {
      return std::nullopt;
    }
    ids.push_back(value);
    if (dot == std::string::npos) {
      break;
    }
    pos = dot + 1;
  }
  return ids;
}

std::string FormatTimeTicks(uint32_t ticks) {
  const uint32_t days = ticks / 8640000;
  uint32_t rest = ticks % 8640000;
  const uint32_t hours = rest / 360000;
  rest %= 360000;
  const uint32_t minutes = rest / 6000;
  rest %= 6000;
  const uint32_t seconds = rest / 100;
  const uint32_t centis = rest % 100;
  char buf[96];
  if (days > 0) {
    std::snprintf(buf, sizeof buf, "(%u) %u day%s, %u:%02u:%02u.%02u", ticks, days,
                  days == 1 ? "" : "s", hours, minutes, seconds, centis);
  } else {
    std::snprintf(buf, sizeof buf, "(%u) %u:%02u:%02u.%02u", ticks, hours, minutes, seconds,
                  centis);
  }
  return buf;
}

namespace {

bool IsPrintable(const uint8_t* bytes, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    const int c = bytes[i];
    if (!(std::isprint(c) || std::isspace(c))) {
      return false;
    }
  }
  return true;
}

std::string HexString(const uint8_t* bytes, uint32_t length) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out = "Hex-STRING: ";
  for (uint32_t i = 0; i < length; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
    out += ' ';
  }
  return out;
}

}  // namespace

std::string FormatValue(const AsnAny& value) {
  switch (value.asnType) {
    case ASN_INTEGER:
      return "INTEGER: " + std::to_string(value.asnValue.number);
    case ASN_COUNTER32:
      return "Counter32: " + std::to_string(value.asnValue.unsigned32);
    case ASN_COUNTER64:
      return "Counter64: " + std::to_string(value.asnValue.counter64);
    case ASN_GAUGE32:
      return "Gauge32: " + std::to_string(value.asnValue.unsigned32);
    case ASN_TIMETICKS:
      return "Timeticks: " + FormatTimeTicks(value.asnValue.unsigned32);
    case ASN_IPADDRESS: {
      const AsnOctetString& s = value.asnValue.string;
      if (s.length < 4 || s.stream == nullptr) {
        return "IpAddress: (invalid)";
      }
      char buf[32];
      std::snprintf(buf, sizeof buf, "IpAddress: %u.%u.%u.%u", s.stream[0], s.stream[1],
                    s.stream[2], s.stream[3]);
      return buf;
    }
    case ASN_OCTETSTRING: {
      const AsnOctetString& s = value.asnValue.string;
      if (s.length == 0 || s.stream == nullptr) {
        return "\"\"";
      }
      if (IsPrintable(s.stream, s.length)) {
        // Quotes and backslashes inside are escaped, as snmpwalk does.
        std::string text = "STRING: \"";
        for (uint32_t i = 0; i < s.length; ++i) {
          const char c = static_cast<char>(s.stream[i]);
          if (c == '"' || c == '\\') {
            text += '\\';
          }
          text += c;
        }
        return text + "\"";
      }
      return HexString(s.stream, s.length);
    }
    case ASN_OBJECTIDENTIFIER:
      return "OID: " + FormatOid(value.asnValue.object.ids, value.asnValue.object.idLength);
    case ASN_NULL:
      return "NULL";
    default: {
      char buf[48];
      std::snprintf(buf, sizeof buf, "Wrong Type (0x%02X)", value.asnType);
      return buf;
    }
  }
}

std::string FormatVarBind(const SnmpVarBind& binding) {
  return FormatOid(binding.name.ids, binding.name.idLength) + " = " + FormatValue(binding.value);
}

}  // namespace velmar
