#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/snmp_abi.h"

namespace velmar {

// The ABI hands an answer's text or object identifier out as a pointer, so
// an agent library keeps a copy here until its caller has read the answer
// (until the next query on the same thread).
struct BindingValueStore {
  std::string bytes;
  std::vector<uint32_t> object;
};

// Sets `value` to an answer of ASN type `type`: `number` for INTEGER (as
// two's complement), Counter32, Gauge32, TimeTicks and Counter64; for
// OCTET STRING and IpAddress `bytes`, for OBJECT IDENTIFIER `object`, each
// copied into `store` and pointed at there.
void SetBindingValue(AsnAny& value, uint8_t type, uint64_t number, const std::string& bytes,
                     const std::vector<uint32_t>& object, BindingValueStore& store);

// NULL: the agent has no such object (or none after the name asked).
void SetNullValue(AsnAny& value);

// A query's error outputs, either of which a caller may leave out (null):
// cleared as a query begins; genErr for a query that fails as a whole,
// which returns the entry's failure (0).
void ClearQueryError(int32_t* errorStatus, int32_t* errorIndex);
int FailQuery(int32_t* errorStatus);

}  // namespace velmar
