// The remote agent's mapping of a device's SNMP answers on arbitrary bytes.
//
// The bytes describe a few polls. Each poll walks some of the agent's
// subtrees; each walk is a run of GETBULK answers built with net-snmp's own
// varbind calls: every ASN type and the exceptions (endOfMibView,
// noSuchObject, noSuchInstance), values of any length, names that go on,
// repeat, go back, jump or leave the subtree, error statuses in the middle.
// The answers go through the poller's own mapping (TakeAnswer) and a poll
// that fails keeps the parts of the last good one, as the agent does.
//
// After each poll, the snapshot the agent would serve must answer walks as
// a manager expects: from every subtree's root, from the top and from a
// fuzzed name, each GETNEXT answer is strictly after the name asked, the
// walk ends within (objects + 1) steps, and every value is of a type the
// agent ABI carries.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "agent/remote_view.h"
#include "agent/snmp_poller.h"

using velmar::agent::FetchError;
using velmar::agent::RemoteObject;
using velmar::agent::RemoteSnapshot;
using velmar::agent::SubtreeWalk;

namespace {

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t Next32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      v = v << 8 | Next();
    }
    return v;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

void Fail(const char* what) {
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

// Every tag a device may send, the exceptions included; other bytes are
// taken as they come.
const uint8_t kTypes[] = {ASN_INTEGER,       ASN_OCTET_STR,     ASN_OBJECT_ID,      ASN_NULL,
                          ASN_IPADDRESS,     ASN_COUNTER,       ASN_GAUGE,          ASN_TIMETICKS,
                          ASN_OPAQUE,        ASN_COUNTER64,     ASN_UINTEGER,       ASN_BIT_STR,
                          SNMP_ENDOFMIBVIEW, SNMP_NOSUCHOBJECT, SNMP_NOSUCHINSTANCE};

// The next name of an answer, relative to where the walk stands.
std::vector<oid> NextName(Bytes& in, const SubtreeWalk& walk) {
  std::vector<oid> name(walk.cursor.begin(), walk.cursor.end());
  const uint8_t how = in.Next();
  switch (how % 8) {
    case 0:  // a column or row below the cursor
    case 1: {
      const int extra = 1 + in.Next() % 3;
      for (int i = 0; i < extra; ++i) {
        name.push_back(in.Next() % 8);
      }
      break;
    }
    case 2:  // the next instance
      if (name.size() > walk.root.size()) {
        name.back() += 1 + in.Next() % 4;
      } else {
        name.push_back(1);
      }
      break;
    case 3:  // the same name again
      break;
    case 4:  // back one step
      if (!name.empty()) {
        name.back() = name.back() > 0 ? name.back() - 1 : 0;
      }
      break;
    case 5:  // shorter: a column of a row, or the root itself
      name.resize(std::max(walk.root.size(), name.size() > 0 ? name.size() - 1 : 0));
      break;
    case 6: {  // anywhere, of any length, possibly huge components
      const size_t length = in.Next() % (MAX_OID_LEN + 1);
      name.assign(length, 0);
      for (auto& id : name) {
        const uint8_t kind = in.Next() % 4;
        // The agent carries 32-bit sub-identifiers; net-snmp's are longs.
        id = kind == 0   ? static_cast<oid>(in.Next32())
             : kind == 1 ? static_cast<oid>(in.Next32()) << 32 | in.Next32()
                         : in.Next() % 40;
      }
      break;
    }
    default:  // the next subtree's column
      name.assign(walk.root.begin(), walk.root.end());
      if (!name.empty()) {
        name.back() += 1;
      }
      name.push_back(1);
      break;
  }
  return name;
}

// One fuzzed answer: an error status (mostly none) and up to 16 varbinds.
std::unique_ptr<netsnmp_pdu, void (*)(netsnmp_pdu*)> NextAnswer(Bytes& in,
                                                                const SubtreeWalk& walk) {
  std::unique_ptr<netsnmp_pdu, void (*)(netsnmp_pdu*)> pdu(snmp_pdu_create(SNMP_MSG_RESPONSE),
                                                           snmp_free_pdu);
  const uint8_t status = in.Next();
  pdu->errstat = status < 0xe0 ? SNMP_ERR_NOERROR : status & 0x1f;
  const int count = in.Next() % 17;
  SubtreeWalk ahead = walk;
  for (int i = 0; i < count && !in.Empty(); ++i) {
    const std::vector<oid> name = NextName(in, ahead);
    const uint8_t pick = in.Next();
    const uint8_t type = pick < 0xf0 ? kTypes[pick % sizeof kTypes] : in.Next();
    size_t length = in.Next();
    uint8_t value[256] = {};
    for (size_t j = 0; j < length; ++j) {
      value[j] = in.Next();
    }
    // Now and then a value the length of the type's own C value, as the
    // decoder makes them, so the numbers are not always refused.
    if (length % 4 == 3 && type != ASN_OCTET_STR) {
      length = type == ASN_COUNTER64   ? sizeof(counter64)
               : type == ASN_OBJECT_ID ? sizeof(oid) * (1 + value[0] % 8)
                                       : sizeof(long);
    }
    snmp_pdu_add_variable(pdu.get(), name.data(), name.size(), type, value, length);
    ahead.cursor.assign(name.begin(), name.end());
  }
  return pdu;
}

bool Carried(uint8_t type) {
  switch (type) {
    case 0x02:  // INTEGER
    case 0x04:  // OCTET STRING
    case 0x06:  // OBJECT IDENTIFIER
    case 0x40:  // IpAddress
    case 0x41:  // Counter32
    case 0x42:  // Gauge32
    case 0x43:  // TimeTicks
    case 0x46:  // Counter64
      return true;
    default:
      return false;
  }
}

bool Less(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

void Walk(const RemoteSnapshot& snapshot, std::vector<uint32_t> name) {
  size_t bound = 1;
  for (const auto& part : snapshot.parts) {
    bound += part ? part->size() : 0;
  }
  for (size_t steps = 0;; ++steps) {
    if (steps > bound) {
      Fail("a walk does not end within objects + 1 steps");
    }
    const RemoteObject* next = velmar::agent::NextObject(snapshot, name.data(), name.size());
    if (next == nullptr) {
      return;
    }
    if (!Less(name, next->name)) {
      Fail("a GETNEXT answer is not after the name asked");
    }
    if (!Carried(next->type)) {
      Fail("a value of a type the agent ABI does not carry");
    }
    name = next->name;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Values of a size net-snmp refuses are expected: not on stderr.
  static const bool quiet =
      (snmp_disable_log(), netsnmp_register_loghandler(NETSNMP_LOGHANDLER_NONE, LOG_DEBUG), true);
  (void)quiet;
  Bytes in(data, size);
  const auto& subtrees = velmar::agent::RemoteSubtrees();
  std::vector<std::vector<RemoteObject>> parts(subtrees.size());
  const int polls = 1 + in.Next() % 3;
  for (int poll = 0; poll < polls && !in.Empty(); ++poll) {
    const uint8_t which = in.Next();
    std::vector<std::vector<RemoteObject>> fetched(subtrees.size());
    bool failed = false;
    for (size_t i = 0; i < subtrees.size() && !failed; ++i) {
      if (!(which >> i & 1)) {
        continue;
      }
      SubtreeWalk walk{subtrees[i].root, subtrees[i].root, 0};
      long repetitions = 40;
      // A device that never ends a subtree: the poller stops it at its
      // object cap; here the bytes run out first.
      for (int answer = 0; answer < 8; ++answer) {
        auto pdu = NextAnswer(in, walk);
        if (pdu->errstat == SNMP_ERR_TOOBIG && repetitions > 1) {
          repetitions = std::max(1L, repetitions / 2);
          continue;
        }
        try {
          if (!velmar::agent::TakeAnswer(*pdu, walk, "device:161", fetched[i])) {
            break;
          }
        } catch (const FetchError&) {
          failed = true;
          break;
        }
        if (in.Empty()) {
          break;
        }
      }
      for (const RemoteObject& object : fetched[i]) {
        if (!Less(subtrees[i].root, object.name) ||
            velmar::agent::SubtreeOf(object.name.data(), object.name.size()) !=
                static_cast<int>(i)) {
          Fail("an object outside the subtree it was fetched for");
        }
      }
    }
    // A poll that fails leaves the agent serving its last good snapshot.
    for (size_t i = 0; i < subtrees.size(); ++i) {
      if (!failed && (which >> i & 1)) {
        parts[i] = std::move(fetched[i]);
      }
    }
    RemoteSnapshot snapshot;
    const std::vector<uint32_t>* previous = nullptr;
    for (const auto& part : parts) {
      snapshot.parts.push_back(std::make_shared<const std::vector<RemoteObject>>(part));
      for (const RemoteObject& object : part) {
        if (previous != nullptr && !Less(*previous, object.name)) {
          Fail("the snapshot is not in strict MIB order");
        }
        previous = &object.name;
      }
    }
    Walk(snapshot, {});
    Walk(snapshot, {1, 3, 6, 1, 2, 1});
    for (const auto& subtree : subtrees) {
      Walk(snapshot, subtree.root);
    }
    std::vector<uint32_t> from(in.Next() % 14);
    for (auto& id : from) {
      id = in.Next() % 40;
    }
    Walk(snapshot, from);
  }
  return 0;
}
