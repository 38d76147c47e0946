#include "platform/system_proxy.h"

#include <cstdlib>

#include "core/validation.h"

namespace zk {
namespace {

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<std::string> process_environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::optional<std::string> system_proxy_text(const EnvironmentLookup& environment) {
    for (const char* name : {"http_proxy", "HTTP_PROXY"}) {
        auto value = environment(name);
        if (value && !trim(*value).empty()) return value;
    }
    return std::nullopt;
}

std::optional<ProxySetting> parse_proxy_setting(std::string_view text) {
    if (const auto at = text.find("http="); at != std::string_view::npos) {
        text = text.substr(at + 5);
    }
    text = trim(text.substr(0, text.find(';')));
    if (const auto scheme = text.find("://"); scheme != std::string_view::npos) {
        text = text.substr(scheme + 3);
    }
    text = text.substr(0, text.find('/'));
    if (const auto user = text.rfind('@'); user != std::string_view::npos) {
        text = text.substr(user + 1);
    }
    const auto colon = text.find(':');
    ProxySetting setting{std::string(text.substr(0, colon)), "80"};
    if (setting.host.empty()) return std::nullopt;
    if (colon != std::string_view::npos) {
        const std::string_view port = text.substr(colon + 1);
        if (!port_number(port)) return std::nullopt;
        setting.port = std::string(port);
    }
    return setting;
}

}  // namespace zk
