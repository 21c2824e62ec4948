#pragma once

#include <functional>
#include <string>

namespace velmar::test {

// What `f` raised as an E, or "(nothing raised)".
template <typename E>
std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "(nothing raised)";
}

}  // namespace velmar::test
