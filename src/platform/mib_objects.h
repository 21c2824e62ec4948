#pragma once

#include <cstdint>
#include <vector>

// The MIB objects both sides name: the agents that serve them and the
// meter that walks them. Entries end at the table's entry; scalars at .0.
namespace velmar::mib {

using Object = std::vector<uint32_t>;

// MIB-II (RFC 1213) and IF-MIB (RFC 2863).
inline const Object kIfNumber = {1, 3, 6, 1, 2, 1, 2, 1, 0};
inline const Object kIfEntry = {1, 3, 6, 1, 2, 1, 2, 2, 1};
inline const Object kIpForwarding = {1, 3, 6, 1, 2, 1, 4, 1, 0};
inline const Object kIpAddrEntry = {1, 3, 6, 1, 2, 1, 4, 20, 1};
inline const Object kIpRouteEntry = {1, 3, 6, 1, 2, 1, 4, 21, 1};
inline const Object kIpNetToMediaEntry = {1, 3, 6, 1, 2, 1, 4, 22, 1};
inline const Object kIpRoutingDiscards = {1, 3, 6, 1, 2, 1, 4, 23, 0};
inline const Object kTcpConnEntry = {1, 3, 6, 1, 2, 1, 6, 13, 1};
inline const Object kTcpInErrs = {1, 3, 6, 1, 2, 1, 6, 14, 0};
inline const Object kTcpOutRsts = {1, 3, 6, 1, 2, 1, 6, 15, 0};
inline const Object kUdpEntry = {1, 3, 6, 1, 2, 1, 7, 5, 1};
inline const Object kIfXEntry = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1};
inline const Object kIfName = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1};
inline const Object kIfAlias = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 18};
inline const Object kIfStackEntry = {1, 3, 6, 1, 2, 1, 31, 1, 2, 1};

// The address-family-neutral tables: IP-FORWARD-MIB (RFC 4292), IP-MIB
// (RFC 4293), TCP-MIB (RFC 4022), UDP-MIB (RFC 4113).
inline const Object kInetCidrRouteEntry = {1, 3, 6, 1, 2, 1, 4, 24, 7, 1};
inline const Object kIpv6IpForwarding = {1, 3, 6, 1, 2, 1, 4, 25, 0};
inline const Object kIpSystemStatsEntry = {1, 3, 6, 1, 2, 1, 4, 31, 1, 1};
inline const Object kIpIfStatsEntry = {1, 3, 6, 1, 2, 1, 4, 31, 3, 1};
inline const Object kIpAddressPrefixEntry = {1, 3, 6, 1, 2, 1, 4, 32, 1};
inline const Object kIpAddressPrefixOrigin = {1, 3, 6, 1, 2, 1, 4, 32, 1, 5};
inline const Object kIpAddressEntry = {1, 3, 6, 1, 2, 1, 4, 34, 1};
inline const Object kIpNetToPhysicalEntry = {1, 3, 6, 1, 2, 1, 4, 35, 1};
inline const Object kTcpConnectionEntry = {1, 3, 6, 1, 2, 1, 6, 19, 1};
inline const Object kTcpListenerEntry = {1, 3, 6, 1, 2, 1, 6, 20, 1};
inline const Object kUdpEndpointEntry = {1, 3, 6, 1, 2, 1, 7, 7, 1};

// The agent's own subtree (RFC 5612's example enterprise): the processes
// holding sockets.
inline const Object kVelmarSubtree = {1, 3, 6, 1, 4, 1, 32473, 1};
inline const Object kVelmarProcessEntry = {1, 3, 6, 1, 4, 1, 32473, 1, 1, 1};
inline const Object kVelmarProcessName = {1, 3, 6, 1, 4, 1, 32473, 1, 1, 1, 2};

}  // namespace velmar::mib
