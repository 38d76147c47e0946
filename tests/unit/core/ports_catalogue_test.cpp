// The often used ports catalogue: reading lines, filtering, appending, and the mapping an entry
// suggests.

#include "core/ports_catalogue.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace zk {
namespace {

struct SplitCase {
    const char* label;
    std::string line;
    std::optional<PortsEntry> entry;
};

TEST(PortsCatalogue, SplitsLinesSkippingEmptyPieces) {
    const SplitCase cases[] = {
        {"three pieces", "HTTPS|443|443\n", PortsEntry{"HTTPS", "443", "443"}},
        {"nothing after the second bar", "SSH|22|\n", PortsEntry{"SSH", "22", ""}},
        {"written with an empty TCP text", "DNS| |53\n", PortsEntry{"DNS", " ", "53"}},
        {"two bars in a row after the name", "Game||27015\n", PortsEntry{"Game", "27015", ""}},
        {"bars before the name", "||Name|1|2\n", PortsEntry{"Name", "1", "2"}},
        {"the third piece runs to the end", "A|1|2|3\n", PortsEntry{"A", "1", "2|3"}},
        {"name only", "Solo\n", PortsEntry{"Solo", "", ""}},
        {"no line end", "Last|80|", PortsEntry{"Last", "80", ""}},
        {"windows line end", "Old|21|69\r\n", PortsEntry{"Old", "21", "69"}},
        {"empty line", "\n", std::nullopt},
        {"bars only", "|||\n", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(split_ports_line(c.line), c.entry) << c.label;
    }
}

struct FilterCase {
    const char* name;
    const char* filter;
    bool passes;
};

TEST(PortsCatalogue, FilterByFirstCharacter) {
    const FilterCase cases[] = {
        {"SSH", "ALL", true},      {"7 Days to Die", "ALL", true},
        {"SSH", "S", true},        {"steam", "S", true},
        {"Telnet", "S", false},    {"7 Days to Die", "7", true},
        {"Minecraft", "7", false}, {"SSH", "s", false},
        {"ssh", "All", false},     {"All", "A", true},
        {"SSH", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(passes_ports_filter(c.name, c.filter), c.passes)
            << "name \"" << c.name << "\" filter \"" << c.filter << "\"";
    }
}

TEST(PortsCatalogue, MissingFileIsCreatedEmpty) {
    test::TempDir home;
    const auto entries = load_ports_entries(home.dir(), kAllPortsFilter);
    ASSERT_TRUE(entries.has_value());
    EXPECT_TRUE(entries->empty());
    EXPECT_TRUE(std::filesystem::exists(home.dir() + kPortsListFile));
    EXPECT_EQ(test::read_file(home.dir() + kPortsListFile), "");

    // A directory that cannot hold the file: nothing to load, nothing written.
    const std::string gone = home.dir() + "missing/";
    EXPECT_EQ(load_ports_entries(gone, kAllPortsFilter), std::nullopt);
    EXPECT_FALSE(append_ports_entry(gone, {"Name", "1", "2"}));
}

TEST(PortsCatalogue, AppendsLinesThatReadBackFiltered) {
    test::TempDir home;
    test::write_file(home.dir() + kPortsListFile, "SSH|22|\nHTTP|80|\n");
    ASSERT_TRUE(append_ports_entry(home.dir(), {"syslog", "", "514"}));
    ASSERT_TRUE(append_ports_entry(home.dir(), {"Telnet", "23", ""}));
    EXPECT_EQ(test::read_file(home.dir() + kPortsListFile),
              "SSH|22|\nHTTP|80|\nsyslog| |514\nTelnet|23|\n");

    const std::vector<PortsEntry> s_names = {{"SSH", "22", ""}, {"syslog", " ", "514"}};
    EXPECT_EQ(load_ports_entries(home.dir(), "S"), s_names);
    EXPECT_EQ(load_ports_entries(home.dir(), kAllPortsFilter)->size(), 4u);
}

// The reader takes at most 1023 characters at once, so a longer line would come back as two
// entries; '|' or a line break inside a text would move the fields or start a new entry.
TEST(PortsCatalogue, RefusesEntriesThatWouldNotReadBackAsThemselves) {
    const std::string longest_name(kLongestPortsLine - 4, 'n');  // "name| |\n"
    struct Case {
        const char* label;
        PortsEntry entry;
        std::optional<std::string> error;
    };
    const std::string too_long = "the entry is too long, please shorten it!";
    const std::string bar = "an entry may not hold '|' or a line break, please reenter again!";
    const Case cases[] = {
        {"longest line", {longest_name, "", ""}, std::nullopt},
        {"one character more", {longest_name + "n", "", ""}, too_long},
        {"long ports", {"Name", std::string(600, '1'), std::string(600, '2')}, too_long},
        {"bar in the name", {"A|B", "1", ""}, bar},
        {"bar in the TCP ports", {"A", "1|2", ""}, bar},
        {"bar in the UDP ports", {"A", "1", "|2"}, bar},
        {"line feed in the name", {"A\nB|1|2", "", ""}, bar},
        {"carriage return in the ports", {"A", "1\r", ""}, bar},
        {"empty name", {"", "1", "2"}, "invalid application name, please reenter again!"},
    };
    test::TempDir home;
    for (const auto& c : cases) {
        EXPECT_EQ(validate_ports_entry(c.entry), c.error) << c.label;
        const auto before = test::read_file(home.dir() + kPortsListFile);
        EXPECT_EQ(append_ports_entry(home.dir(), c.entry), !c.error) << c.label;
        if (c.error) {
            EXPECT_EQ(test::read_file(home.dir() + kPortsListFile), before) << c.label;
        }
    }
    const std::vector<PortsEntry> read_back = {{longest_name, " ", ""}};
    EXPECT_EQ(load_ports_entries(home.dir(), kAllPortsFilter), read_back);
}

// A longer line another tool wrote reads in pieces of 1023 characters, each an entry.
TEST(PortsCatalogue, LongLinesReadInPieces) {
    test::TempDir home;
    test::write_file(home.dir() + kPortsListFile,
                     std::string(kLongestPortsLine, 'a') + "b|1|2\nNext|3|\n");
    const std::vector<PortsEntry> expected = {
        {std::string(kLongestPortsLine, 'a'), "", ""}, {"b", "1", "2"}, {"Next", "3", ""}};
    EXPECT_EQ(load_ports_entries(home.dir(), kAllPortsFilter), expected);
}

TEST(PortsCatalogue, LoadKeepsABoundedNumberOfEntries) {
    test::TempDir home;
    std::string lines;
    for (std::size_t i = 0; i <= kMostPortsEntries; ++i)
        lines += "App" + std::to_string(i) + "|1|\n";
    test::write_file(home.dir() + kPortsListFile, lines);
    const auto entries = load_ports_entries(home.dir(), kAllPortsFilter);
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), kMostPortsEntries);
    EXPECT_EQ(entries->back().name, "App" + std::to_string(kMostPortsEntries - 1));
}

struct SuggestCase {
    const char* label;
    PortsEntry entry;
    // type, listen port type, first port, last port ("" for a single port); nothing expected
    // when type is empty.
    const char* type;
    const char* port_type;
    const char* first;
    const char* last;
};

TEST(PortsCatalogue, SuggestsAMappingFromTheFirstPort) {
    const SuggestCase cases[] = {
        {"single TCP port", {"HTTP", "80", ""}, "TCP", "0", "80", ""},
        {"TCP wins over UDP", {"HTTPS", "443", "443"}, "TCP", "0", "443", ""},
        {"first item a range",
         {"Steam", "27015-27030,27036", "27000-27031"},
         "TCP",
         "1",
         "27015",
         "27030"},
        {"blanks around items", {"Game", " 7777 - 7779 , 80", ""}, "TCP", "1", "7777", "7779"},
        {"written empty TCP text", {"WireGuard", " ", "51820"}, "UDP", "0", "51820", ""},
        {"first item no port", {"Odd", "any,8080", ""}, "TCP", "0", "8080", ""},
        {"range of one", {"One", "99-99", ""}, "TCP", "0", "99", ""},
        {"descending range skipped", {"Down", "90-80", "5000"}, "UDP", "0", "5000", ""},
        {"port out of range", {"Big", "70000", "0"}, "", "", "", ""},
        {"no port at all", {"Notes", "example", ""}, "", "", "", ""},
    };
    for (const auto& c : cases) {
        const auto m = suggest_mapping(c.entry);
        if (*c.type == '\0') {
            EXPECT_EQ(m, std::nullopt) << c.label;
            continue;
        }
        ASSERT_TRUE(m.has_value()) << c.label;
        EXPECT_EQ(m->name, c.entry.name) << c.label;
        EXPECT_EQ(m->type, c.type) << c.label;
        EXPECT_EQ(m->listen_port_type, c.port_type) << c.label;
        EXPECT_EQ(m->destination_port_type, c.port_type) << c.label;
        EXPECT_EQ(m->listen_port, c.first) << c.label;
        EXPECT_EQ(m->destination_port, c.first) << c.label;
        EXPECT_EQ(m->listen_port_end, c.last) << c.label;
        EXPECT_EQ(m->destination_port_end, c.last) << c.label;
        EXPECT_TRUE(m->destination_ip.empty()) << c.label;
    }
}

TEST(PortsCatalogue, SuggestedNameIsCutToFitWholeCharacters) {
    // 254 ASCII bytes and a two-byte letter: the letter does not fit in 255 bytes.
    const std::string name = std::string(254, 'x') + "\xC3\xA9" + "tail";
    const auto m = suggest_mapping({name, "80", ""});
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->name, std::string(254, 'x'));
}

// The catalogue the program ships: every line an entry with a name that starts with a letter
// or a digit, in order of name.
TEST(PortsCatalogue, ShippedCatalogueReadsAsEntries) {
    const std::string text = test::read_file(ZK_SOURCE_DIR "/assets/ports_list.txt");
    ASSERT_FALSE(text.empty());
    ASSERT_EQ(text.back(), '\n');
    std::size_t count = 0;
    std::string previous;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start) + 1;
        const std::string line = text.substr(start, end - start);
        start = end;
        ++count;
        const auto entry = split_ports_line(line);
        ASSERT_TRUE(entry.has_value()) << "line " << count;
        EXPECT_LE(line.size(), kLongestPortsLine) << entry->name;
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(entry->name.front()))) << entry->name;
        EXPECT_EQ(validate_ports_entry(written_ports_entry(*entry)), std::nullopt) << entry->name;
        EXPECT_TRUE(suggest_mapping(*entry).has_value()) << entry->name;
        std::string lower = entry->name;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_LT(previous, lower) << entry->name << " out of order";
        previous = lower;
    }
    EXPECT_GE(count, 120u);
}

}  // namespace
}  // namespace zk
