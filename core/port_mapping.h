#pragma once
// The record of one named port mapping, its list elements and the table of all mappings,
// with the values every user of a record derives the same way.
//
// Only configuration lives here. The engine keeps a started mapping's run-time state (sockets,
// threads, resolved addresses, sessions) in its listener copies, which hold a copy of this record.

#include <string>
#include <string_view>
#include <vector>

#include "core/fixed_text.h"

namespace zk {

struct IpRange {
    FixedText<50> start;
    FixedText<50> end;
    bool operator==(const IpRange&) const = default;
};

struct RouteEntry {
    FixedText<50> start;
    FixedText<50> end;
    FixedText<255> d_ip;
    FixedText<20> d_port;
    bool operator==(const RouteEntry&) const = default;
};

struct RoundRobinTarget {
    FixedText<255> d_ip;
    FixedText<20> d_port;
    bool operator==(const RoundRobinTarget&) const = default;
};

// Placeholders stored in destination_ip; never used as an address.
inline constexpr std::string_view kHttpProxyPlaceholder = "http proxy";
inline constexpr std::string_view kSmartRoutePlaceholder = "enable smart route";
inline constexpr std::string_view kUnlimited = "unlimited";

// A value-initialised record is the "new mapping": every text empty, every list empty.
// Copies are deep: the lists are values.
struct PortMapping {
    FixedText<256> name;
    FixedText<10> type;             // "TCP" or "UDP"
    FixedText<2> listen_port_type;  // "0" single, "1" range
    FixedText<20> listen_port;
    FixedText<20> listen_port_end;
    FixedText<255> destination_ip;
    FixedText<2> enable_smart;     // "1"/"0"
    FixedText<10> smart_strategy;  // "0" by incoming address, else round robin
    std::vector<RouteEntry> smart_ip_range;
    std::vector<RoundRobinTarget> smart_round_robin;
    FixedText<2> destination_port_type;
    FixedText<20> destination_port;
    FixedText<20> destination_port_end;
    FixedText<10> max_sessions;  // empty: unlimited
    FixedText<2> enable_log;
    FixedText<2> enable_ip_strategy;
    FixedText<2> auto_start;  // "Y"/"N"
    FixedText<2> http_proxy;  // "Y"/"N"
    FixedText<1024> log_file;
    std::vector<IpRange> allow_ip;
    std::vector<IpRange> block_ip;
    FixedText<2> ssl_enable;  // "Y"/"N"
    FixedText<20> ssl_type;   // "server", "client" or empty
    FixedText<1024> private_key;
    FixedText<1024> public_key;
    FixedText<1024> server_cer;
    FixedText<1024> private_key_client;
    FixedText<1024> public_key_client;
    FixedText<1024> client_cer;
    FixedText<1024> root_key;
    FixedText<1024> root;

    bool operator==(const PortMapping&) const = default;
};

// Row i of the main list, mapping element i of config.xml.
using MappingTable = std::vector<PortMapping>;

// Decimal text read by its leading digits, as atoi does: "" and "abc" are 0, "12x" is 12.
int text_to_int(std::string_view text);

// "Y"/"N" flags are on only when exactly "Y"; "1"/"0" flags are on when their number is not 0.
inline bool is_yes(std::string_view flag) {
    return flag == "Y";
}
inline bool is_set(std::string_view flag) {
    return text_to_int(flag) != 0;
}

// Every listen port of the mapping in order; empty when a range ends below its start.
std::vector<int> listen_ports(const PortMapping& mapping);

// Where a connection arriving on `listen_port` is relayed to.
int destination_port_for(const PortMapping& mapping, int listen_port);

// "8000-8003" for a range, "8000" for a single port; the destination text likewise.
std::string listen_port_text(const PortMapping& mapping);
std::string destination_port_text(const PortMapping& mapping);

// max_sessions, or "unlimited" when it is empty.
std::string session_limit_text(const PortMapping& mapping);

// Index of the mapping with exactly this name (case-sensitive), or -1.
int find_mapping(const MappingTable& table, std::string_view name);

}  // namespace zk
