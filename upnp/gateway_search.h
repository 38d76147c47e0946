#pragma once
// `--gateway-search ADDRESS:PORT`, shared by zelkorad and zelkora: where the router command sends
// its gateway search instead of the multicast group, for gateways that answer a search sent to
// them directly (and for scripted gateways on loopback).

#include <cstdint>
#include <optional>
#include <string>

#include "upnp/upnp_nat.h"

namespace zk {

inline constexpr const char* kGatewaySearchForm =
    "--gateway-search needs an IPv4 address and a port, such as 127.0.0.1:1900";

struct GatewaySearch {
    std::string address;  // dotted IPv4, never a name: nothing is looked up
    std::uint16_t port = 0;
};

// "a.b.c.d:port"; for anything else (a host name included) nothing, with `error` saying what
// the option needs and what it was given.
std::optional<GatewaySearch> parse_gateway_search(const std::string& text, std::string& error);

// The router command's options, its search aimed at `search` when one is given.
UpnpOptions search_options(const std::optional<GatewaySearch>& search);

}  // namespace zk
