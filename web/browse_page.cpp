#include "app/mapping_list.h"
#include "web/web_pages.h"
#include "web/web_text.h"

namespace zk {
namespace {

// One Operation link: the name as it goes into a link, then HTML-escaped for the attribute.
std::string operation_link(std::string_view name, std::string_view action, const std::string& sid,
                           std::string_view text, std::string_view extra = {}) {
    std::string link = "<a href=\"/?name=" + html_escape(link_name(name)) + "&amp;action=";
    link.append(action).append("&amp;sessionid=").append(sid).append("\"");
    link.append(extra).append(">").append(text).append("</a>");
    return link;
}

}  // namespace

std::string browse_page(const std::vector<ListRow>& rows, std::int32_t session_id,
                        std::string_view user_name) {
    const std::string sid = std::to_string(session_id);
    std::string body = "<table class=\"grid\">\n<tr>";
    for (const std::string_view title : kListColumnTitles) {
        body.append("<th>").append(title).append("</th>");
    }
    body.append("<th>Operation</th></tr>\n");
    for (const ListRow& row : rows) {
        body.append(
            "<tr bgcolor=\"#AED9EF\" onmouseover=\"this.style.backgroundColor='#33FFCC'\" "
            "onmouseout=\"this.style.backgroundColor='#AED9EF'\">");
        for (const std::string& text : row) {
            body.append("<td>").append(html_escape(text)).append("</td>");
        }
        const std::string& name = cell(row, ListColumn::name);
        body.append("<td class=\"operation\">");
        if (cell(row, ListColumn::status) == kStatusRunning) {
            body.append(operation_link(name, "stop", sid, "Stop/"));
        } else {
            body.append(operation_link(name, "start", sid, "Start/"));
            body.append(operation_link(name, "edit", sid, "Edit/"));
            body.append(
                operation_link(name, "delete", sid, "Delete",
                               " onclick=\"return confirm('do you want to delete this?')\""));
        }
        body.append("</td></tr>\n");
    }
    body.append("</table>\n");
    return page_frame(PageKind::browse, session_id, user_name, body);
}

}  // namespace zk
