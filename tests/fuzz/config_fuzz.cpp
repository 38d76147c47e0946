// Feeds arbitrary bytes to the configuration loader. Beyond "never crash", a file that loads
// whole must survive a save and a second load unchanged.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/config_file.h"

namespace {

class QuietSink : public zk::MessageSink {
public:
    void show_message(std::string_view, std::string_view, zk::MessageIcon) override {}
};

std::string scratch_path() {
    static const std::string path = "/tmp/zk-config-fuzz-" + std::to_string(::getpid()) + ".xml";
    return path;
}

struct Loaded {
    zk::AppSettings settings;
    zk::MappingTable mappings;
    zk::TriggerTable triggers;
    bool whole = false;
};

Loaded load(const std::string& path) {
    QuietSink sink;
    Loaded l;
    const bool a = zk::load_configuration(path, l.settings, l.mappings, sink);
    const bool b = zk::load_triggers(path, l.triggers, sink);
    l.whole = a && b;
    return l;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = scratch_path();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const Loaded first = load(path);
    if (first.whole) {
        if (zk::save_configuration(path, first.settings, first.mappings, first.triggers) != 0) {
            std::abort();
        }
        const Loaded second = load(path);
        if (!second.whole || !(second.settings == first.settings) ||
            second.mappings != first.mappings || second.triggers != first.triggers) {
            std::abort();
        }
    }
    ::unlink(path.c_str());
    return 0;
}
