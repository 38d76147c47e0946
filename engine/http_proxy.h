#pragma once
// HTTP-proxy mode: the set-up of a session whose destination is the host named in its client's
// request, or the upstream proxy of the system's settings. Internal to the engine; runs on the
// session thread.

#include <functional>
#include <string>

#include "engine/engine_state.h"

namespace zk {

// Makes the connected socket `sock` the session's destination: records it in the session (so
// ending the session closes it) and opens its leg, with the TLS client handshake in client mode.
// False when the leg cannot be opened.
using AttachDestination = std::function<bool(int sock)>;

// Runs once the client leg is ready. With the upstream proxy on, connects to it and returns at
// once: nothing is read or answered, so the client's bytes reach that proxy unchanged.
// Otherwise reads the request line and connects to the host it names; a CONNECT request has the
// rest of its head read and dropped and is answered with the fixed "200 Connection established"
// reply; any other request reaches the host with its method kept, its target in origin form,
// "HTTP/1.0" and "Connection: close", and its header lines without the hop-by-hop connection
// headers. Every read and write waits at most the write wait of the timings.
//
// True with the destination attached: the relays carry the rest (a request body, the tunnel).
// False when the session must end; the caller closes both sockets. `destination_address`
// receives the address connected to, for dump headers.
bool http_proxy_setup(const EngineState& state, const ListenerCopy& copy, SessionInfo& session,
                      const AttachDestination& attach, std::string& destination_address);

}  // namespace zk
