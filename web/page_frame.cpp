#include "web/web_pages.h"
#include "web/web_text.h"

namespace zk {
namespace {

constexpr std::string_view kMakerSite = "https://www.vantrel.example/";

std::string_view location_name(PageKind kind) {
    switch (kind) {
        case PageKind::browse: return "All";
        case PageKind::add: return "Add Port Mapping";
        case PageKind::edit: return "Edit Port Mapping";
    }
    return {};
}

}  // namespace

std::string page_frame(PageKind kind, std::int32_t session_id, std::string_view user_name,
                       std::string_view body) {
    const bool browse = kind == PageKind::browse;
    const std::string sid = std::to_string(session_id);
    std::string page;
    page.reserve(body.size() + 2048);
    page.append(
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\n"
        "<html>\n<head>\n"
        "<title>Zelkora Professional - port forwarding made simple, by Vantrel</title>\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
        "<link rel=\"stylesheet\" type=\"text/css\" href=\"");
    page.append(browse ? "/image/style.css" : "image/style.css");
    page.append(
        "\">\n"
        "<style type=\"text/css\">\n.style1 {font-size: x-small}\n</style>\n"
        "</head>\n<body>\n");

    page.append("<div class=\"navbar\"><a href=\"/?action=add&amp;sessionid=" + sid +
                "\">Add Port Mapping</a> | <a href=\"/?action=logout&amp;sessionid=" + sid +
                "\">Logout</a> | User Name:" + html_escape(user_name) + "</div>\n");
    page.append("<div class=\"location\">Your Location: <a href=\"/?action=browse&amp;sessionid=" +
                sid + "\">Home</a> &gt;&gt; ");
    page.append(location_name(kind));
    page.append("</div>\n<div class=\"content\">\n");
    page.append(body);
    page.append("</div>\n<div class=\"footer\"><a href=\"");
    page.append(kMakerSite);
    page.append("\">");
    page.append(browse ? "@Powered by Zelkora Professional " : "Powered by Zelkora Professional");
    page.append("</a></div>\n</body>\n</html>\n");
    return page;
}

}  // namespace zk
