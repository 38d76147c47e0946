#pragma once
// A running engine with fast timings, its event log in a temporary program directory, and
// builders for the mappings the relay tests start.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/port_mapping.h"
#include "engine/engine.h"
#include "engine/event_log.h"
#include "support/loopback_server.h"
#include "support/recording_events.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace zk::test {

inline EngineTimings fast_timings() {
    EngineTimings t;
    t.stop_hold = std::chrono::milliseconds(300);
    t.teardown_pause = std::chrono::milliseconds(20);
    t.idle_step = std::chrono::milliseconds(50);
    return t;
}

inline PortMapping relay_mapping(const char* type, const std::string& name, int listen_port,
                                 const char* destination_ip, int destination_port) {
    PortMapping m{};
    m.name = name;
    m.type = type;
    m.listen_port_type = "0";
    m.listen_port = std::to_string(listen_port);
    m.listen_port_end = "0";
    m.destination_ip = destination_ip;
    m.destination_port_type = "0";
    m.destination_port = std::to_string(destination_port);
    m.destination_port_end = "0";
    m.enable_log = "0";
    m.enable_ip_strategy = "0";
    m.auto_start = "N";
    m.http_proxy = "N";
    m.ssl_enable = "N";
    m.enable_smart = "0";
    m.smart_strategy = "0";
    return m;
}

class RelayTest : public ::testing::Test {
protected:
    RelayTest() {
        std::filesystem::create_directory(home.dir() + "log");
        event_log_open(home.dir() + "log/zk-gate.log");
    }
    ~RelayTest() override { engine.reset(); }

    void make_engine(EngineTimings timings = fast_timings(), Resolver resolver = {}) {
        engine = std::make_unique<Engine>(home.dir(), events, timings, std::move(resolver));
    }

    // Starts `m` (as row 0) and waits until it listens.
    void start(const PortMapping& m) {
        if (!engine) make_engine();
        engine->start_mapping(m, 0);
        ASSERT_TRUE(wait_for([&] { return events.status(m.name.str()) == "running"; }))
            << m.name.str() << " did not start";
    }

    std::string event_log() const { return read_file(home.dir() + "log/zk-gate.log"); }
    bool wait_log(const std::string& text) {
        return wait_for([&] { return event_log().find(text) != std::string::npos; });
    }

    TempDir home;
    RecordingEvents events;
    std::unique_ptr<Engine> engine;
};

}  // namespace zk::test
