#pragma once
// A small, forgiving XML reader for the gateway's device description and SOAP replies. It never
// fails on the usual sloppiness of embedded web servers: names compare case-insensitively,
// look-ups ignore namespace prefixes, missing end tags are supplied, and CDATA, comments and
// similar sections are kept verbatim. It never writes XML.
//
// Threading: a tree is built and read by one thread; handles are not shared across threads.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zk {

// Parses refuse documents nested deeper than this, so a hostile reply cannot exhaust the stack.
inline constexpr int kXmlMaxDepth = 1000;

struct XmlAttribute {
    std::string name;
    std::optional<std::string> value;  // none for a bare attribute name
};

// A section stored verbatim: opening and closing are the fixed strings of the section kind
// ("<![CDATA[" and "]]>", "<!--" and "-->", ...), content is what lay between them.
struct ClearSection {
    std::string_view opening;
    std::string content;
    std::string_view closing;
};

struct XmlNodeData;  // the node itself; private to the reader

// A counted handle to one node. Copies share the node. A node keeps its children alive, so a
// handle to an inner node keeps that subtree.
class XMLNode {
public:
    XMLNode() = default;  // the empty node
    explicit XMLNode(std::shared_ptr<XmlNodeData> node) : node_(std::move(node)) {}

    bool is_empty() const { return node_ == nullptr; }

    // The element's name; empty for the document node and the empty node.
    const std::string& name() const;
    bool is_declaration() const;  // opened with "<?"

    // The (n+1)-th child whose name, with everything up to its first ':' dropped, equals
    // `name` ignoring case: "Body" finds "s:Body" and "body"; "s:Body" finds neither.
    XMLNode child_by_name(std::string_view name, int n = 0) const;
    // Children whose whole name (prefix included) equals `name` ignoring case.
    int child_count(std::string_view name) const;
    std::size_t child_total() const;
    XMLNode child(std::size_t i) const;

    // The i-th text run in document order; none past the last one.
    std::optional<std::string> text_at(std::size_t i) const;
    std::size_t text_count() const;

    const std::vector<XmlAttribute>& attributes() const;
    const std::vector<ClearSection>& clear_sections() const;

private:
    std::shared_ptr<XmlNodeData> node_;
};

// Parses `text` into a document node (unnamed, holding the top level); the empty node when the
// parse fails.
XMLNode xml_parse_document(std::string_view text);

// Parses `text` and returns its top element: the first top-level child named `top_name`
// (ignoring case), looking inside declaration elements such as "<?xml ...?>"; failing that, the
// last child looked at. The empty node when the parse fails or there is no element.
XMLNode xml_parse_text(std::string_view text, std::string_view top_name);

}  // namespace zk
