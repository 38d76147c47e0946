#pragma once
// The mappings of the forwarders under test, written by the program's own configuration writer
// so the benchmark never keeps a copy of the file format.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/app_settings.h"
#include "core/port_mapping.h"

namespace zk::bench {

// The mapping table from one text per mapping, each
// "NAME,KIND,LISTEN_PORT[,DEST_IP,DEST_PORT[,SSL_TYPE,CERT,KEY]]": KIND is TCP
// or UDP (with a loopback destination), or PROXY (an HTTP-proxy mapping, nothing after the
// port); SSL_TYPE "client" or "server" makes a TCP mapping one end of a TLS tunnel with that
// certificate and key. Every mapping starts with the program. Nothing, with `error` naming the
// mapping, when a text is not such a mapping or the program's editors would refuse it (a
// repeated name, say).
std::optional<MappingTable> mappings_from_options(const std::vector<std::string>& options,
                                                  std::string& error);

// The program's defaults with the web interface and the router monitor off, so the forwarder
// under test does nothing but forward.
AppSettings bench_settings();

}  // namespace zk::bench
