// The live model as the front ends use it: start-up, commands, button rules and what the engine
// reports into the rows.

#include "app/app_model.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <filesystem>

#include "core/config_file.h"
#include "engine/thread_start.h"
#include "support/fast_timings.h"
#include "support/loopback_server.h"
#include "support/mapping_builder.h"
#include "support/recording_sink.h"
#include "support/silent_alert.h"
#include "support/temp_dir.h"
#include "support/trigger_fixture.h"
#include "support/wait_for.h"

namespace zk {
namespace {

using namespace test;

PortMapping mapping(const std::string& name, int listen_port, const char* auto_start) {
    PortMapping m = relay_mapping("TCP", name, listen_port, "127.0.0.1", 9);
    m.auto_start = auto_start;
    return m;
}

// Hands threads out as told: at once, never, or held until released.
class ThreadGate {
public:
    enum class Mode { run, fail, hold };

    ThreadStarter starter() {
        return [this](std::function<void()> body) {
            std::lock_guard guard(lock_);
            if (mode_ == Mode::fail) return false;
            if (mode_ == Mode::hold) {
                held_.push_back(std::move(body));
                return true;
            }
            return start_detached_thread(std::move(body));
        };
    }
    void set(Mode mode) {
        std::lock_guard guard(lock_);
        mode_ = mode;
    }
    void release_held() {
        std::lock_guard guard(lock_);
        for (auto& body : held_)
            ASSERT_TRUE(start_detached_thread(std::move(body)));
        held_.clear();
    }

private:
    std::mutex lock_;
    Mode mode_ = Mode::run;
    std::vector<std::function<void()>> held_;
};

class Model : public ::testing::Test {
protected:
    Model() { std::filesystem::create_directory(home.dir() + "log"); }
    ~Model() override { gate.release_held(); }

    // Writes config.xml with `mappings`, then starts the model on it.
    void start_with(const MappingTable& mappings) {
        AppSettings settings{};
        ASSERT_EQ(save_configuration(home.file("config.xml"), settings, mappings, {}), 0);
        start_model();
    }
    void start_model() {
        model = std::make_unique<AppModel>(home.dir(), sink, alert, fast_timings(), TriggerLimits{},
                                           gate.starter());
        model->start_up();
    }
    // What config.xml holds now, as a fresh program would read it.
    MappingTable saved_mappings() const {
        AppSettings settings{};
        MappingTable table;
        RecordingSink quiet;
        load_configuration(home.file("config.xml"), settings, table, quiet);
        return table;
    }
    std::string status(int row) const { return model->snapshot().rows.at(row)[2]; }
    bool wait_status(int row, const char* wanted) {
        return wait_for([&] { return status(row) == wanted; });
    }

