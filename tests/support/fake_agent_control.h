#pragma once

// The test side of the scripted agent library: loads the same file the
// component under test loads and reaches its script through the FakeAgent*
// entries, plus helpers that script whole table walks.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/snmp_abi.h"

namespace velmar::test {

inline QString FakeAgentPath() {
  return QStringLiteral(VELMAR_BIN_DIR "/libfake_mib2.so");
}
inline QString FakeAgentNoQueryPath() {
  return QStringLiteral(VELMAR_BIN_DIR "/libfake_mib2_noquery.so");
}

// One interface row as the agent reports it.
struct FakeInterface {
  int32_t index = 2;
  std::string descr = "eth0";
  uint32_t inOctets = 0;
  uint32_t outOctets = 0;
  int32_t type = 6;
  int32_t mtu = 1500;
  uint32_t speed = 1000000000;
  std::string physAddress = std::string("\x02\xfc\x00\x00\x00\x01", 6);
  // The ifXTable part, scripted by Interfaces(): 64-bit counters when
  // `hc`, ifConnectorPresent when not 0.
  bool hc = false;
  uint64_t hcIn = 0;
  uint64_t hcOut = 0;
  int32_t connector = 0;
};

// One TCP connection row.
struct FakeConnection {
  std::array<uint8_t, 4> local;
  int32_t localPort;
  std::array<uint8_t, 4> remote;
  int32_t remotePort;
  int32_t state;
};

// One route: its destination and the index of the interface it leaves by.
struct FakeRoute {
  std::array<uint8_t, 4> dest;
  int32_t ifIndex;
};

// One object of a scripted subtree walk: its whole name and its value.
struct FakeObject {
  std::vector<uint32_t> name;
  uint8_t type = ASN_INTEGER;
  uint64_t number = 0;
  std::string bytes;
};

// An object named `entry`.`column`.`index`.
inline FakeObject FakeCell(const std::vector<uint32_t>& entry, uint32_t column,
                           const std::vector<uint32_t>& index, uint8_t type, uint64_t number,
                           std::string bytes = {}) {
  FakeObject o{entry, type, number, std::move(bytes)};
  o.name.push_back(column);
  o.name.insert(o.name.end(), index.begin(), index.end());
  return o;
}

class FakeAgent {
 public:
  FakeAgent() {
    handle_ = dlopen(FakeAgentPath().toUtf8().constData(), RTLD_NOW);
    if (handle_ == nullptr) {
      ADD_FAILURE() << "cannot load the fake agent: " << dlerror();
      return;
    }
    Reset();
  }
  ~FakeAgent() {
    if (handle_ != nullptr) {
      Reset();
      dlclose(handle_);
    }
  }
  FakeAgent(const FakeAgent&) = delete;
  FakeAgent& operator=(const FakeAgent&) = delete;

  void Reset() { Call<void (*)()>("FakeAgentReset")(); }
  void SetInitResult(int r) { Call<void (*)(int)>("FakeAgentSetInitResult")(r); }
  unsigned QueryCount() { return Call<unsigned (*)()>("FakeAgentQueryCount")(); }
  unsigned InitCount() { return Call<unsigned (*)()>("FakeAgentInitCount")(); }
  unsigned Pending() { return Call<unsigned (*)()>("FakeAgentPending")(); }
  void OnQuery(void (*callback)(void*), void* context) {
    Call<void (*)(void (*)(void*), void*)>("FakeAgentOnQuery")(callback, context);
  }

  void Integer(int32_t v) { Number(ASN_INTEGER, static_cast<uint32_t>(v)); }
  void Counter(uint32_t v) { Number(ASN_COUNTER32, v); }
  void Gauge(uint32_t v) { Number(ASN_GAUGE32, v); }
  void Ticks(uint32_t v) { Number(ASN_TIMETICKS, v); }
  void Null() { Number(ASN_NULL, 0); }
  void Number(uint8_t type, uint32_t v) {
    Call<void (*)(uint8_t, uint32_t)>("FakeAgentPushNumber")(type, v);
  }
  void String(const std::string& s) { Bytes(ASN_OCTETSTRING, s); }
  void Ip(std::array<uint8_t, 4> a) { Bytes(ASN_IPADDRESS, std::string(a.begin(), a.end())); }
  void Bytes(uint8_t type, const std::string& s) {
    Call<void (*)(uint8_t, const void*, uint32_t)>("FakeAgentPushBytes")(
        type, s.data(), static_cast<uint32_t>(s.size()));
  }
  void Failure() { Call<void (*)()>("FakeAgentPushFailure")(); }
  void Counter64(uint64_t v) {
    Call<void (*)(uint8_t, uint64_t)>("FakeAgentPushNumber64")(ASN_COUNTER64, v);
  }
  // Names the answer pushed last.
  void Named(std::vector<uint32_t> name) {
    Call<void (*)(const uint32_t*, uint32_t)>("FakeAgentNameLast")(
        name.data(), static_cast<uint32_t>(name.size()));
  }

