// The exported entries of libmib2remote.so: the same two as libmib2.so,
// answering from a device on the network, plus the optional ones that say
// which device (SnmpRemoteConfigure) and why a call failed.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "agent/remote_agent.h"
#include "platform/snmp_abi.h"
#include "platform/snmp_binding.h"

using velmar::agent::RemoteAgent;
using velmar::agent::RemoteObject;
using velmar::agent::RemoteSettings;
using velmar::agent::RemoteSnapshot;

namespace {

struct LibraryState {
  std::mutex mutex;
  RemoteSettings settings;
  uint32_t pollIntervalMs = 1000;
  bool configured = false;
  std::shared_ptr<RemoteAgent> agent;
  std::string error;  // a failure of configuring or starting
};

LibraryState& State() {
  static LibraryState state;
  return state;
}

// What a query hands back lives here until the next query on this thread,
// together with the snapshot the thread's walk reads.
struct ThreadAnswers {
  std::shared_ptr<const RemoteSnapshot> walk;
  int walkPart = -1;  // the part the walk started in
  std::vector<std::vector<uint32_t>> asked;
  std::vector<std::vector<uint32_t>> names;
  std::vector<velmar::BindingValueStore> values;
};
thread_local ThreadAnswers threadAnswers;

uint32_t supportedView[] = {1, 3, 6, 1, 2, 1};

void Fill(SnmpVarBind& binding, size_t i, const RemoteObject& object) {
  ThreadAnswers& own = threadAnswers;
  own.names[i] = object.name;
  binding.name.ids = own.names[i].data();
  binding.name.idLength = static_cast<uint32_t>(own.names[i].size());
  velmar::SetBindingValue(binding.value, object.type, object.number, object.bytes, object.object,
                          own.values[i]);
}

// A GET: the answers of the latest poll, which asks for these names from
// now on; the reading time is when that poll's answer arrived.
int AnswerGet(RemoteAgent& agent, SnmpVarBindList& bindings,
              const std::vector<std::vector<uint32_t>>& asked, int32_t* errorStatus) {
  static const std::vector<uint32_t> kReadingTime = VELMAR_READING_TIME_OID;
  std::vector<std::vector<uint32_t>> names;
  for (uint32_t i = 0; i < bindings.len; ++i) {
    if (asked[i] != kReadingTime) {
      names.push_back(asked[i]);
    }
  }
  const auto reading = agent.Reading(names);
  if (reading == nullptr) {
    return velmar::FailQuery(errorStatus);
  }
  for (uint32_t i = 0; i < bindings.len; ++i) {
    SnmpVarBind& binding = bindings.list[i];
    if (asked[i] == kReadingTime) {
      binding.value = AsnAny{};
      binding.value.asnType = ASN_COUNTER64;
      binding.value.asnValue.counter64 = static_cast<uint64_t>(
          std::chrono::duration_cast<std::chrono::microseconds>(reading->taken.time_since_epoch())
              .count());
      continue;
    }
    const RemoteObject* object = reading->Find(asked[i]);
    if (object != nullptr) {
      Fill(binding, i, *object);
    } else {
      velmar::SetNullValue(binding.value);
    }
  }
  return 1;
}

// A walk of a part of the tree the tables do not mirror: the device's own
// answers, one GETNEXT each.
int AnswerFromDevice(RemoteAgent& agent, SnmpVarBindList& bindings,
                     const std::vector<std::vector<uint32_t>>& asked, int32_t* errorStatus) {
  threadAnswers.walk.reset();
  threadAnswers.walkPart = -1;
  for (uint32_t i = 0; i < bindings.len; ++i) {
    RemoteObject next;
    try {
      if (agent.DirectNext(asked[i], next)) {
        Fill(bindings.list[i], i, next);
      } else {
        velmar::SetNullValue(bindings.list[i].value);
      }
    } catch (const std::exception& e) {
      LibraryState& state = State();
      std::lock_guard lock(state.mutex);
      state.error = e.what();
      return velmar::FailQuery(errorStatus);
    }
  }
  return 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int SnmpRemoteConfigure(
    const SnmpRemoteSource* source) {
  LibraryState& state = State();
  std::lock_guard lock(state.mutex);
  if (source == nullptr) {
    state.error = "No device is configured.";
    return 0;
  }
  RemoteSettings settings = RemoteSettings::From(*source);
  state.settings = std::move(settings);
  state.pollIntervalMs = source->pollIntervalMs == 0 ? 1000 : source->pollIntervalMs;
  state.configured = true;
  state.agent.reset();
  state.error.clear();
  return 1;
}

extern "C" __attribute__((visibility("default"))) int SnmpExtensionInit(
    uint32_t /*uptimeReference*/, void** trapEvent, AsnObjectIdentifier* view) {
  LibraryState& state = State();
  std::lock_guard lock(state.mutex);
  if (trapEvent != nullptr) {
    *trapEvent = nullptr;
  }
  if (view != nullptr) {
    view->ids = supportedView;
    view->idLength = sizeof supportedView / sizeof supportedView[0];
  }
  if (state.agent) {
    return 1;
  }
  if (!state.configured) {
    state.error = "No device is configured for the remote SNMP agent.";
    return 0;
  }
  try {
    auto agent = std::make_shared<RemoteAgent>(state.settings,
                                               std::chrono::milliseconds(state.pollIntervalMs));
    if (!agent->Start()) {
      state.error = agent->LastError();
      return 0;
    }
    state.agent = std::move(agent);
    state.error.clear();
    return 1;
  } catch (const std::exception& e) {
    state.error = e.what();
    return 0;
  }
}

extern "C" __attribute__((visibility("default"))) void SnmpExtensionClose() {
  LibraryState& state = State();
  std::shared_ptr<RemoteAgent> agent;
  {
    std::lock_guard lock(state.mutex);
    agent = std::move(state.agent);
    state.configured = false;
  }
  // Stopped outside the lock: its workers finish the request in flight.
  agent.reset();
}

extern "C" __attribute__((visibility("default"))) int SnmpExtensionQuery(uint8_t requestType,
                                                                         SnmpVarBindList* bindings,
                                                                         int32_t* errorStatus,
                                                                         int32_t* errorIndex) {
  velmar::ClearQueryError(errorStatus, errorIndex);
  LibraryState& state = State();
  std::shared_ptr<RemoteAgent> agent;
  {
    std::lock_guard lock(state.mutex);
    agent = state.agent;
    if (agent != nullptr) {
      state.error.clear();  // the running agent says why its queries fail
    }
  }
  const bool get = requestType == SNMP_PDU_GET;
  if (agent == nullptr || bindings == nullptr || (!get && requestType != SNMP_PDU_GETNEXT)) {
    return velmar::FailQuery(errorStatus);
  }
  ThreadAnswers& own = threadAnswers;
  // The names are copied before any answer replaces them (a caller passes
  // the previous answer's name back).
  std::vector<std::vector<uint32_t>>& asked = own.asked;
  if (asked.size() < bindings->len) {
    asked.resize(bindings->len);
  }
  for (uint32_t i = 0; i < bindings->len; ++i) {
    const AsnObjectIdentifier& name = bindings->list[i].name;
    if (name.ids != nullptr) {
      asked[i].assign(name.ids, name.ids + name.idLength);
    } else {
      asked[i].clear();
    }
  }
  if (own.names.size() < bindings->len) {
    own.names.resize(bindings->len);
    own.values.resize(bindings->len);
  }
  if (get) {
    return AnswerGet(*agent, *bindings, asked, errorStatus);
  }
  bool starts = own.walk == nullptr;
  int subtree = -1;
  bool outside = false;
  for (uint32_t i = 0; i < bindings->len; ++i) {
    const int part = velmar::agent::SubtreeOf(asked[i].data(), asked[i].size());
    if (velmar::agent::StartsWalk(asked[i].data(), asked[i].size())) {
      starts = true;
      subtree = part;
      outside = outside || subtree < 0;
    } else if (part >= 0 && part != own.walkPart &&
               !velmar::agent::RemoteSubtrees()[static_cast<size_t>(part)].interfaces) {
      // A look-up at a row of a big table no walk of it has begun (the
      // default routes among a router's thousands): the device answers
      // it, so the whole table is not fetched for a few rows.
      outside = true;
    }
  }
  if (outside) {
    return AnswerFromDevice(*agent, *bindings, asked, errorStatus);
  }
  auto latest = agent->Snapshot(starts, subtree);
  if (latest == nullptr) {
    own.walk.reset();
    return velmar::FailQuery(errorStatus);
  }
  if (starts) {
    own.walk = std::move(latest);
    own.walkPart = subtree;
  }
  for (uint32_t i = 0; i < bindings->len; ++i) {
    SnmpVarBind& binding = bindings->list[i];
    const RemoteObject* next =
        velmar::agent::NextObject(*own.walk, asked[i].data(), asked[i].size());
    if (next != nullptr) {
      Fill(binding, i, *next);
    } else {
      velmar::SetNullValue(binding.value);
    }
  }
  return 1;
}

extern "C" __attribute__((visibility("default"))) uint32_t SnmpExtensionLastError(char* buffer,
                                                                                  uint32_t size) {
  LibraryState& state = State();
  std::string text;
  {
    std::lock_guard lock(state.mutex);
    // A failure of a walk outside the tables, else the agent's own.
    text = !state.error.empty() || !state.agent ? state.error : state.agent->LastError();
  }
  if (buffer != nullptr && size > 0) {
    const size_t n = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
  }
  return static_cast<uint32_t>(text.size());
}
