#pragma once
// Read-only configuration tree over expat: element names and text cut to 128 bytes, attribute
// values to 1023 (the largest record field), linked as first-child / next-sibling lists. Used
// only to read config.xml.
//
// Threading: a document is used by one thread at a time; there is no shared state.

#include <array>
#include <cstddef>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

namespace zk {

// Status codes of the tree's operations (0 is success; a positive errno for file errors).
inline constexpr int kXcfgParseError = -1;
inline constexpr int kXcfgWrongRoot = 22;
inline constexpr int kXcfgNotFound = 2010;
inline constexpr int kXcfgNoRoot = 2024;

inline constexpr std::size_t kXcfgFieldSize = 129;  // 128 bytes and the NUL
// Attribute values hold whole record fields (paths of 1023 bytes), so a value saved is the value
// read back.
inline constexpr std::size_t kXcfgValueLimit = 1023;

struct XcfgAttribute {
    std::array<char, kXcfgFieldSize> name{};
    std::string value;  // at most kXcfgValueLimit bytes
};

struct XcfgNode {
    std::array<char, kXcfgFieldSize> name{};
    // Character data with space, tab and LF trimmed; when expat delivers the text in pieces
    // (lines, entities, read blocks) the last non-blank piece is the one kept.
    std::array<char, kXcfgFieldSize> text{};
    std::vector<XcfgAttribute> attributes;
    XcfgNode* next = nullptr;
    XcfgNode* first_child = nullptr;
};

// Owns every node of the last load; loading again replaces the tree. Not copyable: the links
// point into `nodes`, so a copy would lead back into the original.
struct XcfgDocument {
    XcfgDocument() = default;
    XcfgDocument(const XcfgDocument&) = delete;
    XcfgDocument& operator=(const XcfgDocument&) = delete;
    XcfgDocument(XcfgDocument&&) = default;
    XcfgDocument& operator=(XcfgDocument&&) = default;

    XcfgNode* root = nullptr;
    std::deque<XcfgNode> nodes;
};

// Parses the file into `document`. Values come back in the file's 8-bit form: characters up to
// U+00FF as one byte each (config.xml is ISO-8859-1), so bytes above 0x7F survive a load and save.
// Returns 0, a positive errno when the file cannot be opened or read (ENOMEM when memory runs
// out), or kXcfgParseError when the document is not well-formed. A tree built before a failure
// stays in the document.
int xcfg_load_file(XcfgDocument& document, const std::string& path);

// Same, for a document held in memory (used by tests and fuzzing).
int xcfg_load_text(XcfgDocument& document, const std::string& text);

// kXcfgNoRoot without a root, 0 when the root is named `name`, kXcfgWrongRoot otherwise.
int xcfg_check_root(const XcfgDocument& document, const char* name);

// count >= 1: descends one level per name (the first `count` of `names`), taking the first
// child so named at each level. count == 0: walks the chain starting at `start` itself for the
// first element named names[0]. Names compare byte-wise and case-sensitively.
// Sets `out` to the element found (or nullptr) and returns 0 or kXcfgNotFound; count < 0, a null
// `start` or fewer names than needed give kXcfgNotFound.
int xcfg_find_path(const XcfgNode*& out, const XcfgNode* start, int count,
                   std::initializer_list<const char*> names);

// Copies the attribute's value (or, with attribute == nullptr, the element's text) into
// dest[0..size), always NUL-terminated and NUL-padded: a value of `size` bytes or more is cut to
// size - 1. size == 0 writes nothing. kXcfgNotFound (no such attribute, or a null node) leaves
// dest untouched.
int xcfg_get_value(const XcfgNode* node, const char* attribute, char* dest, std::size_t size);

}  // namespace zk
