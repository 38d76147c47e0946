// What may change the mappings, and who is answered at all: session ids from our pages, POST for
// forms, no foreign Origin or Referer, the Host allow-list, empty credentials; the page headers;
// names with "&" in them.

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "support/loopback_server.h"
#include "web/host_check.h"
#include "web/web_auth.h"
#include "web_fixture.h"

namespace zk {
namespace {

using test::kGoodCredentials;
using test::kSid;
using test::split_reply;

class WebGuard : public test::WebFixture {
protected:
    std::string host() const { return "127.0.0.1:" + std::to_string(server->port()); }

    // A request as a browser sends it: Host, the cached credentials, `headers`, the body.
    std::string send(const std::string& method, const std::string& target,
                     const std::string& headers = "", const std::string& body = "") const {
        std::string r = method + " " + target + " HTTP/1.1\r\nHost: " + host() +
                        "\r\nAuthorization: Basic " + kGoodCredentials + "\r\n" + headers;
        if (method == "POST") r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        return exchange(r + "\r\n" + body);
    }

    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const ListRow& row : snapshot().rows)
            out.push_back(row[0]);
        return out;
    }
};

bool refused(const std::string& reply) {
    const test::Reply r = split_reply(reply);
    return r.head.rfind("HTTP/1.1 403 Forbidden\r\n", 0) == 0 &&
           r.head.find("Content-Type: text/html; charset=utf-8") != std::string::npos &&
           r.body.find("nothing was changed") != std::string::npos;
}

TEST_F(WebGuard, ChangesNeedASessionFromOurPagesAndNoForeignSource) {
    mappings = {test::tcp_mapping("m", test::free_port(), 80)};
    start();
    log_in();
    const std::string sid = std::string("&sessionid=") + kSid;
    const std::string form =
        "port.name=new&port.listen_port=7000&port.d_ip=127.0.0.1&port.d_port=1";
    struct Case {
        const char* label;
        std::string method, target, headers;
    } cases[] = {
        {"delete without session id", "GET", "/?name=m&action=delete", ""},
        {"delete with a stale id", "GET", "/?name=m&action=delete&sessionid=999", ""},
        {"start with a session opened by its own credentials", "GET",
         "/?name=m&action=start&sessionid=", ""},
        {"newdone by GET", "GET", "/?action=newdone" + sid, ""},
        {"newdone from a foreign Origin", "POST", "/?action=newdone" + sid,
         "Origin: http://evil.example\r\n"},
        {"newdone from an opaque Origin", "POST", "/?action=newdone" + sid, "Origin: null\r\n"},
        {"newdone from our host on another port", "POST", "/?action=newdone" + sid,
         "Origin: http://127.0.0.1:1\r\n"},
        {"delete with a foreign Referer", "GET", "/?name=m&action=delete" + sid,
         "Referer: http://evil.example/page.html\r\n"},
        {"stop with a foreign Referer", "GET", "/?name=m&action=stop" + sid,
         "Referer: http://127.0.0.2:" + std::to_string(server->port()) + "/\r\n"},
    };
    for (const Case& c : cases) {
        const std::string reply = send(c.method, c.target, c.headers, form);
        EXPECT_TRUE(refused(reply)) << c.label << ": " << reply;
        ASSERT_EQ(names(), std::vector<std::string>{"m"}) << c.label;
        EXPECT_EQ(cell(snapshot().rows[0], ListColumn::status), "stop") << c.label;
    }
    // The refusal links back with a usable session.
    EXPECT_NE(send("GET", "/?name=m&action=delete").find("sessionid="), std::string::npos);

    // Positive controls: the same actions as our own pages send them.
    const std::string ours = "Origin: http://" + host() + "\r\nReferer: http://" + host() +
                             "/?action=add" + sid + "\r\n";
    EXPECT_NE(send("POST", "/?action=newdone" + sid, ours, form).find("successfully added"),
              std::string::npos);
    EXPECT_NE(send("GET", "/?name=m&action=delete" + sid, "Referer: http://" + host() + "/\r\n")
                  .find("successfully deleted"),
              std::string::npos);
    EXPECT_EQ(names(), std::vector<std::string>{"new"});
}

TEST_F(WebGuard, WithoutProtectionChangesStillNeedOurSession) {
    settings.protect = "0";
    mappings = {test::tcp_mapping("m", test::free_port(), 80)};
    start();
    EXPECT_TRUE(refused(get("/?name=m&action=delete&sessionid=0", "")));
    EXPECT_TRUE(refused(get("/?name=m&action=delete", "")));
    EXPECT_EQ(names(), std::vector<std::string>{"m"});
    const std::string page = get("/", "");
    EXPECT_NE(page.find(std::string("sessionid=") + kSid), std::string::npos) << page;
    EXPECT_NE(get(std::string("/?name=m&action=delete&sessionid=") + kSid, "")
                  .find("successfully deleted"),
              std::string::npos);
    EXPECT_TRUE(names().empty());
}

