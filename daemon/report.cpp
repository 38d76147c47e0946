#include "daemon/report.h"

#include <algorithm>

namespace zk {
namespace {

std::string destination_text(const PortMapping& m) {
    if (is_yes(m.http_proxy)) return "http proxy";
    if (is_set(m.enable_smart)) {
        return text_to_int(m.smart_strategy) == 0 ? "smart route by client address"
                                                  : "smart route round robin";
    }
    return m.destination_ip.str() + ":" + destination_port_text(m);
}

std::string trigger_line(const PortTrigger& t) {
    std::string ports = t.trigger_port.str();
    if (t.trigger_port_end != t.trigger_port) ports += "-" + t.trigger_port_end.str();
    return "trigger [" + t.name.str() + "] " + t.protocol.str() + " to " + t.trigger_address.str() +
           " port " + ports + " every " + t.frequence.str() + " ms, " + t.status.str() +
           (is_yes(t.auto_start) ? ", auto start" : "") + "\n";
}

}  // namespace

std::string loaded_summary(const ModelSnapshot& s) {
    std::string out;
    for (std::size_t i = 0; i < s.mappings.size(); ++i) {
        const PortMapping& m = s.mappings[i];
        std::string extras;
        if (is_yes(m.ssl_enable)) extras += ", ssl " + m.ssl_type.str();
        if (is_yes(m.auto_start)) extras += ", auto start";
        out += "mapping [" + m.name.str() + "] " + m.type.str() + " " + listen_port_text(m) +
               " -> " + destination_text(m) + ", " + cell(s.rows[i], ListColumn::status) + extras +
               "\n";
    }
    for (const PortTrigger& t : s.triggers)
        out += trigger_line(t);
    return out;
}

std::string check_report(const ModelSnapshot& s) {
    std::array<std::size_t, kListColumnCount> widths{};
    for (std::size_t c = 0; c < widths.size(); ++c)
        widths[c] = kListColumnTitles[c].size();
    for (const ListRow& row : s.rows) {
        for (std::size_t c = 0; c < widths.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    }
    auto line = [&](auto cell) {
        std::string text;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            std::string value(cell(c));
            if (c + 1 < widths.size()) value.resize(widths[c] + 2, ' ');
            text += value;
        }
        return text + "\n";
    };
    std::string out = line([](std::size_t c) { return kListColumnTitles[c]; });
    for (const ListRow& row : s.rows)
        out += line([&](std::size_t c) { return row[c]; });
    for (const PortTrigger& t : s.triggers)
        out += trigger_line(t);
    return out;
}

}  // namespace zk