  // The answers to one walk of a subtree: each object named, in order,
  // then the end of the view. An empty list is a table the agent lacks.
  void Walk(const std::vector<FakeObject>& objects) {
    for (const FakeObject& o : objects) {
      if (o.type == ASN_OCTETSTRING || o.type == ASN_IPADDRESS) {
        Bytes(o.type, o.bytes);
      } else if (o.type == ASN_COUNTER64) {
        Counter64(o.number);
      } else {
        Number(o.type, static_cast<uint32_t>(o.number));
      }
      Named(o.name);
    }
    Null();
  }

  // The answers to a whole interface walk, in MIB order, ending with the
  // object after the table (ifSpecific), then the end of the view where the
  // walk looks for the ifXTable: an agent without it.
  void InterfaceTable(const std::vector<FakeInterface>& rows) {
    IfTableOnly(rows);
    Null();
  }

  // The same with the ifXTable columns the walk reads (the 64-bit counters
  // of rows with `hc`, ifConnectorPresent of rows with a `connector`) and
  // the ifStackTable rows (higher, lower), each answer named as the real
  // agent names it, then the end of the view.
  void Interfaces(const std::vector<FakeInterface>& rows,
                  const std::vector<std::pair<int32_t, int32_t>>& stack = {}) {
    IfTableOnly(rows);
    const auto ifx = [](uint32_t column, int32_t index) {
      return std::vector<uint32_t>{1,  3, 6, 1, 2,      1,
                                   31, 1, 1, 1, column, static_cast<uint32_t>(index)};
    };
    for (const auto& r : rows)
      if (r.hc) {
        Counter64(r.hcIn);
        Named(ifx(6, r.index));
      }
    for (const auto& r : rows)
      if (r.hc) {
        Counter64(r.hcOut);
        Named(ifx(10, r.index));
      }
    for (const auto& r : rows)
      if (r.connector != 0) {
        Integer(r.connector);
        Named(ifx(17, r.index));
      }
    for (const auto& [higher, lower] : stack) {
      Integer(1);  // active
      Named({1, 3, 6, 1, 2, 1, 31, 1, 2, 1, 3, static_cast<uint32_t>(higher),
             static_cast<uint32_t>(lower)});
    }
    Null();
  }

  // The ifTable part of an interface walk, ending with ifSpecific, each
  // answer named as a real agent names it (column, then row index).
  void IfTableOnly(const std::vector<FakeInterface>& rows) {
    const auto named = [this](uint32_t column, int32_t index) {
      Named({1, 3, 6, 1, 2, 1, 2, 2, 1, column, static_cast<uint32_t>(index)});
    };
    const auto each = [&](uint32_t column, const auto& push) {
      for (const auto& r : rows) {
        push(r);
        named(column, r.index);
      }
    };
    each(1, [&](const FakeInterface& r) { Integer(r.index); });
    each(2, [&](const FakeInterface& r) { String(r.descr); });
    each(3, [&](const FakeInterface& r) { Integer(r.type); });
    each(4, [&](const FakeInterface& r) { Integer(r.mtu); });
    each(5, [&](const FakeInterface& r) { Gauge(r.speed); });
    each(6, [&](const FakeInterface& r) { String(r.physAddress); });
    each(7, [&](const FakeInterface&) { Integer(1); });  // admin status
    each(8, [&](const FakeInterface&) { Integer(1); });  // oper status
    each(9, [&](const FakeInterface&) { Ticks(0); });
    each(10, [&](const FakeInterface& r) { Counter(r.inOctets); });
    for (uint32_t column = 11; column <= 15; ++column)
      each(column, [&](const FakeInterface& r) {
        Counter(1000u * column + static_cast<uint32_t>(r.index));
      });
    each(16, [&](const FakeInterface& r) { Counter(r.outOctets); });
    for (uint32_t column = 17; column <= 20; ++column)
      each(column, [&](const FakeInterface& r) {
        Counter(1000u * column + static_cast<uint32_t>(r.index));
      });
    each(21, [&](const FakeInterface& r) { Gauge(21000u + static_cast<uint32_t>(r.index)); });
    Bytes(ASN_OBJECTIDENTIFIER, "");  // ifSpecific: a value of another type
    named(22, rows.empty() ? 1 : rows.front().index);
  }

  // The answers to a TCP walk, column by column, ending with tcpInErrs.
  void TcpTable(const std::vector<FakeConnection>& rows) {
    for (const auto& r : rows)
      Integer(r.state);
    for (const auto& r : rows)
      Ip(r.local);
    for (const auto& r : rows)
      Integer(r.localPort);
    for (const auto& r : rows)
      Ip(r.remote);
    for (const auto& r : rows)
      Integer(r.remotePort);
    Counter(0);
  }

  // The answers to a route walk: destinations, interface indexes, and the
  // first value of the column after them (ipRouteMetric1).
  void RouteTable(const std::vector<FakeRoute>& rows) {
    for (const auto& r : rows)
      Ip(r.dest);
    for (const auto& r : rows)
      Integer(r.ifIndex);
    Integer(1);
  }

 private:
  template <typename F>
  F Call(const char* name) {
    auto f = reinterpret_cast<F>(dlsym(handle_, name));
    if (f == nullptr) {
      throw std::runtime_error(std::string("fake agent lacks ") + name);
    }
    return f;
  }
  void* handle_ = nullptr;
};

}  // namespace velmar::test
