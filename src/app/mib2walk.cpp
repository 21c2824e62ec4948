// mib2walk: walks the agent library the meter uses, one line per object,
// in the numeric form of the usual SNMP command-line tools.
//   mib2walk [--agent PATH] [OID ...]
//   mib2walk --snmp HOST[:PORT] [--snmp-version 2c|3] ... [OID ...]
// Without an OID it walks the interface, route and TCP connection tables,
// then the extended interface table and the interface stack. With --snmp
// it walks a device on the network through the remote agent library, as
// the meter does.
#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/remote_options.h"
#include "config/settings_list.h"
#include "interfaces/interface_table.h"
#include "platform/snmp_abi.h"
#include "platform/snmp_agent.h"
#include "platform/snmp_format.h"
#include "platform/tick_clock.h"

using namespace velmar;

namespace {

bool StartsWith(const uint32_t* ids, uint32_t length, const std::vector<uint32_t>& prefix) {
  if (length < prefix.size()) {
    return false;
  }
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (ids[i] != prefix[i]) {
      return false;
    }
  }
  return true;
}

// Returns false when the agent failed.
bool Walk(const SnmpAgent& agent, const std::vector<uint32_t>& root) {
  const PFNSNMPEXTENSIONQUERY query = agent.Query();
  std::vector<uint32_t> start = root;
  SnmpVarBind binding{};
  binding.name.ids = start.data();
  binding.name.idLength = static_cast<uint32_t>(start.size());
  SnmpVarBindList list{&binding, 1};
  for (;;) {
    int32_t status = 0;
    int32_t index = 0;
    if (!query(SNMP_PDU_GETNEXT, &list, &status, &index)) {
      const std::string reason = agent.AgentError();
      std::fprintf(stderr, "mib2walk: agent query failed (status %d)%s%s\n", status,
                   reason.empty() ? "" : ": ", reason.c_str());
      return false;
    }
    if (binding.value.asnType == ASN_NULL ||
        !StartsWith(binding.name.ids, binding.name.idLength, root)) {
      return true;
    }
    std::printf("%s\n", FormatVarBind(binding).c_str());
  }
}

// What the command line asks for.
struct WalkOptions {
  QString agentPath = InterfaceTable::DefaultAgentLibraryPath();
  std::vector<std::vector<uint32_t>> roots;
  RemoteOptions remote;
};

// Reads the arguments into `options`; an exit status when the run ends
// here (the help, or an argument that is no object identifier).
std::optional<int> ParseArguments(int argc, char* argv[], WalkOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--agent" && i + 1 < argc) {
      options.agentPath = QString::fromLocal8Bit(argv[++i]);
    } else if (arg.rfind("--snmp", 0) == 0 && i + 1 < argc &&
               options.remote.Take(QString::fromLocal8Bit(argv[i] + 2),
                                   QString::fromLocal8Bit(argv[i + 1]))) {
      ++i;
    } else if (arg == "-h" || arg == "--help") {
      std::printf(
          "usage: mib2walk [--agent PATH] [OID ...]\n"
          "       mib2walk %s [OID ...]\n",
          RemoteOptions::kUsage);
      return 0;
    } else if (auto oid = ParseOid(arg)) {
      options.roots.push_back(*oid);
    } else {
      std::fprintf(stderr, "mib2walk: not an object identifier: %s\n", argv[i]);
      return 2;
    }
  }
  if (options.roots.empty()) {
    options.roots = {{1, 3, 6, 1, 2, 1, 2, 2},
                     {1, 3, 6, 1, 2, 1, 4, 21},
                     {1, 3, 6, 1, 2, 1, 6, 13},
                     {1, 3, 6, 1, 2, 1, 31, 1, 1},
                     {1, 3, 6, 1, 2, 1, 31, 1, 2}};
  }
  return std::nullopt;
}

// Starts the agent library; false, with the reason on stderr, when it
// cannot answer.
bool StartAgent(SnmpAgent& agent, const QString& path, const SnmpRemoteSource* device) {
  switch (agent.Start(path.toStdString(), SystemClock().TickCount(), device)) {
    case SnmpAgent::Failure::kNone:
      return true;
    case SnmpAgent::Failure::kNotLoaded:
      std::fprintf(stderr, "mib2walk: %s\n", agent.LastError().c_str());
      return false;
    case SnmpAgent::Failure::kNoEntryPoints:
    case SnmpAgent::Failure::kNotRemote:
      std::fprintf(stderr, "mib2walk: %s\n", SnmpAgent::kUnavailable);
      return false;
    case SnmpAgent::Failure::kInitFailed: {
      const std::string reason = agent.AgentError();
      std::fprintf(stderr, "mib2walk: %s%s%s\n", SnmpAgent::kInitError, reason.empty() ? "" : " ",
                   reason.c_str());
      return false;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  WalkOptions options;
  if (const std::optional<int> status = ParseArguments(argc, argv, options)) {
    return *status;
  }

  // A device is walked only when --snmp names it: a plain mib2walk always
  // shows this computer, whatever the meter's settings choose.
  std::optional<RemoteSource> device;
  RemoteSource::Storage storage;
  SnmpRemoteSource abi{};
  if (!options.remote.address.isEmpty()) {
    try {
      device = options.remote.Resolve(SettingsList());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "mib2walk: %s\n", e.what());
      return 2;
    }
    options.agentPath = RemoteSource::LibraryPath();
    abi = device->ToAbi(storage, 1000);
  }

  SnmpAgent agent;
  if (!StartAgent(agent, options.agentPath, device ? &abi : nullptr)) {
    return 1;
  }
  for (const auto& root : options.roots) {
    if (!Walk(agent, root)) {
      return 1;
    }
  }
  return 0;
}
