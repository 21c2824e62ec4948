// The table walks against an agent whose answers come from the fuzzer:
// types, lengths, early NULLs and failures, for all three tables.
#include <dlfcn.h>

#include <QCoreApplication>
#include <cstdint>
#include <cstdlib>

#include "interface_table.h"
#include "snmp_abi.h"

namespace {

struct Fake {
  void* handle;
  void (*reset)();
  void (*number)(uint8_t, uint32_t);
  void (*bytes)(uint8_t, const void*, uint32_t);
  void (*failure)();
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
