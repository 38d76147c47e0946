// The forgiving node tree: lexer, recursive parser and the handle's look-ups.
#include "xml/xml_node.h"

#include <array>
#include <utility>

namespace zk {

struct XmlNodeData {
    std::string name;  // empty for the document node
    bool declaration = false;
    std::vector<std::shared_ptr<XmlNodeData>> children;
    std::vector<std::string> texts;
    std::vector<ClearSection> clear_sections;
    std::vector<XmlAttribute> attributes;
};

namespace {

struct ClearTag {
    std::string_view opening;  // matched ignoring case
    std::string_view closing;  // searched exactly as written
};

// Tried in this order, so "<![CDATA[" wins over a plain "<".
constexpr std::array<ClearTag, 5> kClearTags{{
    {"<![CDATA[", "]]>"},
    {"<PRE>", "</PRE>"},
    {"<Script>", "</Script>"},
    {"<!--", "-->"},
    {"<!DOCTYPE", ">"},
}};

struct Entity {
    std::string_view name;  // after the '&'
    char value;
};

constexpr std::array<Entity, 5> kEntities{{
    {"lt;", '<'},
    {"gt;", '>'},
    {"amp;", '&'},
    {"apos;", '\''},
    {"quot;", '"'},
}};

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool istarts_with(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && iequals(text.substr(0, prefix.size()), prefix);
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Only the five named entities are known; anything else after '&' is kept as it stands.
std::string decode_entities(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        bool decoded = false;
        if (s[i] == '&') {
            for (const Entity& entity : kEntities) {
                if (istarts_with(s.substr(i + 1), entity.name)) {
                    out += entity.value;
                    i += 1 + entity.name.size();
                    decoded = true;
                    break;
                }
            }
        }
        if (!decoded) out += s[i++];
    }
    return out;
}

enum class TokenKind {
    kEnd,
    kClear,        // opening text of a clear section; `clear` says which
    kQuoted,       // quotes included
    kSlashClose,   // "/>"
    kEndTagStart,  // "</"
    kDeclStart,    // "<?"
    kTagStart,     // "<"
    kEquals,
    kClose,  // ">"
    kWord,
};

struct Token {
    TokenKind kind = TokenKind::kEnd;
    std::size_t begin = 0;  // offsets into the text, end exclusive
    std::size_t end = 0;
    std::size_t clear = 0;
};

class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    std::string_view text() const { return text_; }
    void seek(std::size_t pos) { pos_ = pos; }

    Token next() {
        while (pos_ < text_.size() && is_blank(text_[pos_]))
            ++pos_;
        const std::size_t begin = pos_;
        if (begin >= text_.size()) return {TokenKind::kEnd, begin, begin};
        const std::string_view rest = text_.substr(begin);
        for (std::size_t i = 0; i < kClearTags.size(); ++i) {
            if (istarts_with(rest, kClearTags[i].opening)) {
                pos_ += kClearTags[i].opening.size();
                return {TokenKind::kClear, begin, pos_, i};
            }
        }
        const char c = rest[0];
        const char next = rest.size() > 1 ? rest[1] : '\0';
        if (c == '"' || c == '\'') {
            // A quote opens a string only when its partner comes before any '<'.
            const char stops[] = {c, '<', '\0'};
            const std::size_t stop = text_.find_first_of(stops, begin + 1);
            if (stop != std::string_view::npos && text_[stop] == c) {
                pos_ = stop + 1;
                return {TokenKind::kQuoted, begin, pos_};
            }
            return word(begin);
        }
        if (c == '/' && next == '>') return single(TokenKind::kSlashClose, begin, 2);
        if (c == '<' && next == '/') return single(TokenKind::kEndTagStart, begin, 2);
        if (c == '<' && next == '?') return single(TokenKind::kDeclStart, begin, 2);
        if (c == '<') return single(TokenKind::kTagStart, begin, 1);
        if (c == '=') return single(TokenKind::kEquals, begin, 1);
        if (c == '>') return single(TokenKind::kClose, begin, 1);
        return word(begin);
    }

private:
    Token single(TokenKind kind, std::size_t begin, std::size_t length) {
        pos_ = begin + length;
        return {kind, begin, pos_};
    }

