#include "agent/mib_view.h"

#include <gtest/gtest.h>

#include <memory>

namespace velmar::agent {
namespace {

// A view like the real one: a scalar, a 3-column table, a second table,
// a scalar after it. Sources count their reads and can change their rows.
class MibViewTest : public ::testing::Test {
 protected:
  MibViewTest() {
    view.AddScalar({1, 1, 0}, [this] { return MibValue::Integer(static_cast<int32_t>(a.size())); });
    view.AddTable({1, 2, 1}, 3, [this] {
      ++aReads;
      return a;
    });
    view.AddTable({1, 4, 1}, 1, [this] {
      ++bReads;
      return b;
    });
    view.AddScalar({1, 5, 0}, [] { return MibValue::Unsigned(ASN_COUNTER32, 9); });
    a = {Row({3}, 30), Row({1}, 10), Row({2, 5}, 25), Row({2}, 20)};
  }

  static TableRow Row(Oid index, int32_t v) {
    return TableRow{index,
                    {MibValue::Integer(v), MibValue::String(std::to_string(v)),
                     MibValue::Unsigned(ASN_GAUGE32, static_cast<uint32_t>(v))}};
  }

  // Walks from `start` to the end of the view.
  std::vector<std::pair<Oid, std::string>> Walk(Oid start) {
    std::vector<std::pair<Oid, std::string>> seen;
    Oid name = start;
    Oid next;
    const MibValue* value = nullptr;
    while (view.GetNext(name.data(), name.size(), next, value)) {
      const std::string text =
          value->type == ASN_OCTETSTRING ? value->bytes : std::to_string(value->number);
      seen.emplace_back(next, text);
      name = next;
      if (seen.size() > 100) {
        ADD_FAILURE() << "the walk does not end";
        break;
      }
    }
    return seen;
  }

