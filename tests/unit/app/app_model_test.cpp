// The live model as the front ends use it: start-up, commands, button rules and what the engine
// reports into the rows.

#include "app/app_model.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/config_file.h"
#include "support/loopback_server.h"
#include "support/mapping_builder.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace zk {
namespace {

using namespace test;

class SilentAlert : public AlertSound {
public:
    void play(std::string_view) override {}
};

PortMapping mapping(const std::string& name, int listen_port, const char* auto_start) {
    PortMapping m = relay_mapping("TCP", name, listen_port, "127.0.0.1", 9);
    m.auto_start = auto_start;
    return m;
}

EngineTimings fast() {
    EngineTimings t;
    t.stop_hold = std::chrono::milliseconds(100);
    t.teardown_pause = std::chrono::milliseconds(10);
    t.idle_step = std::chrono::milliseconds(20);
    return t;
}

class Model : public ::testing::Test {
protected:
    Model() { std::filesystem::create_directory(home.dir() + "log"); }

    // Writes config.xml with `mappings`, then starts the model on it.
    void start_with(const MappingTable& mappings) {
        AppSettings settings{};
        ASSERT_EQ(save_configuration(home.file("config.xml"), settings, mappings, {}), 0);
        model = std::make_unique<AppModel>(home.dir(), sink, alert, fast());
        model->start_up();
    }
    std::string status(int row) const { return model->snapshot().rows.at(row)[2]; }
    bool wait_status(int row, const char* wanted) {
        return wait_for([&] { return status(row) == wanted; });
    }

    TempDir home;
    RecordingSink sink;
    SilentAlert alert;
    std::unique_ptr<AppModel> model;
};

TEST_F(Model, StartUpRunsTheAutomaticMappingsOnly) {
    start_with({mapping("a", free_port(), "Y"), mapping("b", free_port(), "Y"),
                mapping("c", free_port(), "N")});
    EXPECT_TRUE(wait_status(0, "running"));
    EXPECT_TRUE(wait_status(1, "running"));
    EXPECT_EQ(status(2), "stop");
    EXPECT_TRUE(sink.messages().empty());
}

TEST_F(Model, ButtonRulesFollowTheRowStatus) {
    PortMapping logged = mapping("logged", free_port(), "N");
    logged.enable_log = "1";
    logged.log_file = home.file("dump.log");
    start_with({mapping("plain", free_port(), "Y"), logged});
    ASSERT_TRUE(wait_status(0, "running"));
    const RowActions running = model->row_actions(0);
    EXPECT_TRUE(running.stop && !running.start && !running.edit && !running.remove);
    EXPECT_FALSE(running.tail_log);
    const RowActions stopped = model->row_actions(1);
    EXPECT_TRUE(!stopped.stop && stopped.start && stopped.edit && stopped.remove);
    EXPECT_TRUE(stopped.tail_log);
    EXPECT_FALSE(model->row_actions(2).start) << "no such row: nothing is offered";

    EXPECT_TRUE(model->edit_mapping(0, mapping("plain", 1, "N")).has_value());
    EXPECT_TRUE(model->delete_mapping(0).has_value());
    EXPECT_FALSE(model->stop_mapping(0).has_value());
    EXPECT_EQ(status(0), "stop");
    EXPECT_EQ(model->snapshot().rows[0][3], "0");
    EXPECT_FALSE(model->delete_mapping(0).has_value()) << "a stopped mapping can go";
}

TEST_F(Model, CommandsKeepRowsAndRecordsInStep) {
    start_with({mapping("one", 1, "N"), mapping("two", 2, "N"), mapping("three", 3, "N")});
    EXPECT_EQ(model->add_mapping(mapping("two", 4, "N")).value_or(""),
              "port mapping name already exist, please reenter again!");
    EXPECT_FALSE(model->add_mapping(mapping("Two", 4, "N")).has_value());
    EXPECT_FALSE(model->delete_mapping(1).has_value());
    PortMapping edited = mapping("three", 33, "Y");
    EXPECT_FALSE(model->edit_mapping(1, edited).has_value());
    const ModelSnapshot s = model->snapshot();
    ASSERT_EQ(s.mappings.size(), 3u);
    EXPECT_EQ(s.mappings[0].name.view(), "one");
    EXPECT_EQ(s.mappings[1], edited);
    EXPECT_EQ(s.rows[1],
              (ListRow{"three", "TCP", "stop", "0", "unlimited", "33", "127.0.0.1", "9", "Y"}));
    EXPECT_EQ(s.mappings[2].name.view(), "Two");
}

TEST_F(Model, EngineReportsReachTheRows) {
    LoopbackServer server("127.0.0.1", echo);
    const int port = free_port();
    PortMapping m = mapping("served", port, "Y");
    m.destination_port = std::to_string(server.port());
    start_with({m});
    ASSERT_TRUE(wait_status(0, "running"));
    const int fd = connect_to("127.0.0.1", port);
    EXPECT_TRUE(wait_for([&] { return model->snapshot().rows[0][3] == "1"; }));
    EXPECT_EQ(model->sessions().size(), 1u);
    ::close(fd);
    EXPECT_TRUE(wait_for([&] { return model->snapshot().rows[0][3] == "0"; }));
}

TEST_F(Model, StartFailureIsShownAndTheRowStaysStopped) {
    const int taken = bind_socket(SOCK_STREAM, "0.0.0.0", 0);
    ::listen(taken, 1);
    start_with({mapping("clash", bound_port(taken), "N")});
    EXPECT_FALSE(model->start_mapping(0).has_value());
    ASSERT_TRUE(wait_for([&] { return !sink.messages().empty(); }));
    EXPECT_EQ(sink.messages()[0],
              "listen on port " + std::to_string(bound_port(taken)) + " error!");
    EXPECT_EQ(sink.titles()[0], "ERROR!");
    EXPECT_EQ(status(0), "stop");
    ::close(taken);
}

}  // namespace
}  // namespace zk
