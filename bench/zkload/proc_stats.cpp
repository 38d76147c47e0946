#include "zkload/proc_stats.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace zk::bench {

namespace {

struct StatLine {
    pid_t ppid = 0;
    long long cpu_ticks = 0;
};

// /proc/PID/stat: the command name is in parentheses and may hold spaces, so fields are
// counted from the last ')'.
std::optional<StatLine> read_stat(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    const auto close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(close + 1));
    std::vector<std::string> f;
    std::string word;
    while (fields >> word && f.size() < 13)
        f.push_back(word);
    if (f.size() < 13) return std::nullopt;
    // After the name: state(0) ppid(1) ... utime(11) stime(12).
    StatLine s;
    s.ppid = static_cast<pid_t>(std::atol(f[1].c_str()));
    s.cpu_ticks = std::atoll(f[11].c_str()) + std::atoll(f[12].c_str());
    return s;
}

// A "Name:   value" line of a /proc/PID file (status, smaps_rollup).
long long proc_value(pid_t pid, const char* file, const std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, name.size() + 1, name + ":") == 0) {
            return std::atoll(line.c_str() + name.size() + 1);
        }
    }
    return 0;
}

std::map<pid_t, StatLine> all_processes() {
    std::map<pid_t, StatLine> out;
    DIR* dir = opendir("/proc");
    if (dir == nullptr) return out;
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0) continue;
        if (auto s = read_stat(static_cast<pid_t>(pid))) out[static_cast<pid_t>(pid)] = *s;
    }
    closedir(dir);
    return out;
}

// Needs the right to read the process's fd directory (the same user, or root).
long long open_descriptors(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) return 0;
    long long count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count;
}

}  // namespace

std::optional<ProcSample> sample_process_tree(pid_t root) {
    const auto procs = all_processes();
    if (procs.count(root) == 0) return std::nullopt;
    std::multimap<pid_t, pid_t> children;
    for (const auto& [pid, s] : procs)
        children.emplace(s.ppid, pid);

    ProcSample sample;
    std::vector<pid_t> todo{root};
    while (!todo.empty()) {
        const pid_t pid = todo.back();
        todo.pop_back();
        sample.processes += 1;
        sample.cpu_ticks += procs.at(pid).cpu_ticks;
        sample.rss_kb += proc_value(pid, "status", "VmRSS");
        sample.pss_kb += proc_value(pid, "smaps_rollup", "Pss");
        sample.threads += proc_value(pid, "status", "Threads");
        sample.descriptors += open_descriptors(pid);
        const auto [first, last] = children.equal_range(pid);
        for (auto it = first; it != last; ++it)
            todo.push_back(it->second);
    }
    return sample;
}

long long clock_ticks_per_second() {
    return sysconf(_SC_CLK_TCK);
}

}  // namespace zk::bench