  MibView view;
  std::vector<TableRow> a;
  std::vector<TableRow> b;
  int aReads = 0;
  int bReads = 0;
};

TEST_F(MibViewTest, WalksColumnsThenRowsInIndexOrderAcrossRegions) {
  const auto seen = Walk({1});
  std::vector<Oid> names;
  for (const auto& [oid, text] : seen)
    names.push_back(oid);
  const std::vector<Oid> expected = {
      {1, 1, 0},                                                              // scalar
      {1, 2, 1, 1, 1}, {1, 2, 1, 1, 2}, {1, 2, 1, 1, 2, 5}, {1, 2, 1, 1, 3},  // column 1
      {1, 2, 1, 2, 1}, {1, 2, 1, 2, 2}, {1, 2, 1, 2, 2, 5}, {1, 2, 1, 2, 3},  // column 2
      {1, 2, 1, 3, 1}, {1, 2, 1, 3, 2}, {1, 2, 1, 3, 2, 5}, {1, 2, 1, 3, 3},  // column 3
      {1, 5, 0},  // the empty table b is skipped
  };
  EXPECT_EQ(names, expected);
  EXPECT_EQ(seen[1].second, "10");
  EXPECT_EQ(seen[6].second, "20");
  EXPECT_EQ(seen.back().second, "9");
  EXPECT_EQ(aReads, 1) << "one walk, one snapshot";
  EXPECT_EQ(bReads, 1);
}

TEST_F(MibViewTest, RegionsAddedLaterTakeTheirPlaceInMibOrder) {
  // Between the scalar and table a, between the tables, and after all.
  view.AddScalar({1, 3, 0}, [] { return MibValue::Integer(3); });
  view.AddTable({1, 1, 7, 1}, 1, [] { return std::vector<TableRow>{Row({4}, 4)}; });
  view.AddScalar({2, 0}, [] { return MibValue::Integer(2); });
  std::vector<Oid> names;
  for (const auto& [oid, text] : Walk({1}))
    names.push_back(oid);
  ASSERT_EQ(names.size(), 17u);
  EXPECT_EQ(names[0], (Oid{1, 1, 0}));
  EXPECT_EQ(names[1], (Oid{1, 1, 7, 1, 1, 4}));
  EXPECT_EQ(names[2], (Oid{1, 2, 1, 1, 1}));
  EXPECT_EQ(names[14], (Oid{1, 3, 0}));
  EXPECT_EQ(names[15], (Oid{1, 5, 0}));
  EXPECT_EQ(names[16], (Oid{2, 0}));
}

TEST_F(MibViewTest, SnapshotIsTakenWhenAWalkEntersATableAndKeptWithinIt) {
  Oid next;
  const MibValue* value = nullptr;
  const Oid first = {1, 2, 1, 1};  // a table's first object, as the meter starts
  ASSERT_TRUE(view.GetNext(first.data(), first.size(), next, value));
  EXPECT_EQ(next, (Oid{1, 2, 1, 1, 1}));
  EXPECT_EQ(aReads, 1);

  // The source changes mid-walk: the walk goes on over the old snapshot.
  a.push_back(Row({0}, 0));
  const Oid inside = {1, 2, 1, 1, 2, 5};
  ASSERT_TRUE(view.GetNext(inside.data(), inside.size(), next, value));
  EXPECT_EQ(next, (Oid{1, 2, 1, 1, 3}));
  EXPECT_EQ(aReads, 1);

  // A new walk sees the new row first.
  ASSERT_TRUE(view.GetNext(first.data(), first.size(), next, value));
  EXPECT_EQ(next, (Oid{1, 2, 1, 1, 0}));
  EXPECT_EQ(aReads, 2);
  // Starting at a column (no row index) is a new walk too.
  const Oid column2 = {1, 2, 1, 2};
  ASSERT_TRUE(view.GetNext(column2.data(), column2.size(), next, value));
  EXPECT_EQ(next, (Oid{1, 2, 1, 2, 0}));
  EXPECT_EQ(aReads, 3);
  EXPECT_EQ(view.SnapshotsTaken(), 3u);
}

TEST_F(MibViewTest, NamesBetweenAndBeyondObjectsFindTheNextOne) {
  Oid next;
  const MibValue* value = nullptr;
  const auto getNext = [&](Oid name) {
    return view.GetNext(name.data(), name.size(), next, value) ? next : Oid{};
  };
  EXPECT_EQ(getNext({}), (Oid{1, 1, 0}));
  EXPECT_EQ(getNext({0, 9, 9}), (Oid{1, 1, 0}));
  EXPECT_EQ(getNext({1, 1, 0}), (Oid{1, 2, 1, 1, 1}));
  EXPECT_EQ(getNext({1, 2}), (Oid{1, 2, 1, 1, 1}));
  EXPECT_EQ(getNext({1, 2, 1, 0, 7}), (Oid{1, 2, 1, 1, 1}));     // column 0
  EXPECT_EQ(getNext({1, 2, 1, 1, 1, 0}), (Oid{1, 2, 1, 1, 2}));  // between rows
  EXPECT_EQ(getNext({1, 2, 1, 1, 9}), (Oid{1, 2, 1, 2, 1}));     // past the column's rows
  EXPECT_EQ(getNext({1, 2, 1, 3, 3}), (Oid{1, 5, 0}));           // past the last object
  EXPECT_EQ(getNext({1, 2, 1, 4}), (Oid{1, 5, 0}));              // a column the table lacks
  EXPECT_EQ(getNext({1, 3}), (Oid{1, 5, 0}));
  // The row after the last answer's row, but in another column, or asked
  // twice: the same answers as a fresh search gives.
  EXPECT_EQ(getNext({1, 2, 1, 1, 2}), (Oid{1, 2, 1, 1, 2, 5}));
  EXPECT_EQ(getNext({1, 2, 1, 2, 2}), (Oid{1, 2, 1, 2, 2, 5}));
  EXPECT_EQ(getNext({1, 2, 1, 2, 2}), (Oid{1, 2, 1, 2, 2, 5}));
  EXPECT_EQ(getNext({1, 2, 1, 2, 2, 5}), (Oid{1, 2, 1, 2, 3}));
  EXPECT_EQ(getNext({1, 5, 0}), Oid{});  // end of the view
  EXPECT_EQ(getNext({2}), Oid{});
  EXPECT_EQ(getNext({1, 5, 0, 1}), Oid{});
}

TEST(MibViewRowsTest, DuplicateIndexesKeepTheFirstRowGiven) {
  std::vector<TableRow> rows = {
      {{2}, {MibValue::Integer(1)}},
      {{1}, {MibValue::Integer(2)}},
      {{2}, {MibValue::Integer(3)}},
      {{1, 0}, {MibValue::Integer(4)}},
  };
  SortAndDeduplicate(rows);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].index, Oid{1});
  EXPECT_EQ(rows[1].index, (Oid{1, 0}));
  EXPECT_EQ(rows[2].index, Oid{2});
  EXPECT_EQ(rows[2].columns[0].number, 1u);

  EXPECT_LT(CompareOid({1, 2}, {1, 2, 0}), 0);
  EXPECT_GT(CompareOid({1, 3}, {1, 2, 9}), 0);
  EXPECT_EQ(CompareOid({4294967295u}, {4294967295u}), 0);
  EXPECT_LT(CompareOid({2147483648u}, {4294967295u}), 0);
}

