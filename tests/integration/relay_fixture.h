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
#include "support/fast_timings.h"
#include "support/loopback_server.h"
#include "support/mapping_builder.h"
#include "support/recording_events.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace zk::test {

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
