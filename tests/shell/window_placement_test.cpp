#include "shell/window_placement.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "shell/error_report.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

class FakeWindow : public PlacementWindow {
 public:
  QRect Placement() const override { return rect; }
  void SetPlacement(const QRect& r) override {
    rect = r;
    ++placements;
  }
  uint8_t PlacementState() const override { return state; }
  void SetPlacementState(uint8_t s) override {
    state = s;
    ++states;
  }
  QRect rect{10, 20, 281, 495};
  uint8_t state = kNormal;
  int placements = 0, states = 0;
};

TEST(PlacementStoreTest, SavesAndRestoresThePlaceUnderTheProductKey) {
  test::TempStore t;
  PlacementStore reg(t.store.get());
  reg.root = KeyRoot::kMachine;
  reg.SetKey("\\software\\tollera works\\velmar2000\\");
  EXPECT_EQ(reg.Key(), "\\software\\tollera works\\velmar2000");

  FakeWindow w;
  w.rect = QRect(-5, 7, 300, 512);
  reg.Save(w);
  Registry r(*t.store);
  r.SetRootKey(KeyRoot::kMachine);
  ASSERT_TRUE(r.OpenKey("\\Software\\Tollera Works\\Velmar2000", false));
  EXPECT_EQ(r.ReadInteger("RCLeft"), -5);
  EXPECT_EQ(r.ReadInteger("RCHeight"), 512);
  EXPECT_EQ(r.GetDataType("RCWindowState"), ValueKind::kBytes);
  EXPECT_EQ(r.ReadBinaryData("RCWindowState"), QByteArray(1, '\0'));

  FakeWindow fresh;
  reg.Load(fresh);
  EXPECT_EQ(fresh.rect, QRect(-5, 7, 300, 512));
  EXPECT_EQ(fresh.state, PlacementWindow::kNormal);

  // Maximised: the state is applied and the coordinates are left unread.
  w.state = PlacementWindow::kMaximised;
  reg.Save(w);
  FakeWindow other;
  reg.Load(other);
  EXPECT_EQ(other.state, PlacementWindow::kMaximised);
  EXPECT_EQ(other.placements, 0);

  // Disabled: neither reads nor writes.
  reg.enabled = false;
  w.rect = QRect(1, 1, 1, 1);
  reg.Save(w);
  reg.enabled = true;
  FakeWindow again;
  reg.Load(again);
  EXPECT_EQ(again.state, PlacementWindow::kMaximised);
}

TEST(PlacementStoreTest, MissingOrMistypedValuesEndTheLoadSilently) {
  test::TempStore t;
  PlacementStore reg(t.store.get());
  reg.root = KeyRoot::kMachine;
  reg.SetKey("\\Software\\Tollera Works\\Velmar2000");
  FakeWindow w;
  reg.Load(w);  // no key at all
  EXPECT_EQ(w.states + w.placements, 0);

  Registry r(*t.store);
  r.SetRootKey(KeyRoot::kMachine);
  ASSERT_TRUE(r.OpenKey("\\Software\\Tollera Works\\Velmar2000", true));
  r.WriteBinaryData("RCWindowState", QByteArray(1, '\0'));
  r.WriteInteger("RCLeft", 1);
  r.WriteInteger("RCTop", 2);
  r.WriteString("RCWidth", "wide");  // the wrong type
  r.WriteInteger("RCHeight", 4);
  EXPECT_NO_THROW(reg.Load(w));
  EXPECT_EQ(w.states, 1) << "what came before the bad value is applied";
  EXPECT_EQ(w.placements, 0);

  // A state of the wrong size or type ends it at once.
  r.WriteInteger("RCWindowState", 0);
  FakeWindow w2;
  reg.Load(w2);
  EXPECT_EQ(w2.states, 0);

  // No store, or a read-only one: saving is quietly skipped.
  PlacementStore none(nullptr);
  EXPECT_NO_THROW(none.Save(w));
  KeyStore readOnly(t.store->Path(), KeyStore::Access::ReadOnly);
  PlacementStore ro(&readOnly);
  ro.root = KeyRoot::kMachine;
  ro.SetKey("\\Software\\Tollera Works\\Velmar2000");
  EXPECT_NO_THROW(ro.Save(w));
}

TEST(ErrorReportTest, ThreeLinesWithTheSection) {
  const QString text = ErrorReportText("SNMP query failed.", 213);
  const QStringList lines = text.split("\r\n");
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], "Error: SNMP query failed.");
  EXPECT_EQ(lines[1], "in program section 213");
  EXPECT_TRUE(lines[2].contains("@")) << "a help-desk address";
  EXPECT_EQ(ErrorStatusText("x"), "Error :x");
}

}  // namespace
}  // namespace velmar
