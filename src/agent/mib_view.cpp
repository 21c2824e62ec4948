#include "agent/mib_view.h"

#include <algorithm>

namespace velmar::agent {

int CompareOid(const uint32_t* a, size_t aLength, const uint32_t* b, size_t bLength) {
  const size_t n = std::min(aLength, bLength);
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) {
      return a[i] < b[i] ? -1 : 1;
    }
  }
  if (aLength == bLength) {
    return 0;
  }
  return aLength < bLength ? -1 : 1;
}

MibValue MibValue::Integer(int32_t v) {
  MibValue m;
  m.type = ASN_INTEGER;
  m.number = static_cast<uint32_t>(v);
  return m;
}

MibValue MibValue::Unsigned(uint8_t type, uint32_t v) {
  MibValue m;
  m.type = type;
  m.number = v;
  return m;
}

MibValue MibValue::Counter64(uint64_t v) {
  MibValue m;
  m.type = ASN_COUNTER64;
  m.number = v;
  return m;
}

MibValue MibValue::String(std::string s) {
  MibValue m;
  m.type = ASN_OCTETSTRING;
  m.bytes = std::move(s);
  return m;
}

MibValue MibValue::Ip(const std::array<uint8_t, 4>& a) {
  MibValue m;
  m.type = ASN_IPADDRESS;
  m.bytes.assign(reinterpret_cast<const char*>(a.data()), a.size());
  return m;
}

MibValue MibValue::ObjectId(Oid o) {
  MibValue m;
  m.type = ASN_OBJECTIDENTIFIER;
  m.object = std::move(o);
  return m;
}

void SortAndDeduplicate(std::vector<TableRow>& rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const TableRow& a, const TableRow& b) {
    return CompareOid(a.index, b.index) < 0;
  });
  rows.erase(std::unique(rows.begin(), rows.end(),
                         [](const TableRow& a, const TableRow& b) { return a.index == b.index; }),
             rows.end());
}

int MibView::AddSnapshot(SnapshotSource take) {
  return AddSnapshotKeepingRows([take = std::move(take)] {
    take();
    return false;
  });
}

int MibView::AddSnapshotKeepingRows(KeepingSnapshotSource take) {
  shared_.push_back(Snapshot{std::move(take)});
  return static_cast<int>(shared_.size()) - 1;
}

void MibView::AddScalar(Oid instance, ScalarSource source, int snapshot, bool walked) {
  Region r;
  r.walked = walked;
  r.base = std::move(instance);
  r.scalar = std::move(source);
  r.snapshot = snapshot;
  Insert(std::move(r));
}

void MibView::AddTable(Oid entry, uint32_t columns, TableSource source, int snapshot,
                       TableUpdate update) {
  std::vector<uint32_t> all(columns);
  for (uint32_t c = 0; c < columns; ++c) {
    all[c] = c + 1;
  }
  AddTable(std::move(entry), std::move(all), std::move(source), snapshot, std::move(update));
}

void MibView::AddTable(Oid entry, std::vector<uint32_t> columns, TableSource source, int snapshot,
                       TableUpdate update) {
  Region r;
  r.base = std::move(entry);
  r.columns = std::move(columns);
  r.table = std::move(source);
  r.update = std::move(update);
  r.snapshot = snapshot;
  Insert(std::move(r));
}

// Tables of different origins (the interface tables, the address-family
// neutral ones) register on their own; the walk needs them in MIB order.
void MibView::Insert(Region region) {
  const auto at = std::upper_bound(
      regions_.begin(), regions_.end(), region.base,
      [](const Oid& base, const Region& r) { return CompareOid(base, r.base) < 0; });
  regions_.insert(at, std::move(region));
}

void MibView::TakeShared(int snapshot) {
  Snapshot& s = shared_[static_cast<size_t>(snapshot)];
  const bool rowsKept = s.take();
  ++s.generation;
  if (!rowsKept) {
    s.rowsChangedAt = s.generation;
  }
  ++snapshots_;
}

void MibView::Prepare(Region& region, bool entering) {
  if (region.snapshot == kOwnSnapshot) {
    if (entering || !region.loaded) {
      Build(region);
      ++snapshots_;
    }
    return;
  }
  const Snapshot& shared = shared_[static_cast<size_t>(region.snapshot)];
  if (entering || shared.generation == 0) {
    TakeShared(region.snapshot);
  }
  if (!region.loaded || region.builtFrom != shared.generation) {
    // Same rows, new values: the indexes (and so the order, and where the
    // last answer was) stay.
    if (!region.loaded || !region.update || region.builtFrom < shared.rowsChangedAt ||
        !region.update(region.rows)) {
      Build(region);
    }
    region.builtFrom = shared.generation;
  }
}

void MibView::Build(Region& region) {
  region.rows = region.table();
  SortAndDeduplicate(region.rows);
  region.loaded = true;
  region.lastRow = SIZE_MAX;
  ++tablesBuilt_;
}

