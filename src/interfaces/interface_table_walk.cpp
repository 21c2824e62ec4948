// InterfaceTable::WalkSubtree: walks for tables the component keeps no rows
// of, through the same agent, lock and busy flag as its own walks.
#include <algorithm>
#include <chrono>

#include "interfaces/interface_table.h"

namespace velmar {

namespace {

bool Precedes(const std::vector<uint32_t>& a, const uint32_t* b, uint32_t bLength) {
  return std::lexicographical_compare(a.begin(), a.end(), b, b + bLength);
}

}  // namespace

void InterfaceTable::WalkSubtree(const std::vector<uint32_t>& root, const SubtreeVisitor& visit) {
  RunWalk([&] {
    subtreeName_ = root;
    bindingList_.list = &binding_;
    bindingList_.len = 1;
    for (;;) {
      binding_ = SnmpVarBind{};
      binding_.name.ids = subtreeName_.data();
      binding_.name.idLength = static_cast<uint32_t>(subtreeName_.size());
      Query();
      const uint32_t* name = binding_.name.ids;
      const uint32_t length = binding_.name.idLength;
      if (IsNull() || name == nullptr || length <= root.size() ||
          !std::equal(root.begin(), root.end(), name) || !Precedes(subtreeName_, name, length)) {
        break;
      }
      visit(name, length, binding_.value);
      subtreeName_.assign(name, name + length);
    }
  });
}

}  // namespace velmar
