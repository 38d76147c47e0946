// zkload report: the comparison table from compare.sh's results.tsv.

#include <sched.h>
#include <sys/utsname.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>

#include "zkload/modes.h"
#include "zkload/report.h"

namespace zk::bench {

namespace {

MachineLine this_machine() {
    MachineLine machine;
    char when[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr)
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
    machine.when = when;
    utsname names{};
    if (uname(&names) == 0) machine.kernel = names.release;
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    machine.cores = sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? CPU_COUNT(&cpus) : 0;
    return machine;
}

}  // namespace

int run_report(Args& args) {
    const std::string path = args.text("results", "");
    if (!args_ok(args)) return 2;
    if (path.empty()) {
        std::fprintf(stderr, "zkload report: --results FILE is required\n");
        return 2;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "zkload report: cannot read %s\n", path.c_str());
        return 1;
    }
    // One byte past the limit is enough to refuse an oversized file.
    std::string text(kMaxResultsBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    std::string error;
    const auto results = parse_results(text, error);
    const auto table = results ? report_text(*results, this_machine(), error) : std::nullopt;
    if (!table) {
        std::fprintf(stderr, "zkload report: %s: %s\n", path.c_str(), error.c_str());
        return 2;
    }
    std::fputs(table->c_str(), stdout);
    return 0;
}

}  // namespace zk::bench
