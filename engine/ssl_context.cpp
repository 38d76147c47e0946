#include "engine/ssl_context.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace zk {

namespace {

bool key_mismatch_reported() {
    const unsigned long code = ERR_peek_last_error();
    return ERR_GET_LIB(code) == ERR_LIB_X509 &&
           (ERR_GET_REASON(code) == X509_R_KEY_VALUES_MISMATCH ||
            ERR_GET_REASON(code) == X509_R_KEY_TYPE_MISMATCH);
}

// Makes `raw` accept only peers whose certificate chains to the PEM root in `root_file`; false
// when the file gives no certificate.
bool require_verified_peer(SSL_CTX* raw, SslRole role, const std::string& root_file) {
    if (SSL_CTX_load_verify_locations(raw, root_file.c_str(), nullptr) != 1) return false;
    if (role == SslRole::client) {
        // No host-name check: the tunnel's certificates carry no host names worth checking.
        SSL_CTX_set_verify(raw, SSL_VERIFY_PEER, nullptr);
        return true;
    }
    // Tells clients which root to present a certificate of; the context owns the list.
    STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(root_file.c_str());
    if (names == nullptr) return false;
    SSL_CTX_set_client_CA_list(raw, names);
    SSL_CTX_set_verify(raw, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    return true;
}

}  // namespace

struct SslContext::Made {};

std::shared_ptr<SslContext> SslContext::create(SslRole role, const std::string& certificate_file,
                                               const std::string& key_file,
                                               const std::string& root_file,
                                               SslContextError& error) {
    ERR_clear_error();
    SSL_CTX* raw = SSL_CTX_new(role == SslRole::server ? TLS_server_method() : TLS_client_method());
    if (raw == nullptr) {
        error = SslContextError::create;
        return nullptr;
    }
    // Owned from here on, so every early return frees it.
    const auto context = std::make_shared<SslContext>(Made{}, raw, role, !root_file.empty());
    SSL_CTX_set_min_proto_version(raw, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(raw, TLS1_3_VERSION);
    // Renegotiation would let a write need a read (and the other way round) on an object two
    // threads share; a tunnel has no use for it.
    SSL_CTX_set_options(raw, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION);
    SSL_CTX_set_mode(raw, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // A receive takes what has arrived, not a record header and then its body; the legs ask
    // the SSL object before they wait on the socket, so nothing read ahead is overlooked.
    SSL_CTX_set_read_ahead(raw, 1);
    SSL_CTX_set_verify(raw, SSL_VERIFY_NONE, nullptr);
    if (role == SslRole::server) SSL_CTX_set_num_tickets(raw, 0);  // every session is new

    if (SSL_CTX_use_certificate_file(raw, certificate_file.c_str(), SSL_FILETYPE_PEM) <= 0) {
        error = SslContextError::certificate;
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(raw, key_file.c_str(), SSL_FILETYPE_PEM) <= 0) {
        // The library compares a key with the certificate as it loads it: a key that was read
        // but does not belong to the certificate is a failed check, not a failed load.
        error =
            key_mismatch_reported() ? SslContextError::key_mismatch : SslContextError::private_key;
        return nullptr;
    }
    if (SSL_CTX_check_private_key(raw) != 1) {
        error = SslContextError::key_mismatch;
        return nullptr;
    }
    if (!root_file.empty() && !require_verified_peer(raw, role, root_file)) {
        error = SslContextError::root;
        return nullptr;
    }
    return context;
}

SslContext::~SslContext() {
    SSL_CTX_free(ctx_);
}

std::optional<SslRole> ssl_role(const PortMapping& mapping) {
    if (!is_yes(mapping.ssl_enable)) return std::nullopt;
    return mapping.ssl_type == "server" ? SslRole::server : SslRole::client;
}

std::string ssl_context_message(SslContextError error, std::string_view mapping_name) {
    const char* what = "create ssl context";
    switch (error) {
        case SslContextError::create: what = "create ssl context"; break;
        case SslContextError::certificate: what = "load certificate file"; break;
        case SslContextError::private_key: what = "load private key file"; break;
        case SslContextError::key_mismatch: what = "check private key file"; break;
        case SslContextError::root: what = "load root certificate file"; break;
    }
    return std::string(what) + " for port mapping " + std::string(mapping_name) + " error!";
}

std::string ssl_error_text() {
    std::string line;
    while (const unsigned long code = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        if (!line.empty()) line += "; ";
        line += text;
    }
    return line.empty() ? "no detail from the SSL library" : line;
}

}  // namespace zk
