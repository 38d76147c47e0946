#include "ui/desktop_options.h"

namespace zk {

std::optional<DesktopOptions> parse_desktop_options(const std::vector<std::string>& args,
                                                    std::string& error) {
    DesktopOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--home" && i + 1 < args.size()) {
            options.home = args[++i];
        } else if (a.starts_with("--home=")) {
            options.home = a.substr(7);
        } else if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--version") {
            options.version = true;
        } else if (a.starts_with("--")) {
            error = a == "--home" ? "--home needs a directory" : "unknown option: " + a;
            return std::nullopt;
        }
    }
    return options;
}

std::string desktop_usage() {
    return "Usage: zelkora [--home DIR]\n"
           "Opens the Zelkora window and runs the port mappings and triggers of DIR/config.xml.\n"
           "\n"
           "  --home DIR   program directory (default: $ZELKORA_HOME, else the executable's)\n"
           "  --help       show this text\n"
           "  --version    show the version\n";
}

}  // namespace zk