    // The first character is never a delimiter, so a word is at least one character long.
    Token word(std::size_t begin) {
        pos_ = begin + 1;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (is_blank(c) || c == '<' || c == '=' || c == '>') break;
            if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '>') break;
            ++pos_;
        }
        return {TokenKind::kWord, begin, pos_};
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

enum class Outcome {
    kClosed,
    kFailed,
    kStopped,  // an end tag at the top level ended the reading; the tree so far stands
};

class Parser {
public:
    explicit Parser(std::string_view text) : lexer_(text) {}

    bool parse_document(const std::shared_ptr<XmlNodeData>& document) {
        return parse_content(document, 0, true) != Outcome::kFailed;
    }

private:
    std::string_view slice(std::size_t begin, std::size_t end) const {
        return lexer_.text().substr(begin, end - begin);
    }
    std::string_view slice(const Token& token) const { return slice(token.begin, token.end); }

    Outcome parse_element(const std::shared_ptr<XmlNodeData>& element, int depth) {
        bool has_content = false;
        if (!parse_tag(*element, has_content)) return Outcome::kFailed;
        if (!has_content) return Outcome::kClosed;
        return parse_content(element, depth, false);
    }

    // Reads the attributes after the element name, up to ">" (content follows) or "/>".
    bool parse_tag(XmlNodeData& element, bool& has_content) {
        std::optional<Token> name;  // an attribute name still waiting for "=" or its end
        for (;;) {
            const Token token = lexer_.next();
            if (name && token.kind == TokenKind::kEquals) {
                const Token value = lexer_.next();
                std::string_view raw = slice(value);
                if (value.kind == TokenKind::kQuoted) {
                    raw = raw.substr(1, raw.size() - 2);
                } else if (value.kind != TokenKind::kWord) {
                    return false;
                }
                element.attributes.push_back({std::string(slice(*name)), decode_entities(raw)});
                name.reset();
                continue;
            }
            const bool ends_tag =
                token.kind == TokenKind::kClose || token.kind == TokenKind::kSlashClose;
            if (token.kind != TokenKind::kWord && !ends_tag) return false;
            if (name) element.attributes.push_back({std::string(slice(*name)), std::nullopt});
            name.reset();
            if (token.kind == TokenKind::kWord) {
                name = token;
                continue;
            }
            if (element.declaration) drop_declaration_mark(element);
            has_content = token.kind == TokenKind::kClose;
            return true;
        }
    }

    // "<?xml version="1.0"?>": the closing '?' sticks to the last attribute; take it off.
    static void drop_declaration_mark(XmlNodeData& element) {
        if (element.attributes.empty()) return;
        XmlAttribute& last = element.attributes.back();
        std::string& marked = last.value ? *last.value : last.name;
        if (!marked.empty() && marked.back() == '?') marked.pop_back();
        if (last.name.empty()) element.attributes.pop_back();
    }

    void store_text(XmlNodeData& node, std::optional<std::size_t>& run, std::size_t end,
                    bool decode) {
        if (!run) return;
        std::string_view text = slice(*run, end);
        while (!text.empty() && is_blank(text.back()))
            text.remove_suffix(1);
        node.texts.push_back(decode ? decode_entities(text) : std::string(text));
        run.reset();
    }

    bool end_tag_matches(const XmlNodeData& node, const Token& word) const {
        const std::string_view text = lexer_.text();
        const std::size_t after = word.begin + node.name.size();
        if (node.name.empty() || after >= text.size() || word.end - word.begin < node.name.size())
            return false;
        if (!iequals(text.substr(word.begin, node.name.size()), node.name)) return false;
        const char c = text[after];
        return is_blank(c) || c == '/' || c == '<' || c == '=' || c == '>';
    }

