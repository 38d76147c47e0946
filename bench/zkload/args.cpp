#include "zkload/args.h"

#include <cerrno>
#include <cstdlib>

namespace zk::bench {

std::optional<Args> Args::parse(int argc, char** argv, int first, std::string& error) {
    Args args;
    for (int i = first; i < argc; ++i) {
        const std::string key = argv[i];
        if (key == "--") {
            args.command_.assign(argv + i + 1, argv + argc);
            break;
        }
        if (key.size() < 3 || key.compare(0, 2, "--") != 0) {
            error = "expected an option, got: " + key;
            return std::nullopt;
        }
        if (i + 1 == argc) {
            error = key + " needs a value";
            return std::nullopt;
        }
        args.values_[key.substr(2)].push_back(argv[++i]);
    }
    return args;
}

std::string Args::text(const std::string& key, const std::string& fallback) {
    used_.insert(key);
    const auto it = values_.find(key);
    return it == values_.end() ? fallback : it->second.back();
}

std::vector<std::string> Args::texts(const std::string& key) {
    used_.insert(key);
    const auto it = values_.find(key);
    return it == values_.end() ? std::vector<std::string>{} : it->second;
}

long long Args::number(const std::string& key, long long fallback, long long min, long long max) {
    used_.insert(key);
    const auto it = values_.find(key);
    if (it == values_.end()) return fallback;
    char* end = nullptr;
    errno = 0;
    const std::string& given = it->second.back();
    const long long value = std::strtoll(given.c_str(), &end, 10);
    if (errno != 0 || end == given.c_str() || *end != '\0' || value < min || value > max) {
        errors_.push_back("--" + key + " must be an integer from " + std::to_string(min) + " to " +
                          std::to_string(max));
        return fallback;
    }
    return value;
}

double Args::real(const std::string& key, double fallback, double min, double max) {
    used_.insert(key);
    const auto it = values_.find(key);
    if (it == values_.end()) return fallback;
    char* end = nullptr;
    const std::string& given = it->second.back();
    const double value = std::strtod(given.c_str(), &end);
    if (end == given.c_str() || *end != '\0' || !(value >= min && value <= max)) {
        errors_.push_back("--" + key + " must be a number from " + std::to_string(min) + " to " +
                          std::to_string(max));
        return fallback;
    }
    return value;
}

std::string Args::problems() const {
    std::string out;
    for (const auto& e : errors_)
        out += e + "\n";
    for (const auto& [key, given] : values_) {
        if (used_.count(key) == 0) out += "unknown option --" + key + "\n";
    }
    return out;
}

}  // namespace zk::bench
