// Read-only configuration tree: expat events build fixed-size element records, linked as
// first-child / next-sibling lists through a lazily popped tag stack.
#include "xml/xcfg.h"

#include <expat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

namespace zk {
namespace {

constexpr std::size_t kBlockSize = 1024;
constexpr std::size_t kMaxFieldBytes = kXcfgFieldSize - 1;
constexpr std::string_view kBlanks = " \t\n";

using Field = std::array<char, kXcfgFieldSize>;

struct TagEntry {
    XcfgNode* node;
    int depth;
};

// The expat user data; lives only while one document is parsed.
struct LoadContext {
    LoadContext(XML_Parser parser_in, XcfgDocument& document_in)
        : parser(parser_in), document(document_in) {}

    XML_Parser parser;
    XcfgDocument& document;
    std::vector<TagEntry> stack;  // top is back(); entries are popped lazily by later elements
    int depth = 0;                // the root element is depth 1
    int error = 0;                // errno of a failure inside a handler
};

// expat hands out UTF-8 while config.xml is ISO-8859-1: characters up to U+00FF go back to
// their single byte so values survive a load and a save unchanged; characters above stay UTF-8.
// The cut to `limit` bytes applies to the converted bytes; `put` takes each byte.
template <typename Put>
void convert_to_8bit(std::string_view utf8, std::size_t limit, Put put) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < utf8.size() && out < limit; ++i, ++out) {
        auto byte = static_cast<unsigned char>(utf8[i]);
        if ((byte == 0xC2 || byte == 0xC3) && i + 1 < utf8.size()) {
            auto follow = static_cast<unsigned char>(utf8[i + 1]);
            if ((follow & 0xC0) == 0x80) {
                byte = static_cast<unsigned char>(((byte & 0x1F) << 6) | (follow & 0x3F));
                ++i;
            }
        }
        put(static_cast<char>(byte));
    }
}

void store_field(Field& field, std::string_view utf8) {
    std::size_t out = 0;
    convert_to_8bit(utf8, kMaxFieldBytes, [&](char c) { field[out++] = c; });
    std::fill(field.begin() + static_cast<std::ptrdiff_t>(out), field.end(), '\0');
}

void store_value(std::string& value, std::string_view utf8) {
    value.clear();
    convert_to_8bit(utf8, kXcfgValueLimit, [&](char c) { value.push_back(c); });
}

void add_element(LoadContext& ctx, const XML_Char* name, const XML_Char** attributes) {
    std::size_t count = 0;
    while (attributes[2 * count] != nullptr)
        ++count;

    XcfgNode node;
    store_field(node.name, name);
    node.attributes = std::vector<XcfgAttribute>(count);
    for (std::size_t i = 0; i < count; ++i) {
        store_field(node.attributes[i].name, attributes[2 * i]);
        store_value(node.attributes[i].value, attributes[2 * i + 1]);
    }
    XcfgNode& stored = ctx.document.nodes.emplace_back(std::move(node));

    // Siblings stay on the stack until a shallower element arrives; then they are dropped.
    while (!ctx.stack.empty() && ctx.stack.back().depth > ctx.depth)
        ctx.stack.pop_back();
    if (ctx.stack.empty()) {
        ctx.document.root = &stored;
    } else if (ctx.stack.back().depth == ctx.depth) {
        ctx.stack.back().node->next = &stored;
    } else {
        ctx.stack.back().node->first_child = &stored;
    }
    ctx.stack.push_back({&stored, ctx.depth});
}

// Exceptions must not cross expat's C frames: an allocation failure becomes ENOMEM and ends
// the parse.
void XMLCALL on_start(void* user, const XML_Char* name, const XML_Char** attributes) {
    auto& ctx = *static_cast<LoadContext*>(user);
    if (ctx.error != 0) return;
    ++ctx.depth;
    try {
        add_element(ctx, name, attributes);
    } catch (const std::bad_alloc&) {
        ctx.error = ENOMEM;
        XML_StopParser(ctx.parser, XML_FALSE);
    }
}

void XMLCALL on_end(void* user, const XML_Char* /*name*/) {
    auto& ctx = *static_cast<LoadContext*>(user);
    if (ctx.error == 0) --ctx.depth;
}

// Text goes to the most recently started element, even one that has already ended; each
// non-blank piece replaces the one before.
void XMLCALL on_text(void* user, const XML_Char* data, int length) {
    auto& ctx = *static_cast<LoadContext*>(user);
    if (ctx.error != 0 || ctx.stack.empty()) return;
    std::string_view text(data, static_cast<std::size_t>(length));
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return;
    const auto last = text.find_last_not_of(kBlanks);
    store_field(ctx.stack.back().node->text, text.substr(first, last - first + 1));
}