    Outcome parse_content(const std::shared_ptr<XmlNodeData>& node, int depth, bool is_document) {
        std::optional<std::size_t> run;  // start of the text run being read
        for (;;) {
            const Token token = lexer_.next();
            switch (token.kind) {
                case TokenKind::kWord:
                case TokenKind::kQuoted:
                case TokenKind::kEquals:
                    if (!run) run = token.begin;
                    break;
                case TokenKind::kTagStart:
                case TokenKind::kDeclStart: {
                    store_text(*node, run, token.begin, false);
                    const Token name = lexer_.next();
                    if (name.kind != TokenKind::kWord || depth >= kXmlMaxDepth)
                        return Outcome::kFailed;
                    auto child = std::make_shared<XmlNodeData>();
                    child->name = std::string(slice(name));
                    child->declaration = token.kind == TokenKind::kDeclStart;
                    node->children.push_back(child);
                    const Outcome outcome = parse_element(child, depth + 1);
                    if (outcome != Outcome::kClosed) return outcome;
                    if (pending_end_) {
                        // An end tag that named an element further up closes this one too.
                        if (is_document) return Outcome::kFailed;
                        if (end_tag_matches(*node, *pending_end_)) pending_end_.reset();
                        return Outcome::kClosed;
                    }
                    break;
                }
                case TokenKind::kEndTagStart: {
                    store_text(*node, run, token.begin, true);
                    const Token word = lexer_.next();
                    if (word.kind != TokenKind::kWord) return Outcome::kFailed;
                    if (lexer_.next().kind != TokenKind::kClose) return Outcome::kFailed;
                    // A declaration stands for the top level and is never closed by an end tag.
                    if (is_document || node->declaration) return Outcome::kStopped;
                    if (!end_tag_matches(*node, word)) pending_end_ = word;
                    return Outcome::kClosed;
                }
                case TokenKind::kClear: {
                    store_text(*node, run, token.begin, false);
                    const ClearTag& tag = kClearTags[token.clear];
                    const std::size_t close = lexer_.text().find(tag.closing, token.end);
                    if (close == std::string_view::npos) return Outcome::kFailed;
                    node->clear_sections.push_back(
                        {tag.opening, std::string(slice(token.end, close)), tag.closing});
                    lexer_.seek(close + tag.closing.size());
                    break;
                }
                case TokenKind::kClose:
                case TokenKind::kSlashClose: return Outcome::kFailed;
                case TokenKind::kEnd:
                    store_text(*node, run, token.begin, true);
                    return Outcome::kClosed;
            }
        }
    }

    Lexer lexer_;
    std::optional<Token> pending_end_;  // the name word of an end tag that closed a child
};

}  // namespace

const std::string& XMLNode::name() const {
    static const std::string kNone;
    return node_ ? node_->name : kNone;
}

bool XMLNode::is_declaration() const {
    return node_ && node_->declaration;
}

XMLNode XMLNode::child_by_name(std::string_view name, int n) const {
    if (!node_ || n < 0) return {};
    for (const auto& child : node_->children) {
        std::string_view bare = child->name;
        const std::size_t colon = bare.find(':');
        if (colon != std::string_view::npos) bare.remove_prefix(colon + 1);
        if (iequals(bare, name) && n-- == 0) return XMLNode(child);
    }
    return {};
}

int XMLNode::child_count(std::string_view name) const {
    if (!node_) return 0;
    int count = 0;
    for (const auto& child : node_->children) {
        if (iequals(child->name, name)) ++count;
    }
    return count;
}

std::size_t XMLNode::child_total() const {
    return node_ ? node_->children.size() : 0;
}

XMLNode XMLNode::child(std::size_t i) const {
    if (!node_ || i >= node_->children.size()) return {};
    return XMLNode(node_->children[i]);
}

std::optional<std::string> XMLNode::text_at(std::size_t i) const {
    if (!node_ || i >= node_->texts.size()) return std::nullopt;
    return node_->texts[i];
}

std::size_t XMLNode::text_count() const {
    return node_ ? node_->texts.size() : 0;
}

const std::vector<XmlAttribute>& XMLNode::attributes() const {
    static const std::vector<XmlAttribute> kNone;
    return node_ ? node_->attributes : kNone;
}

const std::vector<ClearSection>& XMLNode::clear_sections() const {
    static const std::vector<ClearSection> kNone;
    return node_ ? node_->clear_sections : kNone;
}

XMLNode xml_parse_document(std::string_view text) {
    auto document = std::make_shared<XmlNodeData>();
    Parser parser(text);
    if (!parser.parse_document(document)) return {};
    return XMLNode(std::move(document));
}

XMLNode xml_parse_text(std::string_view text, std::string_view top_name) {
    const XMLNode document = xml_parse_document(text);
    XMLNode level = document;
    XMLNode last;
    std::size_t i = 0;
    while (i < level.child_total()) {
        last = level.child(i);
        if (iequals(last.name(), top_name)) return last;
        if (last.is_declaration()) {
            // Everything after "<?xml ...?>" is its content: look inside it.
            level = last;
            i = 0;
            continue;
        }
        ++i;
    }
    return last;
}

}  // namespace zk
