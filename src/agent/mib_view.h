#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/snmp_abi.h"

namespace velmar::agent {

using Oid = std::vector<uint32_t>;

// Lexicographic order over sub-identifiers; a proper prefix sorts first.
int CompareOid(const uint32_t* a, size_t aLength, const uint32_t* b, size_t bLength);
inline int CompareOid(const Oid& a, const Oid& b) {
  return CompareOid(a.data(), a.size(), b.data(), b.size());
}

struct MibValue {
  uint8_t type = ASN_NULL;
  // INTEGER (as two's complement), Counter32, Gauge32, TimeTicks, Counter64
  uint64_t number = 0;
  std::string bytes;  // OCTET STRING, IpAddress (4 octets)
  Oid object;         // OBJECT IDENTIFIER

  static MibValue Integer(int32_t v);
  static MibValue Unsigned(uint8_t type, uint32_t v);
  static MibValue Counter64(uint64_t v);
  static MibValue String(std::string s);
  static MibValue Ip(const std::array<uint8_t, 4>& a);
  static MibValue ObjectId(Oid o);
};

struct TableRow {
  Oid index;
  // One value per column the table serves, in the order of its columns.
  std::vector<MibValue> columns;
};

// The objects one agent serves, in MIB order: scalars and conceptual tables.
// A table is read from its source when a walk enters it (a name before its
// first object, or a name that ends at a column with no row index), so one
// walk sees one consistent snapshot and costs one read of the source.
//
// Several regions may be built from one shared snapshot (the interface
// tables all come from one read of the kernel's links): entering any of them
// takes the snapshot once for all, and a walk that goes on in another of
// them with a row index (GETNEXT ifHCInOctets.0 after a walk of ifTable)
// sees the same snapshot without reading the source again.
class MibView {
 public:
  using ScalarSource = std::function<MibValue()>;
  using TableSource = std::function<std::vector<TableRow>()>;
  using SnapshotSource = std::function<void()>;
  // A shared snapshot that tells whether its rows stayed the same (true:
  // only values moved, such as the counters of unchanged interfaces).
  using KeepingSnapshotSource = std::function<bool()>;
  // Brings rows built from an earlier snapshot of the same rows up to date
  // in place; false when they do not fit (they are then built again).
  using TableUpdate = std::function<bool(std::vector<TableRow>&)>;
  static constexpr int kOwnSnapshot = -1;

  // A shared snapshot: `take` reads the source into storage the regions'
  // own sources then build from. Returns its number for AddScalar/AddTable.
  int AddSnapshot(SnapshotSource take);
  // The same for a source that tells when its rows stayed the same: tables
  // given an update then take new values in place, until a snapshot says
  // the rows changed.
  int AddSnapshotKeepingRows(KeepingSnapshotSource take);

  // Regions may be added in any order; the view keeps them in MIB order
  // (they must not overlap). A table serves either columns 1..`columns` or
  // exactly the listed ones (ascending); a walk skips the columns it does
  // not serve. A scalar that is not `walked` answers GET alone (an agent's
  // own object beside the MIB it mirrors).
  void AddScalar(Oid instance, ScalarSource source, int snapshot = kOwnSnapshot,
                 bool walked = true);
  void AddTable(Oid entry, uint32_t columns, TableSource source, int snapshot = kOwnSnapshot,
                TableUpdate update = nullptr);
  void AddTable(Oid entry, std::vector<uint32_t> columns, TableSource source,
                int snapshot = kOwnSnapshot, TableUpdate update = nullptr);

  // The regions under `subtree` are reached by GETNEXT only from a name at,
  // above or under `subtree`: a walk that asks for them. A walk going past
  // the end of the region before them meets the end of the view instead, so
  // the end of an interface walk never reads a costly table it did not
  // want.
  void ReachOnlyWhenAsked(Oid subtree);

  // Finds the first object after `name`. Returns false past the end of the
  // view. `outName` and `outValue` stay valid until the next call.
  bool GetNext(const uint32_t* name, size_t length, Oid& outName, const MibValue*& outValue);

  // Finds the object named exactly `name` (a GET); false when the view has
  // none. The first look-up into a source after BeginGet() reads it
  // afresh, so the objects of one GET come from one reading of each source.
  void BeginGet() { ++gets_; }
  bool Get(const uint32_t* name, size_t length, const MibValue*& outValue);

  // Reads of a source: a table's own or a shared snapshot.
  uint64_t SnapshotsTaken() const { return snapshots_; }
  // Tables built from their source (not brought up to date in place).
  uint64_t TablesBuilt() const { return tablesBuilt_; }

 private:
  struct Snapshot {
    KeepingSnapshotSource take;
    uint64_t generation = 0;     // 0 = never taken
    uint64_t rowsChangedAt = 0;  // the last generation whose rows were new
    uint64_t readForGet = 0;     // the GET it was last read for
  };
  struct Region {
    Oid base;                       // scalar: the instance; table: the entry
    std::vector<uint32_t> columns;  // empty for a scalar
    ScalarSource scalar;
    TableSource table;
    TableUpdate update;
    int snapshot = kOwnSnapshot;
    bool walked = true;
    MibValue scalarValue;
    std::vector<TableRow> rows;  // sorted by index, no duplicates
    bool loaded = false;
    uint64_t builtFrom = 0;  // the shared snapshot's generation the rows show
    // Where the last answer from this table was: a walk's next question
    // names it, and its row's successor is then found without a search.
    size_t lastColumn = 0;
    size_t lastRow = SIZE_MAX;
    uint64_t readForGet = 0;  // the GET its own source was last read for
  };

  // Makes the region's rows current: `entering` takes a new snapshot.
  void Prepare(Region& region, bool entering);
  void Build(Region& region);
  void Insert(Region region);
  void TakeShared(int snapshot);
  // GetNext's steps: the scalar, or the table's next object, after `name`
  // (false when the region has none).
  bool NextScalar(Region& region, const uint32_t* name, size_t length, Oid& outName,
                  const MibValue*& outValue);
  bool NextInTable(Region& region, const uint32_t* name, size_t length, Oid& outName,
                   const MibValue*& outValue);
  // The first row of the table after row index `after`: the one after the
  // last answer when the walk goes on from there, else found by a search.
  static std::vector<TableRow>::iterator RowAfter(Region& region, size_t column,
                                                  const uint32_t* after, size_t afterLength);

  // Whether `region` lies in a subtree of ReachOnlyWhenAsked that `name`
  // does not ask for.
  bool NotAskedFor(const Region& region, const uint32_t* name, size_t length) const;

  std::vector<Snapshot> shared_;
  std::vector<Region> regions_;
  std::vector<Oid> askedOnly_;
  uint64_t snapshots_ = 0;
  uint64_t tablesBuilt_ = 0;
  uint64_t gets_ = 0;
};

// Sorts rows by index and keeps the first row of any run of equal indexes
// (the table's index must be unique; the source decides which row wins by
// the order it returns them in).
void SortAndDeduplicate(std::vector<TableRow>& rows);

}  // namespace velmar::agent
