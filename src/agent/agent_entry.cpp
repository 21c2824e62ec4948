// The exported entries of libmib2.so.
#include <memory>
#include <mutex>
#include <vector>

#include "agent/mib2_tables.h"
#include "platform/snmp_abi.h"
#include "platform/snmp_binding.h"

using velmar::agent::MibValue;
using velmar::agent::Oid;

namespace {

struct AgentState {
  std::mutex mutex;
  std::unique_ptr<velmar::agent::LinkReader> linkReader;
  std::unique_ptr<velmar::agent::MibView> view;
};

AgentState& State() {
  static AgentState state;
  return state;
}

// What a query hands back lives here until the next query on this thread.
struct Answer {
  Oid name;
  velmar::BindingValueStore value;
};
struct ThreadAnswers {
  std::vector<Answer> answers;
  Oid next;  // a lookup's result before it becomes an answer's name
};
thread_local ThreadAnswers threadAnswers;

// MIB-II and the agent's own subtree under the private enterprises.
uint32_t supportedView[] = {1, 3, 6, 1};

void Fill(SnmpVarBind& binding, Answer& answer, const MibValue& value, bool named = true) {
  if (named) {
    binding.name.ids = answer.name.data();
    binding.name.idLength = static_cast<uint32_t>(answer.name.size());
  }
  velmar::SetBindingValue(binding.value, value.type, value.number, value.bytes, value.object,
                          answer.value);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int SnmpExtensionInit(
    uint32_t /*uptimeReference*/, void** trapEvent, AsnObjectIdentifier* view) {
  AgentState& state = State();
  std::lock_guard lock(state.mutex);
  if (!state.view) {
    state.linkReader = std::make_unique<velmar::agent::LinkReader>();
    velmar::agent::KernelSources sources;
    auto* reader = state.linkReader.get();
    sources.links = [reader](std::vector<velmar::agent::LinkInfo>& links) {
      return reader->Update(links);
    };
    state.view = velmar::agent::BuildMib2View(std::move(sources));
  }
  if (trapEvent != nullptr) {
    *trapEvent = nullptr;
  }
  if (view != nullptr) {
    view->ids = supportedView;
    view->idLength = sizeof supportedView / sizeof supportedView[0];
  }
  return 1;
}

extern "C" __attribute__((visibility("default"))) int SnmpExtensionQuery(uint8_t requestType,
                                                                         SnmpVarBindList* bindings,
                                                                         int32_t* errorStatus,
                                                                         int32_t* errorIndex) {
  velmar::ClearQueryError(errorStatus, errorIndex);
  AgentState& state = State();
  std::lock_guard lock(state.mutex);
  const bool get = requestType == SNMP_PDU_GET;
  if (!state.view || bindings == nullptr || (!get && requestType != SNMP_PDU_GETNEXT)) {
    return velmar::FailQuery(errorStatus);
  }
  // One look-up of the thread's storage per query, not one per use.
  ThreadAnswers& own = threadAnswers;
  std::vector<Answer>& answers = own.answers;
  if (answers.size() < bindings->len) {
    answers.resize(bindings->len);
  }
  if (get) {
    state.view->BeginGet();
  }
  for (uint32_t i = 0; i < bindings->len; ++i) {
    SnmpVarBind& binding = bindings->list[i];
    Answer& answer = answers[i];
    const MibValue* value = nullptr;
    if (get) {
      // The name stays the caller's; only the value is the agent's.
      if (state.view->Get(binding.name.ids, binding.name.idLength, value)) {
        Fill(binding, answer, *value, false);
      } else {
        velmar::SetNullValue(binding.value);
      }
      continue;
    }
    // The name may point into answer.name itself (the caller passes the
    // last answer back), so look up into a fresh buffer first.
    if (state.view->GetNext(binding.name.ids, binding.name.idLength, own.next, value)) {
      answer.name.swap(own.next);
      Fill(binding, answer, *value);
    } else {
      velmar::SetNullValue(binding.value);
    }
  }
  return 1;
}
