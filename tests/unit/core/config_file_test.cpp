#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/config_file.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace zk {
namespace {

using test::read_file;
using test::RecordingSink;
using test::TempDir;
using test::write_file;

const std::string kFixture = ZK_SOURCE_DIR "/tests/unit/core/fixtures/two_mappings.xml";

// The tables that two_mappings.xml holds.
struct Tables {
    AppSettings settings;
    MappingTable mappings;
    TriggerTable triggers;
};

Tables fixture_tables() {
    Tables t;
    t.settings = {FixedText<5>("1"),       FixedText<5>("1"),        FixedText<5>("0"),
                  FixedText<5>("1"),       FixedText<25>("8080"),    FixedText<5>("1"),
                  FixedText<100>("admin"), FixedText<100>("secret"), FixedText<5>("1"),
                  FixedText<5>("0")};
    PortMapping a{};
    a.name = "A";
    a.type = "TCP";
    a.listen_port_type = "0";
    a.listen_port = "8080";
    a.listen_port_end = "0";
    a.destination_ip = "127.0.0.1";
    a.destination_port_type = "0";
    a.destination_port = "80";
    a.destination_port_end = "0";
    a.enable_log = "0";
    a.enable_ip_strategy = "1";
    a.auto_start = "Y";
    a.http_proxy = "N";
    a.ssl_enable = "N";
    a.enable_smart = "0";
    a.smart_strategy = "0";
    a.allow_ip.push_back({FixedText<50>("127.0.0.1"), FixedText<50>("127.0.0.9")});

    PortMapping b = a;
    b.allow_ip.clear();
    b.name = "B";
    b.type = "UDP";
    b.listen_port_type = "1";
    b.listen_port = "5000";
    b.listen_port_end = "5002";
    b.destination_ip = "enable smart route";
    b.destination_port_type = "1";
    b.destination_port = "0";
    b.max_sessions = "10";
    b.enable_log = "1";
    b.log_file = "/var/log/b.log";
    b.enable_ip_strategy = "0";
    b.auto_start = "N";
    b.enable_smart = "1";
    b.smart_ip_range.push_back({FixedText<50>("127.0.0.2"), FixedText<50>("127.0.0.2"),
                                FixedText<255>("127.0.0.1"), FixedText<20>("6000")});
    b.smart_ip_range.push_back({FixedText<50>("127.0.0.3"), FixedText<50>("127.0.0.5"),
                                FixedText<255>("localhost"), FixedText<20>("6001")});
    t.mappings = {a, b};

    PortTrigger trigger{};
    trigger.name = "T";
    trigger.status = "stop";
    trigger.auto_start = "Y";
    trigger.protocol = "TCP,UDP";
    trigger.trigger_address = "127.0.0.1";
    trigger.trigger_port = "6000";
    trigger.trigger_port_end = "6002";
    trigger.frequence = "1000";
    t.triggers = {trigger};
    return t;
}

Tables load(const std::string& path, RecordingSink& sink) {
    Tables t;
    load_configuration(path, t.settings, t.mappings, sink);
    load_triggers(path, t.triggers, sink);
    return t;
}

TEST(ConfigFile, WritesTheExactLayoutAndReadsItBack) {
    const Tables expected = fixture_tables();
    EXPECT_EQ(configuration_text(expected.settings, expected.mappings, expected.triggers),
              read_file(kFixture));

    TempDir dir;
    const std::string path = dir.file("config.xml");
    ASSERT_EQ(save_configuration(path, expected.settings, expected.mappings, expected.triggers), 0);
    EXPECT_EQ(read_file(path), read_file(kFixture));

    RecordingSink sink;
    const Tables loaded = load(path, sink);
    EXPECT_TRUE(sink.messages().empty());
    EXPECT_EQ(loaded.settings, expected.settings);
    EXPECT_EQ(loaded.mappings, expected.mappings);
    EXPECT_EQ(loaded.triggers, expected.triggers);
}

// One mapping element with the given attributes (all required ones unless removed).
std::string mapping_element(const std::string& name, const std::string& drop = "",
                            const std::string& tag = "mapping") {
    std::string attrs;
    for (const char* a : {"type", "listen_port", "destination_ip", "destination_port",
                          "max_sessions", "enable_log", "enable_ip_strategy", "log_file"}) {
        if (drop != a) attrs += std::string(a) + "=\"1\" ";
    }
    return "<" + tag + " name=\"" + name + "\" " + attrs +
           "><allow_ip/><block_ip/><smart_ip_range/><smart_round_robin/></" + tag + ">";
}

std::string document(const std::string& root_attributes, const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<mappings " + root_attributes + ">" +
           body + "</mappings>\r\n";
}

const std::string kTrigger =
    "<triggering name=\"T\" auto_start=\"N\" protocol=\"UDP\" trigger_address=\"127.0.0.1\" "
    "trigger_port=\"7000\" trigger_port_end=\"7000\" frequence=\"10\" ></triggering>";

TEST(ConfigFile, MissingAttributesTakeTheirDefaults) {
    TempDir dir;
    write_file(dir.file("c.xml"), document("web_listen_port=\"\"", mapping_element("m")));
    RecordingSink sink;
    Tables t = load(dir.file("c.xml"), sink);
    EXPECT_TRUE(sink.messages().empty());
    ASSERT_EQ(t.mappings.size(), 1u);
    const PortMapping& m = t.mappings[0];
    EXPECT_EQ(m.auto_start.view(), "N");
    EXPECT_EQ(m.listen_port_type.view(), "0");
    EXPECT_EQ(m.listen_port_end.view(), "0");
    EXPECT_EQ(m.ssl_enable.view(), "N");
    EXPECT_EQ(m.smart_strategy.view(), "0");
    EXPECT_EQ(t.settings.web_listen_port.view(), "") << "an empty attribute is not a missing one";
    EXPECT_EQ(t.settings.auto_startup.view(), "1");
    EXPECT_EQ(t.settings.enable_web.view(), "0");
    EXPECT_TRUE(t.settings.user_name.empty());

    write_file(dir.file("d.xml"), document("", ""));
    t = load(dir.file("d.xml"), sink);
    EXPECT_EQ(t.settings.web_listen_port.view(), "80");
    EXPECT_TRUE(t.mappings.empty());
}

TEST(ConfigFile, InvalidMappingKeepsEarlierOnesAndTheTriggers) {
    TempDir dir;
    write_file(dir.file("c.xml"),
               document("", mapping_element("first") + mapping_element("Skipped", "", "Mapping") +
                                mapping_element("broken", "max_sessions") +
                                mapping_element("later") + kTrigger));
    RecordingSink sink;
    const Tables t = load(dir.file("c.xml"), sink);
    EXPECT_EQ(sink.messages(), std::vector<std::string>{"invalid config file!"});
    EXPECT_EQ(sink.titles(), std::vector<std::string>{"ERROR!"});
    ASSERT_EQ(t.mappings.size(), 1u);
    EXPECT_EQ(t.mappings[0].name.view(), "first");
    ASSERT_EQ(t.triggers.size(), 1u) << "triggers are parsed on their own";
    EXPECT_EQ(t.triggers[0].status.view(), "stop");
}

TEST(ConfigFile, FaultsThatMakeTheFileInvalid) {
    struct Case {
        const char* label;
        std::string text;
        std::size_t messages;  // from both loaders together
    };
    const std::string no_allow =
        "<mapping name=\"x\" type=\"TCP\" listen_port=\"1\" "
        "destination_ip=\"a\" destination_port=\"1\" max_sessions=\"\" "
        "enable_log=\"0\" enable_ip_strategy=\"0\" log_file=\"\" >"
        "<block_ip/></mapping>";
    const std::string bad_ip = mapping_element("x").replace(
        mapping_element("x").find("<allow_ip/>"), 11, "<allow_ip><ip start=\"1\"/></allow_ip>");
    const std::string bad_trigger = "<triggering name=\"T\" ></triggering>";
    const Case cases[] = {
        {"empty file", "", 2},
        {"not well-formed", "<mappings><mapping", 2},
        {"wrong root", "<mapping></mapping>", 2},
        {"missing allow_ip", document("", no_allow), 1},
        {"ip without end", document("", bad_ip), 1},
        {"trigger without attributes", document("", kTrigger + bad_trigger), 1},
    };
    for (const Case& c : cases) {
        TempDir dir;
        write_file(dir.file("c.xml"), c.text);
        RecordingSink sink;
        const Tables t = load(dir.file("c.xml"), sink);
        EXPECT_EQ(sink.messages().size(), c.messages) << c.label;
        EXPECT_TRUE(t.mappings.empty()) << c.label;
    }
}

TEST(ConfigFile, MissingFileLeavesSettingsEmptyAndExitCreatesIt) {
    TempDir dir;
    RecordingSink sink;
    const Tables t = load(dir.file("config.xml"), sink);
    EXPECT_EQ(sink.messages().size(), 2u);
    EXPECT_EQ(t.settings, AppSettings{});
    ASSERT_EQ(save_configuration(dir.file("config.xml"), t.settings, t.mappings, t.triggers), 0);
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("config.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the file holds the web password";
}

// Every field comes back as long as its record holds it: a name saved is the name read back.
TEST(ConfigFile, LongValuesComeBackWhole) {
    Tables t = fixture_tables();
    const std::string long_path(1023, 'p');
    t.mappings[0].log_file = long_path;
    t.mappings[0].name = std::string(255, 'n');
    t.settings.password = std::string(99, 'w');
    TempDir dir;
    ASSERT_EQ(save_configuration(dir.file("c.xml"), t.settings, t.mappings, t.triggers), 0);
    EXPECT_NE(read_file(dir.file("c.xml")).find(long_path), std::string::npos);
    RecordingSink sink;
    const Tables loaded = load(dir.file("c.xml"), sink);
    EXPECT_EQ(loaded.mappings[0].log_file.view(), long_path);
    EXPECT_EQ(loaded.mappings[0].name.view(), std::string(255, 'n'));
    EXPECT_EQ(loaded.settings.password.view(), std::string(99, 'w'));
}

TEST(ConfigFile, SpecialCharactersAndHighBytesSurviveTwoCycles) {
    Tables t = fixture_tables();
    t.mappings[0].name = "a \"quoted\" <name> & more";
    t.mappings[1].log_file = "/srv/caf\xE9/\xFF\x80.log";
    t.settings.password = "p&ss<w>rd\"\t";
    t.triggers[0].trigger_address = "line\nbreak\r";
    TempDir dir;
    const std::string path = dir.file("c.xml");
    ASSERT_EQ(save_configuration(path, t.settings, t.mappings, t.triggers), 0);
    for (int cycle = 0; cycle < 2; ++cycle) {
        RecordingSink sink;
        const Tables loaded = load(path, sink);
        EXPECT_TRUE(sink.messages().empty());
        EXPECT_EQ(loaded.mappings, t.mappings) << "cycle " << cycle;
        EXPECT_EQ(loaded.settings, t.settings) << "cycle " << cycle;
        EXPECT_EQ(loaded.triggers, t.triggers) << "cycle " << cycle;
        ASSERT_EQ(save_configuration(path, loaded.settings, loaded.mappings, loaded.triggers), 0);
    }
}

TEST(ConfigFile, ControlBytesAreLeftOutRatherThanBreakingTheFile) {
    Tables t = fixture_tables();
    t.mappings[0].name =
        "a\x01"
        "b";
    TempDir dir;
    ASSERT_EQ(save_configuration(dir.file("c.xml"), t.settings, t.mappings, t.triggers), 0);
    RecordingSink sink;
    const Tables loaded = load(dir.file("c.xml"), sink);
    EXPECT_TRUE(sink.messages().empty());
    ASSERT_EQ(loaded.mappings.size(), 2u);
    EXPECT_EQ(loaded.mappings[0].name.view(), "ab");
}

TEST(ConfigFile, FailedSaveLeavesTheOldFileWhole) {
    const Tables t = fixture_tables();
    EXPECT_EQ(save_configuration("/nonexistent-dir/config.xml", t.settings, t.mappings, t.triggers),
              ENOENT);
    TempDir dir;
    const std::string path = dir.file("config.xml");
    write_file(path, "old contents");
    std::filesystem::create_directory(path + ".tmp");  // the temporary cannot be created
    EXPECT_NE(save_configuration(path, t.settings, t.mappings, t.triggers), 0);
    EXPECT_EQ(read_file(path), "old contents");
}

// The file and its temporary hold the web password: whatever modes older copies had, a save
// leaves only a private config.xml, and a temporary left by a killed save can be removed.
TEST(ConfigFile, SaveIsPrivateAndLeavesNoTemporary) {
    const Tables t = fixture_tables();
    TempDir dir;
    const std::string path = dir.file("config.xml");
    write_file(path, "old contents");
    write_file(path + ".tmp", "stale half-written save");
    ::chmod(path.c_str(), 0644);
    ::chmod((path + ".tmp").c_str(), 0666);
    ASSERT_EQ(save_configuration(path, t.settings, t.mappings, t.triggers), 0);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    RecordingSink sink;
    EXPECT_EQ(load(path, sink).mappings, t.mappings);

    write_file(path + ".tmp", "stale");
    remove_stale_temporary(path);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    EXPECT_TRUE(std::filesystem::exists(path));
}

// A hand-edited name with a line break could forge log lines: the file counts as invalid
// there, and what came before it stays.
TEST(ConfigFile, NameWithControlCharacterMakesTheFileInvalid) {
    Tables t = fixture_tables();
    TempDir dir;
    const std::string path = dir.file("config.xml");
    ASSERT_EQ(save_configuration(path, t.settings, t.mappings, t.triggers), 0);
    std::string text = read_file(path);
    text.replace(text.find("name=\"B\""), 8, "name=\"B&#10;x\"");
    write_file(path, text);
    RecordingSink sink;
    const Tables loaded = load(path, sink);
    EXPECT_EQ(sink.messages().size(), 1u);
    ASSERT_EQ(loaded.mappings.size(), 1u);
    EXPECT_EQ(loaded.mappings[0].name.view(), "A");
}

}  // namespace
}  // namespace zk
