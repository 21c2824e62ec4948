// A scripted agent library for tests. Each query answers with the next
// entry of a script that the test pushes through the FakeAgent* entries
// (the test dlopens the same file, so it shares this state with the
// component under test). Past the end of the script every answer is NULL,
// like an agent at the end of its view.
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/snmp_abi.h"

namespace {

struct Entry {
  bool fail = false;
  uint8_t type = ASN_NULL;
  uint64_t number = 0;
  std::string bytes;
  std::vector<uint32_t> name;  // empty: a running number
};

std::deque<Entry> script;
int initResult = 1;
unsigned queries = 0;
unsigned inits = 0;
void (*onQuery)(void*) = nullptr;
void* onQueryContext = nullptr;
[[maybe_unused]] std::string answerBytes;
[[maybe_unused]] uint32_t answerName[1] = {0};
[[maybe_unused]] std::vector<uint32_t> answerFullName;

}  // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT void FakeAgentReset() {
  script.clear();
  initResult = 1;
  queries = 0;
  inits = 0;
  onQuery = nullptr;
  onQueryContext = nullptr;
}
FAKE_EXPORT void FakeAgentSetInitResult(int result) {
  initResult = result;
}
FAKE_EXPORT unsigned FakeAgentQueryCount() {
  return queries;
}
FAKE_EXPORT unsigned FakeAgentInitCount() {
  return inits;
}
FAKE_EXPORT unsigned FakeAgentPending() {
  return static_cast<unsigned>(script.size());
}
FAKE_EXPORT void FakeAgentOnQuery(void (*callback)(void*), void* context) {
  onQuery = callback;
  onQueryContext = context;
}
FAKE_EXPORT void FakeAgentPushNumber(uint8_t type, uint32_t value) {
  Entry e;
  e.type = type;
  e.number = value;
  script.push_back(e);
}
FAKE_EXPORT void FakeAgentPushNumber64(uint8_t type, uint64_t value) {
  Entry e;
  e.type = type;
  e.number = value;
  script.push_back(e);
}
// Gives the entry pushed last the name it answers with.
FAKE_EXPORT void FakeAgentNameLast(const uint32_t* ids, uint32_t length) {
  if (!script.empty()) {
    script.back().name.assign(ids, ids + length);
  }
}
FAKE_EXPORT void FakeAgentPushBytes(uint8_t type, const void* data, uint32_t length) {
  Entry e;
  e.type = type;
  e.bytes.assign(static_cast<const char*>(data), length);
  script.push_back(e);
}
FAKE_EXPORT void FakeAgentPushFailure() {
  Entry e;
  e.fail = true;
  script.push_back(e);
}

FAKE_EXPORT int SnmpExtensionInit(uint32_t, void** trapEvent, AsnObjectIdentifier* view) {
  ++inits;
  if (trapEvent != nullptr) {
    *trapEvent = nullptr;
  }
  if (view != nullptr) {
    *view = AsnObjectIdentifier{};
  }
  return initResult;
}

#ifndef FAKE_AGENT_NO_QUERY
FAKE_EXPORT int SnmpExtensionQuery(uint8_t requestType, SnmpVarBindList* bindings, int32_t*,
                                   int32_t*) {
  ++queries;
  if (onQuery != nullptr) {
    onQuery(onQueryContext);
  }
  if (requestType != SNMP_PDU_GETNEXT || bindings == nullptr || bindings->len != 1) {
    return 0;
  }
  Entry e;
  if (!script.empty()) {
    e = script.front();
    script.pop_front();
  }
  if (e.fail) {
    return 0;
  }
  SnmpVarBind& b = bindings->list[0];
  ++answerName[0];
  if (e.name.empty()) {
    b.name.ids = answerName;
    b.name.idLength = 1;
  } else {
    answerFullName = e.name;
    b.name.ids = answerFullName.data();
    b.name.idLength = static_cast<uint32_t>(answerFullName.size());
  }
  b.value = AsnAny{};
  b.value.asnType = e.type;
  if (e.type == ASN_OCTETSTRING || e.type == ASN_IPADDRESS) {
    answerBytes = e.bytes;
    b.value.asnValue.string.stream = reinterpret_cast<uint8_t*>(answerBytes.data());
    b.value.asnValue.string.length = static_cast<uint32_t>(answerBytes.size());
  } else if (e.type == ASN_COUNTER64) {
    b.value.asnValue.counter64 = e.number;
  } else {
    b.value.asnValue.unsigned32 = static_cast<uint32_t>(e.number);
  }
  return 1;
}
#endif
