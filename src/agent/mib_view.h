#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "snmp_abi.h"

namespace velmar::agent {

using Oid = std::vector<uint32_t>;

// Lexicographic order over sub-identifiers; a proper prefix sorts first.
int CompareOid(const uint32_t* a, size_t aLength, const uint32_t* b, size_t bLength);
inline int CompareOid(const Oid& a, const Oid& b) {
  return CompareOid(a.data(), a.size(), b.data(), b.size());
}

struct MibValue {
  uint8_t type = ASN_NULL;
  uint32_t number = 0;  // INTEGER (as two's complement), Counter32, Gauge32, TimeTicks
  std::string bytes;    // OCTET STRING, IpAddress (4 octets)
  Oid object;           // OBJECT IDENTIFIER

  static MibValue Integer(int32_t v);
  static MibValue Unsigned(uint8_t type, uint32_t v);
  static MibValue String(std::string s);
  static MibValue Ip(const std::array<uint8_t, 4>& a);
  static MibValue ObjectId(Oid o);
};

struct TableRow {
  Oid index;
  std::vector<MibValue> columns;  // column N at columns[N - 1]
};

// The objects one agent serves, in MIB order: scalars and conceptual tables.
// A table is read from its source when a walk enters it (a name before its
// first object, or a name that ends at a column with no row index), so one
// walk sees one consistent snapshot and costs one read of the source.
class MibView {
 public:
  using ScalarSource = std::function<MibValue()>;
  using TableSource = std::function<std::vector<TableRow>()>;

  // Regions are added in MIB order.
  void AddScalar(Oid instance, ScalarSource source);
  void AddTable(Oid entry, uint32_t columns, TableSource source);

  // Finds the first object after `name`. Returns false past the end of the
  // view. `outName` and `outValue` stay valid until the next call.
  bool GetNext(const uint32_t* name, size_t length, Oid& outName, const MibValue*& outValue);

  uint64_t SnapshotsTaken() const { return snapshots_; }

 private:
  struct Region {
    Oid base;              // scalar: the instance; table: the entry
    uint32_t columns = 0;  // 0 for a scalar
    ScalarSource scalar;
    TableSource table;
    MibValue scalarValue;
    std::vector<TableRow> rows;  // sorted by index, no duplicates
    bool loaded = false;
  };

  void Load(Region& region);

  std::vector<Region> regions_;
  uint64_t snapshots_ = 0;
};

// Sorts rows by index and keeps the first row of any run of equal indexes
// (the table's index must be unique; the source decides which row wins by
// the order it returns them in).
void SortAndDeduplicate(std::vector<TableRow>& rows);

}  // namespace velmar::agent
