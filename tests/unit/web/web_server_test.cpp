// The web server on the wire: the 401 reply, the reply framings, request bodies arriving in
// pieces and in chunks, URL decoding, static files, sessions and the limits.

#include <sys/socket.h>

#include "support/loopback_server.h"
#include "web/request_reader.h"
#include "web_fixture.h"

namespace zk {
namespace {

using test::kGoodCredentials;
using test::split_reply;

constexpr const char* kUnauthorized =
    "HTTP/1.1 401 Authorization Required\r\n"
    "WWW-Authenticate: Basic realm=\"Zelkora Professional\"\r\n"
    "\r\n";

const std::string kPageHeaders =
    "Content-Type: text/html; charset=utf-8\r\nX-Frame-Options: DENY\r\n";

const std::string kFormBody =
    "port.name=web1&port.type=0&port.listen_port=8000&port.listen_port_end=&"
    "port.listen_port_single=0&port.d_ip=127.0.0.1&port.d_port=8080&port.d_port_end=&"
    "port.d_port_single=0&port.max_sessions=12&port.route_incoming_ip=0&method=OK";

class WebServerWire : public test::WebFixture {};

TEST_F(WebServerWire, UnauthorizedReplyByteForByte) {
    start();
    EXPECT_EQ(get("/", ""), kUnauthorized);
    EXPECT_EQ(get("/", "YWRtaW46d3Jvbmc="), kUnauthorized);  // admin:wrong
    EXPECT_EQ(get("/?action=foo", ""), kUnauthorized);       // before the action is looked at
    // The header is taken only as spelled: one space after the colon and after "Basic".
    EXPECT_EQ(exchange("GET / HTTP/1.1\r\nAuthorization:Basic " + std::string(kGoodCredentials) +
                       "\r\n\r\n"),
              kUnauthorized);
}

TEST_F(WebServerWire, ReplyFramings) {
    test::write_file(home.file("image/port.js"), "function check() { return true; }\n");
    start();
    log_in();
    struct Case {
        const char* label;
        std::string reply;
        std::string head_start;  // status line and the headers up to the length's number
    } cases[] = {
        {"browse", get("/?action=browse"),
         "HTTP/1.1 200 OK\r\n" + kPageHeaders + "Content-Length:"},
        {"add form", get("/?action=add"), "HTTP/1.1 200 ok\r\n" + kPageHeaders + "Content-Length:"},
        {"message", post("/?action=newdone&sessionid=424242", kFormBody),
         "HTTP/1.1 200 ok\r\n" + kPageHeaders + "Content-Length:"},
        {"logout", get("/?action=logout&sessionid=1"),
         "HTTP/1.1 200 ok\r\n" + kPageHeaders + "Content-Length: "},
        {"static", get("/image/port.js", ""),
         "HTTP/1.1 200 OK\r\nContent-Type:text/javascript\r\nContent-Length:"},
    };
    for (const Case& c : cases) {
        const test::Reply r = split_reply(c.reply);
        ASSERT_TRUE(r.framed) << c.label << ": " << c.reply;
        EXPECT_EQ(r.head, c.head_start + std::to_string(r.body.size())) << c.label;
    }
    EXPECT_EQ(split_reply(cases[2].reply).body,
              "You have successfully added port mapping web1. Click <a "
              "href=\"/?action=browse&sessionid=424242\">Home</a>");
    EXPECT_EQ(split_reply(cases[3].reply).body,
              "You have successfully logout form Zelkora Professional, please close your "
              "internet browser for security.");
    EXPECT_EQ(split_reply(cases[4].reply).body, "function check() { return true; }\n");
}

TEST_F(WebServerWire, PostBodyInTwoPieces) {
    start();
    log_in();
    const std::size_t half = kFormBody.size() / 2;
    const std::string reply =
        exchange({post_head("/?action=newdone&sessionid=424242", kFormBody.size()) +
                      kFormBody.substr(0, half),
                  kFormBody.substr(half)});
    EXPECT_NE(reply.find("successfully added port mapping web1."), std::string::npos) << reply;
    const ModelSnapshot s = snapshot();
    ASSERT_EQ(s.mappings.size(), 1u);
    EXPECT_EQ(s.mappings[0].max_sessions, "12");  // from the second piece
}

TEST_F(WebServerWire, LengthHeaderForms) {
    start();
    log_in();
    // Lower case is a length too.
    std::string reply = exchange(
        post_head("/?action=newdone&sessionid=424242", kFormBody.size(), "content-length:") +
        kFormBody);
    EXPECT_NE(reply.find("successfully added port mapping web1."), std::string::npos) << reply;
    // Capitals are not: the body is not waited for, so the form arrives empty.
    reply = exchange(
        post_head("/?action=newdone&sessionid=424242", kFormBody.size(), "CONTENT-LENGTH:"));
    EXPECT_NE(reply.find("invalid name, please reenter again!"), std::string::npos) << reply;
    EXPECT_EQ(snapshot().mappings.size(), 1u);
    // A body that cannot fit the buffer: closed without a reply.
    EXPECT_EQ(exchange(post_head("/?action=newdone&sessionid=424242", 200000)), "");
}

TEST_F(WebServerWire, ChunkedBody) {
    start();
    log_in();
    std::string head = "POST /?action=newdone&sessionid=424242 HTTP/1.1\r\nAuthorization: Basic " +
                       std::string(kGoodCredentials) + "\r\nTransfer-Encoding: chunked\r\n\r\n";
    auto chunk = [](const std::string& data) {
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", data.size());
        return size + data + "\r\n";
    };
    const std::size_t third = kFormBody.size() / 3;
    const std::string reply =
        exchange({head + chunk(kFormBody.substr(0, third)), chunk(kFormBody.substr(third, third)),
                  chunk(kFormBody.substr(2 * third)) + "0\r\n\r\n"});
    EXPECT_NE(reply.find("successfully added port mapping web1."), std::string::npos) << reply;
    const ModelSnapshot s = snapshot();
    ASSERT_EQ(s.mappings.size(), 1u);
    EXPECT_EQ(s.mappings[0].destination_port, "8080");
    EXPECT_EQ(s.mappings[0].max_sessions, "12");
}

TEST_F(WebServerWire, UrlDecodingFindsTheMapping) {
    mappings = {test::tcp_mapping("A b", 8000, 80), test::tcp_mapping("G1x", 8001, 80)};
    start();
    struct Case {
        const char* target;
        const char* name;
    } cases[] = {
        {"/?name=%41+b&action=edit&sessionid=1", "A b"},
        {"/?name=%41%20b&action=edit&sessionid=1", "A b"},
        {"/?name=%G1x&action=edit&sessionid=1", "G1x"},
        {"/?name=%471x&action=edit&sessionid=1", "G1x"},
    };
    for (const Case& c : cases) {
        const std::string reply = get(c.target);
        EXPECT_NE(reply.find("name=\"port.name\" id=\"port.name\" maxlength=\"255\" value=\"" +
                             std::string(c.name) + "\" readonly"),
                  std::string::npos)
            << c.target;
    }
    EXPECT_EQ(get("/?name=nobody&action=edit&sessionid=1"), "");
    // The space ends the target: "/?name=A" asks for no action, so no edit form comes.
    EXPECT_EQ(get("/?name=A b&action=edit").find("port.name"), std::string::npos);
}

TEST_F(WebServerWire, ImageRule) {
    test::write_file(home.file("image/a.CSS"), "x");
    test::write_file(home.file("image/README"), "readme");
    mappings = {test::tcp_mapping("image1", 8000, 80)};
    start();
    struct Case {
        const char* target;
        const char* type;  // null: no reply at all
    } cases[] = {
        {"/image/style.css", "text/css"},
        {"/image/a.CSS", "application/octet-stream"},
        {"/image/README", "text/plain"},
        {"/image/missing.css", nullptr},
        {"/image/", nullptr},
        {"/image/../config.xml", nullptr},
        {"/config.xml?image", nullptr},
        {"/?name=image1&action=start&sessionid=1", nullptr},
    };
    for (const Case& c : cases) {
        const std::string reply = get(c.target, "");  // static files need no credentials
        if (c.type == nullptr) {
            EXPECT_EQ(reply, "") << c.target;
        } else {
            EXPECT_EQ(
                reply.rfind("HTTP/1.1 200 OK\r\nContent-Type:" + std::string(c.type) + "\r\n", 0),
                0u)
                << c.target << ": " << reply;
        }
    }
    EXPECT_EQ(cell(snapshot().rows[0], ListColumn::status),
              "stop");  // the start link of image1 reached no action
}

TEST_F(WebServerWire, UnknownActionAndTargetsWithoutAction) {
    start();
    EXPECT_EQ(get("/?action=foo"), "");
    EXPECT_EQ(get("/?action=foo&sessionid=1"), "");
    const test::Reply favicon = split_reply(get("/favicon.ico"));
    EXPECT_EQ(favicon.head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_NE(favicon.body.find("Your Location:"), std::string::npos);
}

TEST_F(WebServerWire, SessionsLoginReuseLogout) {
    start();
    const std::string login = get("/");
    EXPECT_NE(login.find("/?action=logout&amp;sessionid=424242\">Logout</a> | User Name:admin"),
              std::string::npos)
        << login;
    EXPECT_EQ(server->sessions().size(), 1u);
    // The session id alone is enough.
    EXPECT_EQ(
        split_reply(get("/?action=browse&sessionid=424242", "")).head.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_EQ(get("/?action=browse&sessionid=424243", ""), kUnauthorized);

    // A second login that draws the same id: both entries stay, and logout removes both.
    get("/");
    EXPECT_EQ(server->sessions().size(), 2u);
    EXPECT_NE(get("/?action=logout&sessionid=424242", "").find("successfully logout"),
              std::string::npos);
    EXPECT_EQ(server->sessions().size(), 0u);
    EXPECT_EQ(get("/?action=browse&sessionid=424242", ""), kUnauthorized);

    // A browser that still sends its credentials gets a new session.
    next_id = 777;
    EXPECT_NE(get("/?action=browse&sessionid=424242").find("sessionid=777"), std::string::npos);
}

TEST_F(WebServerWire, SessionExpiresOneHundredTwentySecondsAfterLogin) {
    start();
    get("/");
    now = test::kStartTime + 119;
    EXPECT_EQ(split_reply(get("/?sessionid=424242", "")).head.rfind("HTTP/1.1 200 OK", 0), 0u);
    now = test::kStartTime + 120;
    EXPECT_EQ(get("/?sessionid=424242", ""), kUnauthorized);
    // The listener's sweep drops it from the table as well.
    EXPECT_TRUE(test::wait_for([&] { return server->sessions().size() == 0; }));
}

TEST_F(WebServerWire, SessionIdsAreRandomByDefault) {
    start({.program_dir = "", .clock = {}, .session_ids = random_session_id});
    const std::string first = get("/");
    const std::string second = get("/");
    auto id_of = [](const std::string& page) {
        const std::size_t at = page.find("action=logout&amp;sessionid=");
        return at == std::string::npos ? std::string() : page.substr(at + 28, 10);
    };
    EXPECT_NE(id_of(first), "");
    EXPECT_NE(id_of(first), id_of(second));
}

TEST_F(WebServerWire, NoProtectionNoChallenge) {
    settings.protect = "0";
    start();
    // No credentials, but still a session: it is what ties a change to a page we served.
    const std::string page = get("/", "");
    EXPECT_NE(page.find("/?action=logout&amp;sessionid=424242\">Logout</a> | User Name:</div>"),
              std::string::npos)
        << page;
    EXPECT_EQ(get("/?action=add&sessionid=5", "").rfind("HTTP/1.1 200 ok", 0), 0u);
    EXPECT_EQ(server->sessions().size(), 2u);
    EXPECT_EQ(get("/?action=browse&sessionid=424242", "").find("401"), std::string::npos);
}

TEST_F(WebServerWire, OverlongPartsAreRefusedWithoutReply) {
    start();
    const std::string long_target = "/?action=browse&x=" + std::string(1100, 'a');
    EXPECT_EQ(get(long_target), "");
    EXPECT_EQ(get("/", std::string(1100, 'Y')), "");
    EXPECT_EQ(get("/?name=" + std::string(256, 'n') + "&action=edit"), "");
    EXPECT_EQ(exchange("GET / HTTP/1.1\r\nX-Filler: " + std::string(kRequestCapacity, 'f')), "");
    EXPECT_EQ(exchange("GARBAGE\r\n\r\n"), "");
}

TEST_F(WebServerWire, SilenceEndsTheRequest) {
    start({.program_dir = "", .clock = {}, .session_ids = {}, .read_wait_us = 200'000});
    test::ScopedFd sock(connect_client());
    const std::string partial = "GET / HTTP/1.1\r\n";
    ::send(sock.get(), partial.data(), partial.size(), MSG_NOSIGNAL);
    EXPECT_EQ(read_to_end(sock.get()), "");
}

TEST_F(WebServerWire, ListenFailureIsReported) {
    start();
    WebServer second(*model, sink, {.program_dir = home.dir()});
    const std::string port = std::to_string(server->port());
    EXPECT_FALSE(second.start(port));
    EXPECT_FALSE(second.start("http"));
    const auto messages = sink.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "listen on port " + port + " error!");
    EXPECT_EQ(messages[1], "listen on port http error!");
}

TEST_F(WebServerWire, StartsWithTheProgramOnlyWhenEnabled) {
    const int port = test::free_port();
    settings.web_listen_port = std::to_string(port);
    settings.enable_web = "0";
    start();
    server.reset();
    EXPECT_EQ(start_web_interface(*model, sink, {.program_dir = home.dir()}), nullptr);

    settings.enable_web = "1";
    start();
    server.reset();
    auto web = start_web_interface(*model, sink, {.program_dir = home.dir()});
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->port(), port);
    EXPECT_TRUE(sink.messages().empty());
}

}  // namespace
}  // namespace zk
