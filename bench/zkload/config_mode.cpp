// zkload config: a program directory's config.xml for a forwarder under test.

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/config_file.h"
#include "zkload/mapping_option.h"
#include "zkload/modes.h"

namespace zk::bench {

int run_config(Args& args) {
    const std::string out = args.text("out", "");
    const auto options = args.texts("mapping");
    if (!args_ok(args)) return 2;
    if (out.empty() || options.empty()) {
        std::fprintf(stderr, "zkload config: --out DIR and at least one --mapping are required\n");
        return 2;
    }
    std::string error;
    const auto table = mappings_from_options(options, error);
    if (!table) {
        std::fprintf(stderr, "zkload config: %s\n", error.c_str());
        return 2;
    }
    std::error_code made;
    std::filesystem::create_directories(out, made);
    if (made) {
        std::fprintf(stderr, "zkload config: cannot create %s: %s\n", out.c_str(),
                     made.message().c_str());
        return 1;
    }
    const std::string path = (std::filesystem::path(out) / kConfigFileName).string();
    if (const int err = save_configuration(path, bench_settings(), *table, {}); err != 0) {
        std::fprintf(stderr, "zkload config: cannot write %s: %s\n", path.c_str(),
                     std::strerror(err));
        return 1;
    }
    std::printf("config=%s\n", path.c_str());
    return 0;
}

}  // namespace zk::bench
