// Feeds arbitrary bytes to the gateway-reply reader the way the router client reads replies:
// the top element by both names it asks for, then the look-ups of a description and a SOAP reply.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "xml/xml_node.h"

namespace {

// Touches every node, text and attribute, bounded by the tree the parser built.
std::size_t walk(const zk::XMLNode& node) {
    std::size_t seen = node.name().size() + node.clear_sections().size();
    for (std::size_t i = 0; i < node.text_count(); ++i)
        seen += node.text_at(i)->size();
    for (const zk::XmlAttribute& attribute : node.attributes()) {
        seen += attribute.name.size() + (attribute.value ? attribute.value->size() : 0);
    }
    for (std::size_t i = 0; i < node.child_total(); ++i)
        seen += walk(node.child(i));
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes, so any read past the input trips the sanitizers.
    const std::string text(reinterpret_cast<const char*>(data), size);

    const zk::XMLNode root = zk::xml_parse_text(text, "root");
    const int devices = root.child_count("device");
    for (int i = 0; i < devices; ++i) {
        const zk::XMLNode device = root.child_by_name("device", i);
        (void)device.child_by_name("deviceType").text_at(0);
        (void)device.child_by_name("deviceList")
            .child_by_name("device")
            .child_by_name("serviceList");
    }
    (void)root.child_by_name("URLBase").text_at(0);

    const zk::XMLNode envelope = zk::xml_parse_text(text, "Envelope");
    const zk::XMLNode body = envelope.child_by_name("Body");
    (void)body.child_by_name("GetExternalIPAddressResponse")
        .child_by_name("NewExternalIPAddress")
        .text_at(0);
    (void)body.child_by_name("GetGenericPortMappingEntryResponse")
        .child_by_name("NewExternalPort")
        .text_at(0);

    const zk::XMLNode document = zk::xml_parse_document(text);
    volatile std::size_t seen = walk(document);
    (void)seen;
    return 0;
}
