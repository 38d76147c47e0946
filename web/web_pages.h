#pragma once
// The pages and messages of the web interface, built from fixed templates. Every text that comes
// from a mapping, a request or the settings is HTML-escaped on its way in.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/mapping_list.h"
#include "core/port_mapping.h"

namespace zk {

enum class PageKind { browse, add, edit };

// Head, navigation bar, location line, `body`, footer.
std::string page_frame(PageKind kind, std::int32_t session_id, std::string_view user_name,
                       std::string_view body);

// The list of mappings with their Operation links; `rows` in list order.
std::string browse_page(const std::vector<ListRow>& rows, std::int32_t session_id,
                        std::string_view user_name);

// The add form (`mapping` null) or the edit form filled from `mapping`.
std::string mapping_form_page(const PortMapping* mapping, std::int32_t session_id,
                              std::string_view user_name);

enum class WebMessage {
    added,
    exists,
    edited,
    started,
    stopped,
    deleted,
    stop_to_edit,
    stop_to_delete
};

// The message text for mapping `name`, with its link back carrying the session id.
std::string web_message(WebMessage kind, std::string_view name, std::int32_t session_id);

// A refusal from the model's checks, with the link back to the list.
std::string web_refusal(std::string_view text, std::int32_t session_id);

inline constexpr std::string_view kLogoutText =
    "You have successfully logout form Zelkora Professional, please close your internet browser "
    "for security.";

}  // namespace zk