bool MibView::Get(const uint32_t* name, size_t length, const MibValue*& outValue) {
  for (Region& region : regions_) {
    const Oid& base = region.base;
    const bool under = length >= base.size() && std::equal(base.begin(), base.end(), name);
    if (region.columns.empty()) {
      if (under && length == base.size()) {
        if (region.snapshot != kOwnSnapshot &&
            shared_[static_cast<size_t>(region.snapshot)].readForGet != gets_) {
          shared_[static_cast<size_t>(region.snapshot)].readForGet = gets_;
          TakeShared(region.snapshot);
        }
        region.scalarValue = region.scalar();
        outValue = &region.scalarValue;
        return true;
      }
      continue;
    }
    if (!under || length < base.size() + 2) {
      continue;
    }
    const auto column =
        std::lower_bound(region.columns.begin(), region.columns.end(), name[base.size()]);
    if (column == region.columns.end() || *column != name[base.size()]) {
      return false;
    }
    bool fresh = false;
    if (region.snapshot == kOwnSnapshot) {
      fresh = region.readForGet != gets_;
      region.readForGet = gets_;
    } else {
      Snapshot& shared = shared_[static_cast<size_t>(region.snapshot)];
      fresh = shared.readForGet != gets_;
      shared.readForGet = gets_;
    }
    Prepare(region, fresh);
    const uint32_t* index = name + base.size() + 1;
    const size_t indexLength = length - base.size() - 1;
    const auto row =
        std::lower_bound(region.rows.begin(), region.rows.end(), 0, [&](const TableRow& r, int) {
          return CompareOid(r.index.data(), r.index.size(), index, indexLength) < 0;
        });
    if (row == region.rows.end() ||
        CompareOid(row->index.data(), row->index.size(), index, indexLength) != 0) {
      return false;
    }
    outValue = &row->columns[static_cast<size_t>(column - region.columns.begin())];
    return true;
  }
  return false;
}

void MibView::ReachOnlyWhenAsked(Oid subtree) {
  askedOnly_.push_back(std::move(subtree));
}

namespace {

bool StartsWith(const uint32_t* name, size_t length, const Oid& prefix) {
  return length >= prefix.size() && std::equal(prefix.begin(), prefix.end(), name);
}

}  // namespace

bool MibView::NotAskedFor(const Region& region, const uint32_t* name, size_t length) const {
  for (const Oid& subtree : askedOnly_) {
    if (StartsWith(region.base.data(), region.base.size(), subtree)) {
      // Asked for: the name lies in the subtree or is one of its ancestors.
      const bool asked =
          StartsWith(name, length, subtree) ||
          (length <= subtree.size() && std::equal(name, name + length, subtree.begin()));
      return !asked;
    }
  }
  return false;
}

bool MibView::GetNext(const uint32_t* name, size_t length, Oid& outName,
                      const MibValue*& outValue) {
  for (Region& region : regions_) {
    if (NotAskedFor(region, name, length)) {
      continue;
    }
    const bool found = region.columns.empty()
                           ? NextScalar(region, name, length, outName, outValue)
                           : NextInTable(region, name, length, outName, outValue);
    if (found) {
      return true;
    }
  }
  return false;
}

bool MibView::NextScalar(Region& region, const uint32_t* name, size_t length, Oid& outName,
                         const MibValue*& outValue) {
  const Oid& base = region.base;
  if (!region.walked || CompareOid(name, length, base.data(), base.size()) >= 0) {
    return false;
  }
  if (region.snapshot != kOwnSnapshot) {
    TakeShared(region.snapshot);
  }
  region.scalarValue = region.scalar();
  outName = base;
  outValue = &region.scalarValue;
  return true;
}

bool MibView::NextInTable(Region& region, const uint32_t* name, size_t length, Oid& outName,
                          const MibValue*& outValue) {
  const Oid& base = region.base;
  // Where in the table does `name` point: the served column at `column`,
  // after row index `after` (empty = before the column's first row)?
  size_t column = 0;
  const uint32_t* after = nullptr;
  size_t afterLength = 0;
  const bool underEntry = length > base.size() && std::equal(base.begin(), base.end(), name);
  // A name with a row index goes on with a walk already in the table.
  const bool entering = !underEntry || length == base.size() + 1;
  if (underEntry) {
    const uint32_t asked = name[base.size()];
    column =
        static_cast<size_t>(std::lower_bound(region.columns.begin(), region.columns.end(), asked) -
                            region.columns.begin());
    if (column == region.columns.size()) {
      return false;  // past the last column
    }
    if (region.columns[column] == asked && length > base.size() + 1) {
      after = name + base.size() + 1;
      afterLength = length - base.size() - 1;
    }
  } else if (CompareOid(name, length, base.data(), base.size()) > 0) {
    return false;  // the whole table lies before `name`
  }
  Prepare(region, entering);

  for (; column < region.columns.size(); ++column) {
    const auto row =
        after != nullptr ? RowAfter(region, column, after, afterLength) : region.rows.begin();
    after = nullptr;
    if (row != region.rows.end()) {
      outName.assign(base.begin(), base.end());
      outName.push_back(region.columns[column]);
      outName.insert(outName.end(), row->index.begin(), row->index.end());
      outValue = &row->columns[column];
      region.lastColumn = column;
      region.lastRow = static_cast<size_t>(row - region.rows.begin());
      return true;
    }
  }
  return false;
}

std::vector<TableRow>::iterator MibView::RowAfter(Region& region, size_t column,
                                                  const uint32_t* after, size_t afterLength) {
  const Oid* last = region.lastRow < region.rows.size() && region.lastColumn == column
                        ? &region.rows[region.lastRow].index
                        : nullptr;
  if (last != nullptr && last->size() == afterLength &&
      std::equal(last->begin(), last->end(), after)) {
    return region.rows.begin() + static_cast<std::ptrdiff_t>(region.lastRow) + 1;
  }
  return std::upper_bound(region.rows.begin(), region.rows.end(), 0, [&](int, const TableRow& r) {
    return CompareOid(after, afterLength, r.index.data(), r.index.size()) < 0;
  });
}

}  // namespace velmar::agent