TEST(MibViewSharedTest, TablesOfOneSnapshotShareItsReadAndSkipColumnsTheyLack) {
  // Two tables and a scalar built from one source, as the interface
  // tables are built from one read of the links.
  MibView view;
  int reads = 0;
  int value = 0;
  auto seen = std::make_shared<int>(0);
  const int shared = view.AddSnapshot([&] {
    ++reads;
    *seen = value;
  });
  view.AddScalar(
      {1, 1, 0}, [seen] { return MibValue::Integer(*seen); }, shared);
  const auto rows = [seen](int columns) {
    return [seen, columns] {
      std::vector<TableRow> r;
      for (uint32_t i = 1; i <= 2; ++i) {
        TableRow row{{i}, {}};
        for (int c = 0; c < columns; ++c) {
          row.columns.push_back(MibValue::Counter64(1000ull * static_cast<uint64_t>(*seen) + i));
        }
        r.push_back(row);
      }
      return r;
    };
  };
  view.AddTable({1, 2, 1}, 2, rows(2), shared);
  view.AddTable({1, 3, 1}, std::vector<uint32_t>{2, 5}, rows(2), shared);
  Oid next;
  const MibValue* got = nullptr;
  const auto getNext = [&](Oid name) {
    EXPECT_TRUE(view.GetNext(name.data(), name.size(), next, got));
    return got->number;
  };

  value = 1;
  EXPECT_EQ(getNext({1, 2, 1, 1}), 1001u);  // entering the first table reads
  EXPECT_EQ(reads, 1);
  value = 2;
  // Going on in the second table with a row index: the same snapshot.
  EXPECT_EQ(getNext({1, 3, 1, 2, 0}), 1001u);
  EXPECT_EQ(next, (Oid{1, 3, 1, 2, 1}));
  EXPECT_EQ(reads, 1);
  // Columns the table lacks are skipped: 3 and 4 lead to column 5.
  EXPECT_EQ(getNext({1, 3, 1, 2, 2}), 1001u);
  EXPECT_EQ(next, (Oid{1, 3, 1, 5, 1}));
  EXPECT_EQ(getNext({1, 3, 1, 3, 7}), 1001u);
  EXPECT_EQ(next, (Oid{1, 3, 1, 5, 1}));
  EXPECT_EQ(reads, 1);
  // Entering the second table reads again, and the first table's next walk
  // with a row index sees that newer snapshot.
  EXPECT_EQ(getNext({1, 3, 1, 5}), 2001u);
  EXPECT_EQ(reads, 2);
  EXPECT_EQ(getNext({1, 2, 1, 1, 1}), 2002u);
  EXPECT_EQ(reads, 2);
  // The scalar reads whenever it is asked.
  value = 3;
  EXPECT_EQ(getNext({1, 1}), 3u);
  EXPECT_EQ(reads, 3);
  EXPECT_EQ(view.SnapshotsTaken(), 3u);
}

// A table that can take a new snapshot's values in place is built once; a
// GET of one snapshot then answers its values, and a snapshot that says its
// rows changed builds the table again.
TEST(MibViewSharedTest, RowsTakeNewValuesInPlaceUntilTheSnapshotSaysTheyChanged) {
  MibView view;
  uint64_t value = 1;
  bool sameRows = true;
  auto seen = std::make_shared<uint64_t>(0);
  const int shared = view.AddSnapshotKeepingRows([&] {
    *seen = value;
    return sameRows;
  });
  view.AddTable(
      {1, 2, 1}, 1,
      [seen] {
        return std::vector<TableRow>{{{1}, {MibValue::Counter64(*seen)}}};
      },
      shared,
      [seen](std::vector<TableRow>& rows) {
        rows[0].columns[0] = MibValue::Counter64(*seen + 100);
        return true;
      });
  const Oid name = {1, 2, 1, 1, 1};
  const auto get = [&] {
    const MibValue* got = nullptr;
    view.BeginGet();
    EXPECT_TRUE(view.Get(name.data(), name.size(), got));
    return got->number;
  };
  EXPECT_EQ(get(), 1u);
  value = 2;
  EXPECT_EQ(get(), 102u);
  value = 3;
  EXPECT_EQ(get(), 103u);
  EXPECT_EQ(view.TablesBuilt(), 1u);
  sameRows = false;
  value = 4;
  EXPECT_EQ(get(), 4u);
  EXPECT_EQ(view.TablesBuilt(), 2u);
}

}  // namespace
}  // namespace velmar::agent
