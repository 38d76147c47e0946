#pragma once
// The TLS context of a listener copy, made from the PEM certificate and private-key files of its
// role: the server end of a tunnel (decrypting) or its client end (encrypting). Both ends offer
// TLS 1.2 and 1.3 only. Given a root certificate, an end accepts only a peer whose certificate
// chains to it: the client end checks the server's chain (not its name: certificates are named
// after their key files), the server end requires a client certificate and checks it. Without a
// root any peer is accepted and the certificates serve the key exchange only.
//
// Threading: a context is made on the listener thread before any session exists; after that it
// is only read (every session makes its own SSL object from it), which OpenSSL allows from any
// thread.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/port_mapping.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace zk {

enum class SslRole { server, client };

// Which step of making a context failed.
enum class SslContextError { create, certificate, private_key, key_mismatch, root };

class SslContext {
public:
    // A context for `role` with the certificate and key from the two PEM files, verifying peers
    // against the PEM root certificate `root_file` unless it is empty; null with the failed step
    // in `error`. OpenSSL's reasons stay in this thread's error queue for ssl_error_text().
    static std::shared_ptr<SslContext> create(SslRole role, const std::string& certificate_file,
                                              const std::string& key_file,
                                              const std::string& root_file, SslContextError& error);
    struct Made;  // only create() makes contexts
    SslContext(const Made&, SSL_CTX* ctx, SslRole role, bool verifies_peer)
        : ctx_(ctx), role_(role), verifies_peer_(verifies_peer) {}
    ~SslContext();
    SslContext(const SslContext&) = delete;
    SslContext& operator=(const SslContext&) = delete;

    SslRole role() const { return role_; }
    SSL_CTX* get() const { return ctx_; }
    // False when any peer is accepted (no root certificate was given).
    bool verifies_peer() const { return verifies_peer_; }

private:
    SSL_CTX* const ctx_;
    const SslRole role_;
    const bool verifies_peer_;
};

// The TLS role of a mapping: none unless ssl_enable is "Y"; server for ssl_type "server", client
// for any other ssl_type.
std::optional<SslRole> ssl_role(const PortMapping& mapping);

// The message the user sees for a failed step, e.g. "load certificate file for port mapping
// NAME error!".
std::string ssl_context_message(SslContextError error, std::string_view mapping_name);

// Empties this thread's OpenSSL error queue into one line of text ("error:...; error:..."), for
// the event log.
std::string ssl_error_text();

}  // namespace zk
