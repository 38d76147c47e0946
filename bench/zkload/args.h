#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zk::bench {

// The options of one mode: "--key value" pairs, then an optional command after "--". An option
// given more than once keeps every value; the single-value readers take the last one.
class Args {
public:
    static std::optional<Args> parse(int argc, char** argv, int first, std::string& error);

    std::string text(const std::string& key, const std::string& fallback);
    // An integer within [min, max]; anything else is recorded as a problem.
    long long number(const std::string& key, long long fallback, long long min, long long max);
    double real(const std::string& key, double fallback, double min, double max);
    // Every value of a repeatable option, in command-line order.
    std::vector<std::string> texts(const std::string& key);
    bool has(const std::string& key) const { return values_.count(key) != 0; }
    const std::vector<std::string>& command() const { return command_; }

    // Bad values and options the mode never asked for; empty when all is well.
    std::string problems() const;

private:
    std::map<std::string, std::vector<std::string>> values_;
    std::set<std::string> used_;
    std::vector<std::string> command_;
    std::vector<std::string> errors_;
};

}  // namespace zk::bench
