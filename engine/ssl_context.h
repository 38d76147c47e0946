#pragma once
// The TLS context of a listener copy, made from the PEM certificate and private-key files of its
// role: the server end of a tunnel (decrypting) or its client end (encrypting). Both ends offer
// TLS 1.2 and 1.3 only and verify no peer: the certificates serve the key exchange only.
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
enum class SslContextError { create, certificate, private_key, key_mismatch };

class SslContext {
public:
    // A context for `role` with the certificate and key from the two PEM files; null with the
    // failed step in `error`. OpenSSL's reasons stay in this thread's error queue for
    // ssl_error_text().
    static std::shared_ptr<SslContext> create(SslRole role, const std::string& certificate_file,
                                              const std::string& key_file, SslContextError& error);
    struct Made;  // only create() makes contexts
    SslContext(const Made&, SSL_CTX* ctx, SslRole role) : ctx_(ctx), role_(role) {}
    ~SslContext();
    SslContext(const SslContext&) = delete;
    SslContext& operator=(const SslContext&) = delete;

    SslRole role() const { return role_; }
    SSL_CTX* get() const { return ctx_; }

private:
    SSL_CTX* const ctx_;
    const SslRole role_;
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
