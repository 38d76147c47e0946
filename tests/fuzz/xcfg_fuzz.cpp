// Loads arbitrary bytes as a configuration document and walks the result the way the loader
// does, checking that every copied value stays inside its buffer and is NUL-terminated.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "xml/xcfg.h"

namespace {

constexpr std::size_t kSizes[] = {1, 2, 20, zk::kXcfgFieldSize, 1024};

void check_copy(const zk::XcfgNode* node, const char* attribute) {
    for (std::size_t size : kSizes) {
        char buffer[1024 + 1];
        std::memset(buffer, 'Z', sizeof buffer);
        if (zk::xcfg_get_value(node, attribute, buffer, size) != 0) continue;
        const std::size_t length = strnlen(buffer, size);
        const std::size_t limit = attribute ? zk::kXcfgValueLimit + 1 : zk::kXcfgFieldSize;
        if (length >= size || length >= limit || buffer[size] != 'Z') std::abort();
    }
}

void walk_like_the_loader(const zk::XcfgNode* root) {
    const zk::XcfgNode* first = nullptr;
    if (zk::xcfg_find_path(first, root, 1, {"mapping"}) != 0) return;
    for (const zk::XcfgNode* node = first; node != nullptr; node = node->next) {
        if (std::strcmp(node->name.data(), first->name.data()) != 0) continue;
        check_copy(node, "name");
        const zk::XcfgNode* ip = nullptr;
        if (zk::xcfg_find_path(ip, node, 2, {"allow_ip", "ip"}) == 0) check_copy(ip, "start");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zk::XcfgDocument document;
    const int status =
        zk::xcfg_load_text(document, std::string(reinterpret_cast<const char*>(data), size));
    if (zk::xcfg_check_root(document, "mappings") == 0) walk_like_the_loader(document.root);
    if (status != 0 && status != zk::kXcfgParseError && status != ENOMEM) std::abort();

    // Every stored element: look itself up from its own chain and copy each field.
    for (const zk::XcfgNode& node : document.nodes) {
        const zk::XcfgNode* found = nullptr;
        if (zk::xcfg_find_path(found, &node, 0, {node.name.data()}) != 0 || found != &node) {
            std::abort();
        }
        check_copy(&node, nullptr);
        for (const zk::XcfgAttribute& attribute : node.attributes) {
            check_copy(&node, attribute.name.data());
        }
        if (node.first_child != nullptr) {
            zk::xcfg_find_path(found, &node, 1, {node.first_child->name.data()});
            if (found != node.first_child) std::abort();
        }
    }
    return 0;
}
