#include "mib_view.h"

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

void MibView::AddScalar(Oid instance, ScalarSource source) {
  Region r;
  r.base = std::move(instance);
  r.scalar = std::move(source);
  regions_.push_back(std::move(r));
}

void MibView::AddTable(Oid entry, uint32_t columns, TableSource source) {
  Region r;
  r.base = std::move(entry);
  r.columns = columns;
  r.table = std::move(source);
  regions_.push_back(std::move(r));
}

void MibView::Load(Region& region) {
  region.rows = region.table();
  SortAndDeduplicate(region.rows);
  region.loaded = true;
  ++snapshots_;
}

bool MibView::GetNext(const uint32_t* name, size_t length, Oid& outName,
                      const MibValue*& outValue) {
  for (Region& region : regions_) {
    const Oid& base = region.base;
    if (region.columns == 0) {
      if (CompareOid(name, length, base.data(), base.size()) < 0) {
        region.scalarValue = region.scalar();
        outName = base;
        outValue = &region.scalarValue;
        return true;
      }
      continue;
    }

    // Where in the table does `name` point: column `column`, after row index
    // `after` (empty = before the column's first row)?
    uint32_t column = 1;
    const uint32_t* after = nullptr;
    size_t afterLength = 0;
    const bool underEntry = length > base.size() && std::equal(base.begin(), base.end(), name);
    if (underEntry) {
      column = name[base.size()];
      if (column > region.columns) {
        continue;
      }
      if (column == 0) {
        column = 1;
      } else if (length > base.size() + 1) {
        after = name + base.size() + 1;
        afterLength = length - base.size() - 1;
      }
    } else if (CompareOid(name, length, base.data(), base.size()) > 0) {
      continue;  // the whole table lies before `name`
    }
    if (after == nullptr || !region.loaded) {
      Load(region);
    }

    for (; column <= region.columns; ++column) {
      auto row = region.rows.begin();
      if (after != nullptr) {
        row = std::upper_bound(
            region.rows.begin(), region.rows.end(), 0, [&](int, const TableRow& r) {
              return CompareOid(after, afterLength, r.index.data(), r.index.size()) < 0;
            });
        after = nullptr;
      }
      if (row != region.rows.end()) {
        outName.assign(base.begin(), base.end());
        outName.push_back(column);
        outName.insert(outName.end(), row->index.begin(), row->index.end());
        outValue = &row->columns[column - 1];
        return true;
      }
    }
  }
  return false;
}

}  // namespace velmar::agent
