#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/snmp_abi.h"

namespace velmar {

// Object identifiers and values as the usual SNMP command-line tools print
// them in numeric mode, so a walk of our agent reads like any other walk.
std::string FormatOid(const uint32_t* ids, uint32_t length);
std::string FormatOid(const std::vector<uint32_t>& ids);

// ".1.3.6.1" or "1.3.6.1"; nullopt for anything else (empty parts, signs,
// values above 2^32 - 1).
std::optional<std::vector<uint32_t>> ParseOid(const std::string& text);

// "INTEGER: 1", "STRING: \"lo\"", "Hex-STRING: 0A C9 ", "\"\"", ...
std::string FormatValue(const AsnAny& value);

// "(ticks) [D day[s], ]H:MM:SS.cc"
std::string FormatTimeTicks(uint32_t ticks);

// One walk line: "<oid> = <value>".
std::string FormatVarBind(const SnmpVarBind& binding);

}  // namespace velmar
