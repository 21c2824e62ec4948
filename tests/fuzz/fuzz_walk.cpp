// The table walks against an agent whose answers come from the fuzzer:
// types, lengths, early NULLs and failures, for all three tables, and named
// answers in the ifXTable and ifStackTable columns the interface walk reads.
#include <dlfcn.h>

#include <QCoreApplication>
#include <cstdint>
#include <cstdlib>

#include "interfaces/interface_table.h"
#include "platform/snmp_abi.h"

namespace {

struct Fake {
  void* handle;
  void (*reset)();
  void (*number)(uint8_t, uint32_t);
  void (*bytes)(uint8_t, const void*, uint32_t);
  void (*failure)();
  void (*number64)(uint8_t, uint64_t);
  void (*nameLast)(const uint32_t*, uint32_t);
};

Fake& Agent() {
  static Fake fake = [] {
    Fake f{};
    f.handle = dlopen(VELMAR_BIN_DIR "/libfake_mib2.so", RTLD_NOW);
    if (f.handle == nullptr)
      abort();
    f.reset = reinterpret_cast<void (*)()>(dlsym(f.handle, "FakeAgentReset"));
    f.number =
        reinterpret_cast<void (*)(uint8_t, uint32_t)>(dlsym(f.handle, "FakeAgentPushNumber"));
    f.bytes = reinterpret_cast<void (*)(uint8_t, const void*, uint32_t)>(
        dlsym(f.handle, "FakeAgentPushBytes"));
    f.failure = reinterpret_cast<void (*)()>(dlsym(f.handle, "FakeAgentPushFailure"));
    f.number64 =
        reinterpret_cast<void (*)(uint8_t, uint64_t)>(dlsym(f.handle, "FakeAgentPushNumber64"));
    f.nameLast =
        reinterpret_cast<void (*)(const uint32_t*, uint32_t)>(dlsym(f.handle, "FakeAgentNameLast"));
    return f;
  }();
  return fake;
}

const uint8_t kTypes[] = {ASN_INTEGER,   ASN_OCTETSTRING, ASN_NULL,    ASN_OBJECTIDENTIFIER,
                          ASN_IPADDRESS, ASN_COUNTER32,   ASN_GAUGE32, ASN_TIMETICKS};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QCoreApplication* app = nullptr;
  static velmar::InterfaceTable* table = nullptr;
  if (app == nullptr) {
    static int argc = 1;
    static char name[] = "fuzz_walk";
    static char* argv[] = {name, nullptr};
    app = new QCoreApplication(argc, argv);
    Agent();
    table = new velmar::InterfaceTable(nullptr, VELMAR_BIN_DIR "/libfake_mib2.so");
  }
  if (size < 1)
    return 0;
  Fake& fake = Agent();
  const uint8_t kind = data[0] % 5;
  fake.reset();
  // Each answer: one control byte (type, or a failure), then its payload.
  size_t i = 1;
  while (i < size) {
    const uint8_t c = data[i++];
    if (c == 0xFF) {
      fake.failure();
      continue;
    }
    if (c == 0xFE) {  // a Counter64 answer
      uint64_t v = 0;
      for (int k = 0; k < 8 && i < size; ++k)
        v = (v << 8) | data[i++];
      fake.number64(ASN_COUNTER64, v);
      continue;
    }
    if (c == 0xFD && i < size) {
      // Names the answer before: an ifXTable or ifStackTable column with an
      // index of one or two small parts.
      static const uint32_t kColumns[] = {1, 6, 7, 10, 17, 18, 3, 0};
      const uint8_t s = data[i++];
      uint32_t name[13] = {1, 3, 6, 1, 2, 1, 31, 1, (s & 1u) + 1u, 1, kColumns[(s >> 1) & 7]};
      uint32_t length = 11;
      for (int k = 0; k < 1 + ((s >> 4) & 1) && i < size; ++k)
        name[length++] = data[i++] % 8;
      fake.nameLast(name, length);
      continue;
    }
    const uint8_t type = kTypes[c % 8];
    if (type == ASN_OCTETSTRING || type == ASN_IPADDRESS) {
      const uint32_t length = i < size ? data[i++] : 0;
      const uint32_t n = static_cast<uint32_t>(std::min<size_t>(length, size - i));
      fake.bytes(type, data + i, n);
      i += n;
    } else {
      uint32_t v = 0;
      for (int k = 0; k < 4 && i < size; ++k)
        v = (v << 8) | data[i++];
      fake.number(type, v);
    }
  }
  try {
    table->Refresh(kind);
  } catch (const velmar::TableError&) {
  }
  for (int r = 0; r < table->Count(); ++r) {
    const auto& row = table->Items(r);
    if (row.IfDescr.size() > 32)
      abort();
    (void)row.StateText();
    (void)row.LocalAddressText();
  }
  return 0;
}
