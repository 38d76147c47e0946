#include "web/web_auth.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <array>
#include <vector>

#include "core/port_mapping.h"

namespace zk {

std::string basic_credentials(std::string_view user_name, std::string_view password) {
    std::string plain(user_name);
    plain.append(":").append(password);
    std::vector<unsigned char> encoded(4 * ((plain.size() + 2) / 3) + 1);
    const int length =
        EVP_EncodeBlock(encoded.data(), reinterpret_cast<const unsigned char*>(plain.data()),
                        static_cast<int>(plain.size()));
    return std::string(reinterpret_cast<const char*>(encoded.data()),
                       static_cast<std::size_t>(length < 0 ? 0 : length));
}

bool same_secret(std::string_view a, std::string_view b) {
    // Both sides are copied into equal zeroed blocks, so the comparison always reads the same
    // number of bytes; a length over the block is never a match.
    constexpr std::size_t kBlock = 2048;
    if (a.size() >= kBlock || b.size() >= kBlock) return false;
    std::array<unsigned char, kBlock> left{};
    std::array<unsigned char, kBlock> right{};
    std::copy(a.begin(), a.end(), left.begin());
    std::copy(b.begin(), b.end(), right.begin());
    const bool equal_bytes = CRYPTO_memcmp(left.data(), right.data(), kBlock) == 0;
    return equal_bytes & (a.size() == b.size());
}

AuthResult authenticate(WebRequest& request, std::string_view header, const AppSettings& settings,
                        SessionTable& sessions, LoginThrottle& throttle, std::uint32_t peer) {
    request.session_id = 0;
    request.user_name.clear();
    request.fresh_session = false;
    const bool protect = settings.protect != "0";

    if (!request.session_text.empty()) {
        // With protection on, only a session opened by the configured user counts, so sessions
        // from before a change of the settings end with it.
        const auto session = sessions.find(text_to_int(request.session_text));
        if (session && (!protect || (!session->user_name.empty() &&
                                     session->user_name == settings.user_name.view()))) {
            request.session_id = session->id;
            request.user_name = session->user_name;
            return AuthResult::accepted;
        }
    }
    if (!protect) {
        // Without credentials the session is what ties a change to a page we served.
        if (const auto session = sessions.open("")) request.session_id = session->id;
        request.fresh_session = true;
        return AuthResult::accepted;
    }

    constexpr std::string_view kBasic = "Authorization: Basic ";
    const std::size_t at = header.find(kBasic);
    if (at == std::string_view::npos) return AuthResult::challenge;
    const std::size_t start = at + kBasic.size();
    const std::size_t end = header.find("\r\n", start);
    if (end == std::string_view::npos) return AuthResult::refused;
    const std::string_view token = header.substr(start, end - start);
    if (token.size() > kTokenLimit) return AuthResult::refused;
    if (settings.user_name.empty() || settings.password.empty()) return AuthResult::challenge;
    if (throttle.wait_seconds(peer) > 0) return AuthResult::throttled;
    if (!same_secret(token, basic_credentials(settings.user_name, settings.password))) {
        throttle.failed(peer);
        return AuthResult::challenge;
    }
    throttle.succeeded(peer);
    const auto session = sessions.open(settings.user_name.str());
    if (!session) return AuthResult::refused;  // no unguessable id could be made
    request.session_id = session->id;
    request.user_name = session->user_name;
    request.fresh_session = true;
    return AuthResult::accepted;
}

}  // namespace zk
