#include "zkload/results.h"

#include <cmath>
#include <cstdlib>

namespace zk::bench {

namespace {

// Splits at tabs into at most `limit` fields; the last one keeps any further tabs.
std::vector<std::string> split_tabs(std::string_view line, std::size_t limit) {
    std::vector<std::string> fields;
    while (fields.size() + 1 < limit) {
        const auto tab = line.find('\t');
        if (tab == std::string_view::npos) break;
        fields.emplace_back(line.substr(0, tab));
        line.remove_prefix(tab + 1);
    }
    fields.emplace_back(line);
    return fields;
}

std::optional<double> number(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::vector<std::string> split_spaces(std::string_view text) {
    std::vector<std::string> words;
    while (!text.empty()) {
        const auto cut = text.find(' ');
        if (cut != 0) words.emplace_back(text.substr(0, cut));
        if (cut == std::string_view::npos) break;
        text.remove_prefix(cut + 1);
    }
    return words;
}

// Adds one line's record; the reason it is not one otherwise.
std::optional<std::string> add_record(Results& results, std::string_view line) {
    const auto f = split_tabs(line, 4);
    const std::string& type = f[0];
    const bool named = f.size() >= 3 && !f[1].empty();
    if (type == "setting" && named && f.size() == 3) {
        results.settings[f[1]] = f[2];
    } else if (type == "kinds" && named && f.size() == 3) {
        for (auto& kind : split_spaces(f[2]))
            results.kinds[f[1]].insert(std::move(kind));
    } else if (type == "figure" && named && f.size() == 4 && !f[2].empty()) {
        const auto value = number(f[3]);
        if (!value) return "not a number: " + f[3];
        results.figures[{f[1], f[2]}].push_back(*value);
    } else if (type == "failed" && named && f.size() == 4 && !f[2].empty()) {
        results.failures.try_emplace({f[1], f[2]}, f[3].empty() ? "no message" : f[3]);
    } else {
        return "expected setting, kinds, figure or failed with their fields";
    }
    return std::nullopt;
}

}  // namespace

std::optional<Results> parse_results(std::string_view text, std::string& error) {
    if (text.size() > kMaxResultsBytes) {
        error = "more than " + std::to_string(kMaxResultsBytes) + " bytes";
        return std::nullopt;
    }
    Results results;
    std::size_t number_of_line = 0;
    while (!text.empty()) {
        ++number_of_line;
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty()) continue;
        if (auto problem = add_record(results, line)) {
            error = "line " + std::to_string(number_of_line) + ": " + *problem;
            return std::nullopt;
        }
    }
    return results;
}

}  // namespace zk::bench