TEST_F(WebGuard, HostAllowList) {
    char machine[HOST_NAME_MAX + 1] = {};
    ASSERT_EQ(::gethostname(machine, sizeof machine - 1), 0);
    ::setenv(kWebHostsVariable, "extra.test, other.test", 1);
    settings.protect = "0";  // the Host rule holds without protection too
    start();
    ::unsetenv(kWebHostsVariable);
    struct Case {
        std::string host;
        bool allowed;
    } cases[] = {
        {"127.0.0.1", true},
        {"127.0.0.1:8080", true},
        {"[::1]", true},
        {"[::1]:80", true},
        {"localhost", true},
        {"LocalHost:1", true},
        {machine, true},
        {"extra.test", true},
        {"OTHER.test:9", true},
        {"evil.example", false},
        {"127.0.0.1.evil.example", false},
        {"", false},
        {"[::1", false},
        {"localhost:http", false},
        {"[localhost]", false},
        {"extra.test.evil", false},
    };
    for (const Case& c : cases) {
        for (const char* target : {"/", "/image/style.css"}) {
            const std::string reply = exchange(std::string("GET ") + target +
                                               " HTTP/1.1\r\nHost: " + c.host + "\r\n\r\n");
            if (c.allowed) {
                EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << c.host << " " << target;
            } else {
                EXPECT_EQ(reply.rfind("HTTP/1.1 403 Forbidden\r\n", 0), 0u)
                    << c.host << " " << target << ": " << reply;
            }
        }
    }
    // HTTP/1.0 without a Host header.
    EXPECT_EQ(exchange("GET / HTTP/1.0\r\n\r\n").rfind("HTTP/1.1 200 OK", 0), 0u);
}

TEST_F(WebGuard, EmptyCredentialsLetNobodyIn) {
    start();  // positive control: with both set, nothing is said and a login works
    EXPECT_TRUE(sink.messages().empty());
    EXPECT_EQ(get("/").rfind("HTTP/1.1 200 OK", 0), 0u);
    struct Case {
        const char* user;
        const char* password;
    } cases[] = {{"", "secret"}, {"admin", ""}, {"", ""}};
    for (const Case& c : cases) {
        server.reset();
        settings.user_name = c.user;
        settings.password = c.password;
        start();
        const auto messages = sink.messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(),
                  "web interface: protection is on but the user name or password is empty, so "
                  "no login can succeed")
            << "user \"" << c.user << "\"";
        EXPECT_EQ(get("/", basic_credentials(c.user, c.password)).rfind("HTTP/1.1 401", 0), 0u)
            << "user \"" << c.user << "\" password \"" << c.password << "\"";
        EXPECT_EQ(server->sessions().size(), 0u);
    }
}

TEST_F(WebGuard, NamesWithAmpersandsRoundTrip) {
    const int listen_port = test::free_port();
    start();
    log_in();
    const std::string sid = std::string("&sessionid=") + kSid;
    const std::string added =
        post("/?action=newdone" + sid,
             "port.name=a%26b&port.listen_port=" + std::to_string(listen_port) +
                 "&port.listen_port_single=0&port.d_ip=127.0.0.1&port.d_port=9");
    EXPECT_NE(added.find("successfully added port mapping a&amp;b."), std::string::npos) << added;
    ASSERT_EQ(names(), std::vector<std::string>{"a&b"});
    const std::string browse = get("/?action=browse" + sid);
    EXPECT_NE(browse.find("/?name=a%26b&amp;action=start"), std::string::npos) << browse;

    EXPECT_NE(get("/?name=a%26b&action=start" + sid).find("successfully started"),
              std::string::npos);
    EXPECT_TRUE(
        test::wait_for([&] { return cell(snapshot().rows[0], ListColumn::status) == "running"; }));
    EXPECT_NE(get("/?name=a%26b&action=stop" + sid).find("successfully stopped"),
              std::string::npos);
    EXPECT_NE(get("/?name=a%26b&action=edit" + sid).find("value=\"a&amp;b\" readonly"),
              std::string::npos);
    EXPECT_NE(post("/?name=a%26b&action=updatedone" + sid,
                   "port.name=a%26b&port.listen_port=" + std::to_string(listen_port) +
                       "&port.d_ip=127.0.0.1&port.d_port=10")
                  .find("successfully edited port mapping a&amp;b."),
              std::string::npos);
    EXPECT_EQ(snapshot().mappings[0].destination_port, "10");
    // An edit form may not rename the mapping it edits.
    const std::string renamed = post("/?name=a%26b&action=updatedone" + sid,
                                     "port.name=c&port.listen_port=1&port.d_ip=h&port.d_port=2");
    EXPECT_NE(renamed.find("cannot be changed"), std::string::npos) << renamed;
    EXPECT_EQ(names(), std::vector<std::string>{"a&b"});
    EXPECT_NE(get("/?name=a%26b&action=delete" + sid).find("successfully deleted"),
              std::string::npos);
    EXPECT_TRUE(names().empty());
}

}  // namespace
}  // namespace zk
