#include "xml/xcfg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

// Allocation limit for the out-of-memory test; -1 means unlimited, which is the normal state,
// so every other test in this binary allocates as usual.
namespace {
std::atomic<long> g_allocations_left{-1};
}  // namespace

void* operator new(std::size_t size) {
    long left = g_allocations_left.load();
    if (left == 0) throw std::bad_alloc();
    if (left > 0) g_allocations_left.store(left - 1);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
// Kept out of line: inlined into a caller, GCC pairs free() with operator new and warns.
[[gnu::noinline]] void operator delete(void* memory) noexcept {
    std::free(memory);
}
[[gnu::noinline]] void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace zk {
namespace {

std::string value_of(const XcfgNode* node, const char* attribute) {
    std::array<char, kXcfgValueLimit + 1> buffer{};
    if (xcfg_get_value(node, attribute, buffer.data(), buffer.size()) != 0) return "<missing>";
    return buffer.data();
}

// "r(a(b),c)": the element names in tree order, children in parentheses.
std::string shape(const XcfgNode* node) {
    std::string out;
    for (; node != nullptr; node = node->next) {
        out += node->name.data();
        if (node->first_child != nullptr) out += "(" + shape(node->first_child) + ")";
        if (node->next != nullptr) out += ",";
    }
    return out;
}

class XcfgTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("zk_xcfg_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string write_file(const std::string& name, const std::string& bytes) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    std::filesystem::path dir_;
    XcfgDocument doc_;
};

TEST_F(XcfgTest, MissingFileGivesErrnoAndNoRoot) {
    ASSERT_EQ(xcfg_load_text(doc_, "<mappings/>"), 0);
    EXPECT_EQ(xcfg_load_file(doc_, (dir_ / "config.xml").string()), ENOENT);
    EXPECT_EQ(doc_.root, nullptr);
    EXPECT_TRUE(doc_.nodes.empty());
    EXPECT_EQ(xcfg_check_root(doc_, "mappings"), kXcfgNoRoot);
}

TEST_F(XcfgTest, UnreadableFileGivesReadErrno) {
    EXPECT_EQ(xcfg_load_file(doc_, dir_.string()), EISDIR);
    EXPECT_EQ(doc_.root, nullptr);
}

TEST_F(XcfgTest, MalformedDocumentsFailFromFileAndFromText) {
    struct Row {
        const char* label;
        std::string bytes;
        int status;
    };
    const Row rows[] = {
        {"empty file", "", kXcfgParseError},
        {"declaration only", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n",
         kXcfgParseError},
        {"blanks only", " \r\n\t", kXcfgParseError},
        {"comment only", "<!-- no element -->", kXcfgParseError},
        {"unclosed root", "<mappings>", kXcfgParseError},
        {"mismatched end tag", "<a></b>", kXcfgParseError},
        {"second root", "<a/><b/>", kXcfgParseError},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"x-none\"?><a/>", kXcfgParseError},
        {"invalid UTF-8", "<a v=\"\xff\"/>", kXcfgParseError},
        {"undefined entity", "<a v=\"&nbsp;\"/>", kXcfgParseError},
        {"well-formed", "<a/>", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(xcfg_load_text(doc_, row.bytes), row.status);
        EXPECT_EQ(xcfg_load_file(doc_, write_file("config.xml", row.bytes)), row.status);
    }
}

TEST_F(XcfgTest, TreeBuiltBeforeParseFailureStays) {
    EXPECT_EQ(xcfg_load_text(doc_, "<mappings><mapping name=\"x\"/><mapping"), kXcfgParseError);
    ASSERT_EQ(xcfg_check_root(doc_, "mappings"), 0);
    const XcfgNode* found = nullptr;
    ASSERT_EQ(xcfg_find_path(found, doc_.root, 1, {"mapping"}), 0);
    EXPECT_EQ(value_of(found, "name"), "x");
}

TEST_F(XcfgTest, CheckRootComparesNameExactly) {
    ASSERT_EQ(xcfg_load_file(doc_, write_file("config.xml", "<mapping/>")), 0);
    EXPECT_EQ(xcfg_check_root(doc_, "mappings"), kXcfgWrongRoot);
    EXPECT_EQ(xcfg_check_root(doc_, "Mapping"), kXcfgWrongRoot);
    EXPECT_EQ(xcfg_check_root(doc_, "mapping"), 0);
}

TEST_F(XcfgTest, LinksElementsByDepth) {
    struct Row {
        const char* document;
        const char* shape;
    };
    const Row rows[] = {
        {"<r/>", "r"},
        {"<r><a/><b/></r>", "r(a,b)"},
        {"<r><a><a1/><a2><x/></a2></a><b/><c><c1/></c></r>", "r(a(a1,a2(x)),b,c(c1))"},
        {"<r><a><b><c><d/></c></b></a><e/></r>", "r(a(b(c(d))),e)"},
        {"<r><a><b/><c><d/></c></a><e><f/></e></r>", "r(a(b,c(d)),e(f))"},
        {"<r><!-- c --><?pi x?><a/>text<b/></r>", "r(a,b)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.document);
        ASSERT_EQ(xcfg_load_text(doc_, row.document), 0);
        EXPECT_EQ(shape(doc_.root), row.shape);
    }
}

constexpr const char* kMappings =
    "<mappings>\r\n"
    "<mapping name=\"x\" ><allow_ip>\r\n</allow_ip><block_ip>"
    "<ip start=\"10.0.0.1\" end=\"10.0.0.9\" /></block_ip></mapping>\r\n"
    "<triggering name=\"t\" ></triggering>\r\n"
    "<Mapping name=\"capital\" />\r\n"
    "<mapping name=\"y\" ><allow_ip/><block_ip/></mapping>\r\n"
    "</mappings>\r\n";

TEST_F(XcfgTest, SiblingWalkKeepsOnlyElementsOfTheFirstName) {
    ASSERT_EQ(xcfg_load_text(doc_, kMappings), 0);
    const XcfgNode* first = nullptr;
    ASSERT_EQ(xcfg_find_path(first, doc_.root, 1, {"mapping"}), 0);
    std::vector<std::string> all;
    std::vector<std::string> taken;
    for (const XcfgNode* node = first; node != nullptr; node = node->next) {
        all.push_back(node->name.data());
        if (std::strcmp(node->name.data(), first->name.data()) == 0) {
            taken.push_back(value_of(node, "name"));
        }
    }
    EXPECT_EQ(all, (std::vector<std::string>{"mapping", "triggering", "Mapping", "mapping"}));
    EXPECT_EQ(taken, (std::vector<std::string>{"x", "y"}));
}

TEST_F(XcfgTest, FindPathCases) {
    ASSERT_EQ(xcfg_load_text(doc_, kMappings), 0);
    const XcfgNode* x = doc_.root->first_child;
    const XcfgNode* trigger = x->next;
    const XcfgNode* y = trigger->next->next;
    struct Row {
        const char* label;
        const XcfgNode* start;
        int count;
        std::initializer_list<const char*> names;
        int status;
        const char* found_name;  // "name" attribute of the element found, or "start" of an ip
    };
    const Row rows[] = {
        {"one name finds the first child so named", doc_.root, 1, {"mapping"}, 0, "x"},
        {"three levels", doc_.root, 3, {"mapping", "block_ip", "ip"}, 0, "10.0.0.1"},
        {"only count names are used", doc_.root, 1, {"triggering", "nothing"}, 0, "t"},
        {"first level without children", x, 2, {"allow_ip", "ip"}, kXcfgNotFound, nullptr},
        {"second level found", x, 2, {"block_ip", "ip"}, 0, "10.0.0.1"},
        {"missing first level", x, 2, {"smart_ip_range", "ip"}, kXcfgNotFound, nullptr},
        {"names are case-sensitive", doc_.root, 1, {"MAPPING"}, kXcfgNotFound, nullptr},
        {"leaf has no children", y->first_child, 1, {"ip"}, kXcfgNotFound, nullptr},
        {"count 0 matches the start itself", x, 0, {"mapping"}, 0, "x"},
        {"count 0 walks later siblings", x, 0, {"triggering"}, 0, "t"},
        {"count 0 skips to the next so named", trigger, 0, {"mapping"}, 0, "y"},
        {"count 0 never goes back", y, 0, {"triggering"}, kXcfgNotFound, nullptr},
        {"negative count", doc_.root, -1, {"mapping"}, kXcfgNotFound, nullptr},
        {"fewer names than count", doc_.root, 2, {"mapping"}, kXcfgNotFound, nullptr},
        {"no start element", nullptr, 1, {"mapping"}, kXcfgNotFound, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        const XcfgNode* out = doc_.root;  // must be cleared on failure
        EXPECT_EQ(xcfg_find_path(out, row.start, row.count, row.names), row.status);
        if (row.found_name == nullptr) {
            EXPECT_EQ(out, nullptr);
        } else {
            ASSERT_NE(out, nullptr);
            const std::string found = value_of(out, "name");
            EXPECT_EQ(found == "<missing>" ? value_of(out, "start") : found, row.found_name);
        }
    }
}

TEST_F(XcfgTest, AttributeNamesAreCaseSensitive) {
    ASSERT_EQ(xcfg_load_text(doc_, "<mapping Name=\"upper\" />"), 0);
    EXPECT_EQ(value_of(doc_.root, "name"), "<missing>");
    EXPECT_EQ(value_of(doc_.root, "Name"), "upper");
}

TEST_F(XcfgTest, MissingAttributeLeavesBufferUntouched) {
    ASSERT_EQ(xcfg_load_text(doc_, "<mapping name=\"x\" />"), 0);
    char buffer[12] = "default";
    char before[sizeof buffer];
    std::memcpy(before, buffer, sizeof buffer);
    EXPECT_EQ(xcfg_get_value(doc_.root, "auto_start", buffer, sizeof buffer), kXcfgNotFound);
    EXPECT_EQ(std::memcmp(buffer, before, sizeof buffer), 0);
    EXPECT_EQ(xcfg_get_value(nullptr, "name", buffer, sizeof buffer), kXcfgNotFound);
    EXPECT_EQ(std::memcmp(buffer, before, sizeof buffer), 0);
}

TEST_F(XcfgTest, LongValueIsCutOnLoadAndOnCopy) {
    std::string long_value;
    for (int i = 0; i < 1100; ++i)
        long_value += static_cast<char>('a' + i % 26);
    ASSERT_EQ(xcfg_load_text(doc_, "<m log_file=\"" + long_value + "\" short=\"ab\" />"), 0);
    struct Row {
        const char* attribute;
        std::size_t size;
        std::string expected;  // bytes before the NUL; the rest of the buffer must be NUL
    };
    const Row rows[] = {
        {"log_file", 2048, long_value.substr(0, kXcfgValueLimit)},
        {"log_file", 1024, long_value.substr(0, 1023)},
        {"log_file", 256, long_value.substr(0, 255)},
        {"log_file", 20, long_value.substr(0, 19)},
        {"log_file", 1, ""},
        {"short", 8, "ab"},
        {"short", 3, "ab"},
        {"short", 2, "a"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.attribute) + " size " + std::to_string(row.size));
        std::vector<char> buffer(row.size + 4, 'Z');
        ASSERT_EQ(xcfg_get_value(doc_.root, row.attribute, buffer.data(), row.size), 0);
        std::string expected = row.expected;
        expected.resize(row.size, '\0');
        EXPECT_EQ(std::string(buffer.data(), row.size), expected);
        EXPECT_EQ(std::string(buffer.data() + row.size, 4), "ZZZZ") << "wrote past size";
    }
    char untouched = 'Z';
    EXPECT_EQ(xcfg_get_value(doc_.root, "short", &untouched, 0), 0);
    EXPECT_EQ(untouched, 'Z');
}

TEST_F(XcfgTest, TextRules) {
    struct Row {
        const char* label;
        std::string document;
        std::string text;
    };
    const std::string long_text(150, 'x');
    const Row rows[] = {
        {"leading and trailing blanks", "<a>  abc \n</a>", "abc"},
        {"tabs", "<a>\tabc\t</a>", "abc"},
        {"inner blanks kept", "<a> a b </a>", "a b"},
        {"CR LF line end", "<a>abc\r\n</a>", "abc"},
        {"only blanks", "<a> \t\n </a>", ""},
        {"blank lines after the text", "<a>abc\n \t\n</a>", "abc"},
        {"last non-blank piece wins", "<a>first\nsecond\n</a>", "second"},
        {"entity alone", "<a>&lt;</a>", "<"},
        {"CDATA", "<a><![CDATA[ <x> ]]></a>", "<x>"},
        {"cut at 128 bytes", "<a>" + long_text + "</a>", long_text.substr(0, 128)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        ASSERT_EQ(xcfg_load_text(doc_, row.document), 0);
        EXPECT_EQ(value_of(doc_.root, nullptr), row.text);
    }
}

TEST_F(XcfgTest, TextGoesToMostRecentlyStartedElement) {
    ASSERT_EQ(xcfg_load_text(doc_, "<a>x<b/>y</a>"), 0);
    EXPECT_EQ(value_of(doc_.root, nullptr), "x");
    EXPECT_EQ(value_of(doc_.root->first_child, nullptr), "y");

    ASSERT_EQ(xcfg_load_text(doc_, "<a>x<b></b>\n  </a>"), 0);
    EXPECT_EQ(value_of(doc_.root, nullptr), "x");
    EXPECT_EQ(value_of(doc_.root->first_child, nullptr), "");
}

TEST_F(XcfgTest, EntitiesComeBackAsCharacters) {
    struct Row {
        const char* escaped;
        const char* plain;
    };
    const Row rows[] = {
        {"&amp;", "&"},
        {"&lt;", "<"},
        {"&gt;", ">"},
        {"&quot;", "\""},
        {"&apos;", "'"},
        {"&#38;&#x3C;", "&<"},
        {"a&amp;b&lt;c&gt;d&quot;e", "a&b<c>d\"e"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.escaped);
        ASSERT_EQ(xcfg_load_text(doc_, std::string("<m v=\"") + row.escaped + "\" />"), 0);
        EXPECT_EQ(value_of(doc_.root, "v"), row.plain);
    }
}

// config.xml is ISO-8859-1: its bytes must come back as they were, not as UTF-8.
TEST_F(XcfgTest, EightBitBytesSurviveTheLoad) {
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n";
    struct Row {
        const char* label;
        std::string document;
        std::string value;  // of attribute v of the root
    };
    const Row rows[] = {
        {"ISO-8859-1 bytes", latin1 + "<m v=\"caf\xE9 \xA0\xFF\" />", "caf\xE9 \xA0\xFF"},
        {"cut after conversion", latin1 + "<m v=\"" + std::string(1100, '\xE9') + "\" />",
         std::string(kXcfgValueLimit, '\xE9')},
        {"UTF-8 document", "<m v=\"\xC3\xA9\xE2\x82\xAC\" />", "\xE9\xE2\x82\xAC"},
        {"character references", "<m v=\"&#233;&#x20AC;&#x1F600;\" />",
         "\xE9\xE2\x82\xAC\xF0\x9F\x98\x80"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        ASSERT_EQ(xcfg_load_file(doc_, write_file("config.xml", row.document)), 0);
        EXPECT_EQ(value_of(doc_.root, "v"), row.value);
    }

    ASSERT_EQ(xcfg_load_file(
                  doc_, write_file("config.xml", latin1 + "<mappings user_name=\"Jos\xE9\" >\r\n"
                                                          "<caf\xE9>gr\xFC\xDF</caf\xE9>\r\n"
                                                          "</mappings>\r\n")),
              0);
    EXPECT_EQ(value_of(doc_.root, "user_name"), "Jos\xE9");
    const XcfgNode* cafe = nullptr;
    ASSERT_EQ(xcfg_find_path(cafe, doc_.root, 1, {"caf\xE9"}), 0);
    EXPECT_EQ(value_of(cafe, nullptr), "gr\xFC\xDF");
}

TEST_F(XcfgTest, DocumentLongerThanOneReadBlock) {
    std::string document = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<mappings>\r\n";
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) {
        names.push_back("m" + std::to_string(i) + "\xE9");
        document += "<mapping name=\"" + names.back() + "\" destination_ip=\"127.0.0." +
                    std::to_string(i) + "\" ><allow_ip>\r\n</allow_ip></mapping>\r\n";
    }
    document += "</mappings>\r\n";
    ASSERT_GT(document.size(), 4u * 1024u);

    ASSERT_EQ(xcfg_load_file(doc_, write_file("config.xml", document)), 0);
    const XcfgNode* node = nullptr;
    ASSERT_EQ(xcfg_find_path(node, doc_.root, 1, {"mapping"}), 0);
    std::vector<std::string> read;
    for (; node != nullptr; node = node->next)
        read.push_back(value_of(node, "name"));
    EXPECT_EQ(read, names);
}

// Moves one element across the 1024-byte block boundary a byte at a time.
TEST_F(XcfgTest, ElementSplitAtEveryByteOfABlockBoundary) {
    const std::string element = "<e v=\"a&amp;b&lt;&#233;\xC3\xA9&#x20AC;\" ><f w=\"z\" /></e>";
    for (std::size_t pad = 1024 - element.size() - 3; pad <= 1024; ++pad) {
        SCOPED_TRACE("padding " + std::to_string(pad));
        ASSERT_EQ(xcfg_load_text(doc_, "<r>" + std::string(pad, ' ') + element + "</r>"), 0);
        const XcfgNode* f = nullptr;
        ASSERT_EQ(xcfg_find_path(f, doc_.root, 2, {"e", "f"}), 0);
        EXPECT_EQ(value_of(doc_.root->first_child, "v"), "a&b<\xE9\xE9\xE2\x82\xAC");
        EXPECT_EQ(value_of(f, "w"), "z");
    }
}

TEST_F(XcfgTest, ReloadReplacesTheTree) {
    ASSERT_EQ(xcfg_load_text(doc_, kMappings), 0);
    ASSERT_EQ(xcfg_load_text(doc_, "<other/>"), 0);
    EXPECT_EQ(doc_.nodes.size(), 1u);
    EXPECT_EQ(shape(doc_.root), "other");
}

TEST_F(XcfgTest, OutOfMemoryInsideTheParserIsReported) {
    const std::string document = kMappings;  // allocated before the limit is set
    int failures = 0;
    int status = ENOMEM;
    for (long limit = 0; status == ENOMEM && limit < 1000; ++limit) {
        g_allocations_left.store(limit);
        status = xcfg_load_text(doc_, document);
        g_allocations_left.store(-1);
        if (status == ENOMEM) ++failures;
    }
    EXPECT_GT(failures, 0);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(shape(doc_.root),
              "mappings(mapping(allow_ip,block_ip(ip)),triggering,Mapping,mapping(allow_ip,"
              "block_ip))");
}

}  // namespace
}  // namespace zk