struct Block {
    std::size_t size = 0;
    bool last = false;
    int error = 0;  // errno of a failed read
};

// Feeds expat block by block; `read_block(buffer, capacity)` supplies each block.
template <typename ReadBlock>
int parse_blocks(XcfgDocument& document, ReadBlock read_block) {
    std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                        &XML_ParserFree);
    if (!parser) return kXcfgParseError;
    LoadContext ctx{parser.get(), document};
    XML_SetUserData(parser.get(), &ctx);
    XML_SetElementHandler(parser.get(), on_start, on_end);
    XML_SetCharacterDataHandler(parser.get(), on_text);

    std::array<char, kBlockSize> buffer;
    Block block;
    int result = 0;
    do {
        block = read_block(buffer.data(), buffer.size());
        if (block.error != 0) return block.error;
        if (XML_Parse(parser.get(), buffer.data(), static_cast<int>(block.size),
                      block.last ? XML_TRUE : XML_FALSE) == XML_STATUS_ERROR) {
            return ctx.error != 0 ? ctx.error : kXcfgParseError;
        }
        result = ctx.error;
    } while (result == 0 && !block.last);
    return result;
}

void reset(XcfgDocument& document) {
    document.root = nullptr;
    document.nodes.clear();
}

const XcfgNode* find_sibling(const XcfgNode* node, const char* name) {
    if (name == nullptr) return nullptr;
    for (; node != nullptr; node = node->next) {
        if (std::strcmp(node->name.data(), name) == 0) return node;
    }
    return nullptr;
}

}  // namespace

int xcfg_load_file(XcfgDocument& document, const std::string& path) {
    reset(document);
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "r"),
                                                            &std::fclose);
    if (!file) return errno;
    return parse_blocks(document, [&file](char* buffer, std::size_t capacity) {
        Block block;
        block.size = std::fread(buffer, 1, capacity, file.get());
        if (std::ferror(file.get()) != 0) block.error = errno != 0 ? errno : EIO;
        block.last = std::feof(file.get()) != 0;
        return block;
    });
}

int xcfg_load_text(XcfgDocument& document, const std::string& text) {
    reset(document);
    std::size_t offset = 0;
    return parse_blocks(document, [&text, &offset](char* buffer, std::size_t capacity) {
        Block block;
        block.size = std::min(capacity, text.size() - offset);
        std::memcpy(buffer, text.data() + offset, block.size);
        offset += block.size;
        block.last = offset == text.size();
        return block;
    });
}

int xcfg_check_root(const XcfgDocument& document, const char* name) {
    if (document.root == nullptr) return kXcfgNoRoot;
    if (name == nullptr) return kXcfgWrongRoot;
    return std::strncmp(document.root->name.data(), name, kMaxFieldBytes) == 0 ? 0 : kXcfgWrongRoot;
}

int xcfg_find_path(const XcfgNode*& out, const XcfgNode* start, int count,
                   std::initializer_list<const char*> names) {
    out = nullptr;
    const std::size_t needed = count == 0 ? 1 : static_cast<std::size_t>(count);
    if (count < 0 || names.size() < needed) return kXcfgNotFound;

    const XcfgNode* current = start;
    if (count == 0) {
        current = find_sibling(start, *names.begin());
    } else {
        for (int i = 0; i < count && current != nullptr; ++i) {
            current = find_sibling(current->first_child, names.begin()[i]);
        }
    }
    if (current == nullptr) return kXcfgNotFound;
    out = current;
    return 0;
}

int xcfg_get_value(const XcfgNode* node, const char* attribute, char* dest, std::size_t size) {
    if (node == nullptr) return kXcfgNotFound;
    std::string_view source = node->text.data();
    if (attribute != nullptr) {
        const auto found = std::find_if(node->attributes.begin(), node->attributes.end(),
                                        [attribute](const XcfgAttribute& a) {
                                            return std::strcmp(a.name.data(), attribute) == 0;
                                        });
        if (found == node->attributes.end()) return kXcfgNotFound;
        source = found->value;
    }
    if (size == 0) return 0;  // no room even for the NUL: nothing is written
    // An embedded NUL (from a character reference) ends the value, as it ends a record field.
    source = source.substr(0, source.find('\0'));
    const std::size_t length = std::min(source.size(), size - 1);
    std::memcpy(dest, source.data(), length);
    std::memset(dest + length, 0, size - length);
    return 0;
}

}  // namespace zk