    TempDir home;
    RecordingSink sink;
    SilentAlert alert;
    ThreadGate gate;
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
    EXPECT_EQ(cell(model->snapshot().rows[0], ListColumn::sessions), "0");
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
    EXPECT_TRUE(
        wait_for([&] { return cell(model->snapshot().rows[0], ListColumn::sessions) == "1"; }));
    EXPECT_EQ(model->sessions().size(), 1u);
    ::close(fd);
    EXPECT_TRUE(
        wait_for([&] { return cell(model->snapshot().rows[0], ListColumn::sessions) == "0"; }));
}

TEST_F(Model, StartFailureIsShownAndTheRowStaysStopped) {
    const int taken = bind_socket(SOCK_STREAM, "0.0.0.0", 0);
    ::listen(taken, 1);
    start_with({mapping("clash", local_port(taken), "N")});
    EXPECT_FALSE(model->start_mapping(0).has_value());
    ASSERT_TRUE(wait_for([&] { return !sink.messages().empty(); }));
    EXPECT_EQ(sink.messages()[0],
              "listen on port " + std::to_string(local_port(taken)) + " error!");
    EXPECT_EQ(sink.titles()[0], "ERROR!");
    EXPECT_TRUE(wait_status(0, "stop"));
    ::close(taken);
}

// A start that gets no thread used to report through the model's own events while the model
// held its lock: the command never returned and every later one hung.
TEST_F(Model, StartWithoutAThreadIsRefusedAndTheModelGoesOn) {
    const int port = free_port();
    start_with({mapping("a", port, "N")});
    gate.set(ThreadGate::Mode::fail);
    EXPECT_EQ(model->start_mapping(0).value_or("(started)"),
              "cannot start port mapping[a]: no thread for port " + std::to_string(port) + "!");
    EXPECT_EQ(status(0), "stop");
    EXPECT_TRUE(model->row_actions(0).start);

    gate.set(ThreadGate::Mode::run);
    EXPECT_FALSE(model->start_mapping_named("a").has_value());
    EXPECT_TRUE(wait_status(0, "running"));
}

TEST_F(Model, AutomaticStartWithoutAThreadIsShown) {
    gate.set(ThreadGate::Mode::fail);
    const int port = free_port();
    start_with({mapping("auto", port, "Y")});
    EXPECT_EQ(sink.messages(), std::vector<std::string>{"cannot start port mapping[auto]: no "
                                                        "thread for port " +
                                                        std::to_string(port) + "!"});
    EXPECT_TRUE(model->wait_for_starts(std::chrono::seconds(0)));
    EXPECT_EQ(status(0), "stop");
}

// Between the start and the listener's report the row shows "starting": a second start then
// would make a second copy on the same port.
TEST_F(Model, StartingRowRefusesASecondStart) {
    start_with({mapping("slow", free_port(), "N")});
    gate.set(ThreadGate::Mode::hold);
    EXPECT_FALSE(model->start_mapping(0).has_value());
    EXPECT_EQ(status(0), "starting");
    EXPECT_FALSE(model->wait_for_starts(std::chrono::milliseconds(50)));
    const RowActions actions = model->row_actions(0);
    EXPECT_TRUE(!actions.start && actions.stop && !actions.edit && !actions.remove);
    EXPECT_EQ(model->start_mapping(0).value_or(""), "the port mapping is running already");
    EXPECT_EQ(model->start_mapping_named("slow").value_or(""),
              "the port mapping is running already");
    EXPECT_EQ(model->delete_mapping_named("slow").value_or(""),
              "stop the port mapping before deleting it");

    gate.set(ThreadGate::Mode::run);
    gate.release_held();
    EXPECT_TRUE(model->wait_for_starts(std::chrono::seconds(20)));
    EXPECT_EQ(status(0), "running");
}

class CountingObserver : public ModelObserver {
public:
    void rows_changed() override { ++calls; }
    std::atomic<int> calls{0};
};

// Settings go through one command that saves them; front ends hear of every row change.
TEST_F(Model, SettingsCommandAndObserver) {
    CountingObserver observer;
    write_file(home.file("config.xml"), "<mappings ></mappings>");
    model = std::make_unique<AppModel>(home.dir(), sink, alert, fast_timings());
    model->set_observer(&observer);
    model->start_up();
    AppSettings changed = model->settings();
    changed.user_name = "admin";
    changed.voice_notify = "0";
    ASSERT_FALSE(model->change_settings(changed).has_value());
    EXPECT_EQ(model->settings(), changed);
    AppSettings saved{};
    MappingTable table;
    load_configuration(home.file("config.xml"), saved, table, sink);
    EXPECT_EQ(saved, changed);

    const int before = observer.calls.load();
    ASSERT_FALSE(model->add_mapping(mapping("seen", free_port(), "N")).has_value());
    EXPECT_GT(observer.calls.load(), before);
    const int added = observer.calls.load();
    ASSERT_FALSE(model->start_mapping(0).has_value());
    EXPECT_TRUE(wait_status(0, "running"));
    EXPECT_TRUE(wait_for([&] { return observer.calls.load() >= added + 2; }))
        << "the start and the listener's report";
    model.reset();  // engine threads end before the observer goes
}

// A hand-edited file can hold ports the editors refuse: a start that would listen on a port the
// kernel picks, or on none, is refused instead of reported as running.
TEST_F(Model, StartOnNoRealPortIsRefused) {
    struct Case {
        const char* label;
        const char* type;
        const char* port;
        const char* end;
        const char* message;
    };
    const Case cases[] = {
        {"text", "0", "abc", "0", "listen on port abc error!"},
        {"zero", "0", "0", "0", "listen on port 0 error!"},
        {"beyond the last port", "0", "65536", "0", "listen on port 65536 error!"},
        {"no port type", "", "8000", "", "listen on port 8000 error!"},
        {"range ending below its start", "1", "8000", "7999", "listen on port 8000-7999 error!"},
        {"range past the last port", "1", "65535", "65536", "listen on port 65535-65536 error!"},
    };
    MappingTable table;
    for (const Case& c : cases) {
        PortMapping m = mapping(c.label, 1, "N");
        m.listen_port_type = c.type;
        m.listen_port = c.port;
        m.listen_port_end = c.end;
        table.push_back(m);
    }
    start_with(table);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(model->start_mapping(static_cast<int>(i)).value_or("(started)"), cases[i].message)
            << cases[i].label;
        EXPECT_EQ(status(static_cast<int>(i)), "stop") << cases[i].label;
    }
}

// A front end's change is in config.xml when the command returns: a kill loses nothing.
TEST_F(Model, EveryChangeIsWrittenAtOnce) {
    start_with({mapping("one", 1, "N")});
    ASSERT_FALSE(model->add_mapping(mapping("a&b \"q\"", 2, "N")).has_value());
    EXPECT_EQ(saved_mappings(), model->snapshot().mappings);
    ASSERT_FALSE(model->edit_mapping_named("one", mapping("one", 11, "Y")).has_value());
    EXPECT_EQ(saved_mappings(), model->snapshot().mappings);
    ASSERT_FALSE(model->delete_mapping(0).has_value());
    ASSERT_EQ(saved_mappings().size(), 1u);
    EXPECT_EQ(saved_mappings()[0].name.view(), "a&b \"q\"");

    // Refused commands write nothing.
    std::filesystem::remove(home.file("config.xml"));
    EXPECT_TRUE(model->add_mapping(mapping("a&b \"q\"", 3, "N")).has_value());
    EXPECT_FALSE(std::filesystem::exists(home.file("config.xml")));
}

TEST_F(Model, ChangeAfterAFaultyLoadKeepsTheFaultyFile) {
    write_file(home.file("config.xml"), "<mappings><mapping name=\"x\" /></mappings>");
    start_model();
    ASSERT_FALSE(model->add_mapping(mapping("new", 2, "N")).has_value());
    EXPECT_EQ(read_file(home.file("config.xml.invalid")),
              "<mappings><mapping name=\"x\" /></mappings>");
    ASSERT_EQ(saved_mappings().size(), 1u);
}

// A faulty triggering entry means the trigger table is not what the user wrote: none starts,
// not even an automatic one read before the fault.
TEST_F(Model, FaultyTriggeringEntryStartsNoTrigger) {
    const std::string good =
        "<triggering name=\"t\" auto_start=\"Y\" protocol=\"TCP\" trigger_address=\"127.0.0.1\" "
        "trigger_port=\"9\" trigger_port_end=\"9\" frequence=\"1000\" ></triggering>";
    const std::string bad = "<triggering name=\"u\" auto_start=\"Y\" ></triggering>";
    for (const bool faulty : {false, true}) {
        SCOPED_TRACE(faulty ? "with a faulty entry" : "all entries whole");
        write_file(home.file("config.xml"),
                   "<mappings >" + good + (faulty ? bad : "") + "</mappings>");
        start_model();
        const auto triggers = model->snapshot().triggers;
        ASSERT_EQ(triggers.size(), 1u);
        EXPECT_EQ(triggers[0].status.view(), faulty ? "stop" : "running");
        model.reset();
    }
}

class Triggers : public Model {
protected:
    void start_with_triggers(const TriggerTable& triggers) {
        ASSERT_EQ(save_configuration(home.file("config.xml"), AppSettings{}, {}, triggers), 0);
        start_model();
    }
    TriggerTable saved_triggers() const {
        TriggerTable table;
        RecordingSink quiet;
        load_triggers(home.file("config.xml"), table, quiet);
        return table;
    }
    std::string trigger_status(std::string_view name) const {
        for (const PortTrigger& t : model->triggers()) {
            if (t.name == name) return t.status.str();
        }
        return "(none)";
    }
};

// A refused trigger command changes neither the table nor config.xml.
TEST_F(Triggers, RefusedCommandsChangeNothing) {
    UdpReceiver receiver;
    start_with_triggers({loopback_trigger("a", 6000), loopback_trigger("b", 6001),
                         loopback_trigger("run", receiver.port())});
    ASSERT_FALSE(model->start_trigger("run").has_value());
    ASSERT_TRUE(receiver.empty_datagrams(1, std::chrono::seconds(10)) == 1)
        << "the running entry runs";

    struct Case {
        const char* label;
        std::function<std::optional<std::string>()> command;
        const char* message;
    };
    PortTrigger no_protocol = loopback_trigger("new", 7000);
    no_protocol.protocol = "";
    PortTrigger no_pause = loopback_trigger("new", 7000);
    no_pause.frequence = "0";
    const Case cases[] = {
        {"add without a name", [&] { return model->add_trigger(loopback_trigger("", 7000)); },
         "invalid trigger name, please reenter again!"},
        {"add a taken name", [&] { return model->add_trigger(loopback_trigger("a", 7000)); },
         "port trigger name already exists, please reenter again!"},
        {"add without a protocol", [&] { return model->add_trigger(no_protocol); },
         "invalid trigger protocol, please choose TCP, UDP or both!"},
        {"add without a pause", [&] { return model->add_trigger(no_pause); },
         "the trigger period must be at least 1000 ms, please reenter again!"},
        {"edit a missing entry",
         [&] { return model->edit_trigger("zz", loopback_trigger("zz", 7000)); },
         "no such port trigger"},
        {"edit renamed onto another entry",
         [&] { return model->edit_trigger("b", loopback_trigger("a", 6001)); },
         "port trigger name already exists, please reenter again!"},
        {"edit a running entry",
         [&] { return model->edit_trigger("run", loopback_trigger("run", 7000)); },
         "stop the port trigger before editing it"},
        {"delete a running entry", [&] { return model->delete_trigger("run"); },
         "stop the port trigger before deleting it"},
        {"delete a missing entry", [&] { return model->delete_trigger("zz"); },
         "no such port trigger"},
        {"start a running entry", [&] { return model->start_trigger("run"); },
         "the port trigger is running already"},
    };
    const std::string file = read_file(home.file("config.xml"));
    const TriggerTable before = model->triggers();
    for (const Case& c : cases) {
        EXPECT_EQ(c.command().value_or("(accepted)"), c.message) << c.label;
        EXPECT_EQ(model->triggers(), before) << c.label;
        EXPECT_EQ(read_file(home.file("config.xml")), file) << c.label;
    }
}

// Accepted trigger commands are in config.xml at once and a new program reads them back.
TEST_F(Triggers, CommandsReachConfigAndSurviveAReload) {
    start_with_triggers({loopback_trigger("a", 6000), loopback_trigger("b", 6001)});
    PortTrigger added = loopback_trigger("x", 7000);
    added.status = "running";  // a caller's status is not taken over
    ASSERT_FALSE(model->add_trigger(added).has_value());
    EXPECT_EQ(trigger_status("x"), "stop");
    PortTrigger renamed = loopback_trigger("y", 7001);
    renamed.protocol = "TCP,UDP";
    renamed.trigger_port_end = "7003";
    renamed.frequence = "2500";
    ASSERT_FALSE(model->edit_trigger("x", renamed).has_value());
    ASSERT_FALSE(model->edit_trigger("b", loopback_trigger("b", 6005)).has_value())
        << "keeping its name";
    ASSERT_FALSE(model->delete_trigger("a").has_value());

    const TriggerTable expected = {loopback_trigger("b", 6005), renamed};
    EXPECT_EQ(model->triggers(), expected);
    EXPECT_EQ(saved_triggers(), expected);
    model.reset();
    start_model();
    EXPECT_EQ(model->triggers(), expected);
}

// Start shows "running" at once; the stop shows "stop" once the threads have ended, and the
// observer hears of that late change too, so a window refreshes without a click.
TEST_F(Triggers, StatusFollowsStartAndStop) {
    CountingObserver observer;
    UdpReceiver receiver;
    start_with_triggers({loopback_trigger("t", receiver.port())});
    model->set_observer(&observer);
    EXPECT_EQ(trigger_status("t"), "stop");

    int calls = observer.calls.load();
    ASSERT_FALSE(model->start_trigger("t").has_value());
    EXPECT_EQ(trigger_status("t"), "running");
    EXPECT_GT(observer.calls.load(), calls) << "the start";
    EXPECT_TRUE(receiver.empty_datagrams(1, std::chrono::seconds(10)) == 1);

    ASSERT_FALSE(model->stop_trigger("t").has_value());
    calls = observer.calls.load();
    EXPECT_TRUE(wait_for([&] { return trigger_status("t") == "stop"; }, std::chrono::seconds(30)));
    EXPECT_TRUE(wait_for([&] { return observer.calls.load() > calls; }))
        << "the threads' late report";
    EXPECT_FALSE(model->delete_trigger("t").has_value()) << "a stopped entry may go";
    model.reset();  // trigger threads end before the observer goes
}

}  // namespace
}  // namespace zk
