// What a stranger can make the web server hold: connections, time per request, login attempts.

#include <dirent.h>
#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/loopback_server.h"
#include "support/open_descriptors.h"
#include "web/login_throttle.h"
#include "web_fixture.h"

namespace zk {
namespace {

using test::kSid;
using test::open_descriptors;
using test::split_reply;

// True when the server closed the connection (end of stream), as opposed to still holding it.
bool closed_by_server(int sock) {
    char byte = 0;
    return ::recv(sock, &byte, 1, 0) == 0;
}

class WebLimits : public test::WebFixture {};

TEST_F(WebLimits, SlowClientsCannotCrowdOutABrowserOrTheDescriptors) {
    start();
    const int before = open_descriptors();
    constexpr int kSlowClients = 300;
    std::vector<test::ScopedFd> slow;
    for (int i = 0; i < kSlowClients; ++i) {
        slow.emplace_back(connect_client());
        ASSERT_GT(slow.back().get(), 0) << "client " << i;
        ::send(slow.back().get(), "G", 1, MSG_NOSIGNAL);
    }
    for (const char byte : std::string("ET /")) {
        for (const test::ScopedFd& s : slow)
            ::send(s.get(), &byte, 1, MSG_NOSIGNAL);
    }
    const std::size_t bound = kWebConnectionLimit + kWebCutSlack;
    EXPECT_TRUE(test::wait_for([&] { return server->connection_count() <= bound; }))
        << server->connection_count();
    // Cut connections end as their threads wake; a newcomer is refused while too many are still
    // ending, which on a loaded machine (sanitizers, two cores) can take a moment.
    EXPECT_TRUE(test::wait_for([&] { return server->connection_count() <= kWebConnectionLimit; }))
        << server->connection_count();
    // The server side holds at most the bound beyond our own client descriptors.
    EXPECT_LE(open_descriptors(), before + kSlowClients + static_cast<int>(bound) + 4);
    const std::string page = get("/");
    EXPECT_EQ(page.rfind("HTTP/1.1 200 OK", 0), 0u) << page;
    EXPECT_GE(server->connection_count(), kWebConnectionLimit - 1);  // the slow ones are held
    slow.clear();
    EXPECT_TRUE(test::wait_for([&] { return server->connection_count() == 0; }));
}

TEST_F(WebLimits, ConnectionsBeyondTheLimitAreClosedAtOnce) {
    mappings = {test::tcp_mapping("m", test::free_port(), 80)};
    std::mutex lock;
    std::condition_variable released;
    bool release = false;
    std::atomic<int> held{0};
    WebServerOptions options;
    options.max_connections = 2;
    options.hooks.begin = [&](int) {
        std::unique_lock guard(lock);
        ++held;
        released.wait_for(guard, std::chrono::seconds(20), [&] { return release; });
    };
    start(std::move(options));
    log_in();
    const std::string start_request = std::string("GET /?name=m&action=start&sessionid=") + kSid +
                                      " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    test::ScopedFd first(connect_client());
    test::ScopedFd second(connect_client());
    for (const int sock : {first.get(), second.get()})
        ::send(sock, start_request.data(), start_request.size(), MSG_NOSIGNAL);
    ASSERT_TRUE(test::wait_for([&] { return held.load() == 2; }));

    test::ScopedFd third(connect_client());
    EXPECT_TRUE(closed_by_server(third.get()));
    {
        std::lock_guard guard(lock);
        release = true;
    }
    released.notify_all();
    EXPECT_NE(read_to_end(first.get()).find("successfully started"), std::string::npos);
    EXPECT_NE(read_to_end(second.get()).find("successfully started"), std::string::npos);
    // Once the two are done, the next connection is served again.
    ASSERT_TRUE(test::wait_for([&] { return server->connection_count() == 0; }));
    EXPECT_NE(
        get(std::string("/?name=m&action=stop&sessionid=") + kSid).find("successfully stopped"),
        std::string::npos);
}

TEST_F(WebLimits, AWholeRequestHasADeadline) {
    WebServerOptions options;
    options.request_deadline = std::chrono::milliseconds(300);  // each byte may still take 30 s
    start(std::move(options));
    test::ScopedFd sock(connect_client());
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        const std::string text = "GET / HTTP/1.1\r\nX-Slow: " + std::string(400, 'a');
        for (std::size_t i = 0; i < text.size() && !stop; ++i) {
            if (::send(sock.get(), &text[i], 1, MSG_NOSIGNAL) != 1) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    ASSERT_TRUE(test::wait_for([&] { return server->connection_count() == 1; }));
    EXPECT_TRUE(
        test::wait_for([&] { return server->connection_count() == 0; }, std::chrono::seconds(6)));
    stop = true;
    trickle.join();
    EXPECT_EQ(read_to_end(sock.get()), "");
    // A request that arrives in time is answered.
    EXPECT_EQ(get("/").rfind("HTTP/1.1 200 OK", 0), 0u);
}

TEST_F(WebLimits, FailedLoginsFromOneAddressAreSlowedDown) {
    start();
    auto attempt = [&](const char* from, const std::string& credentials) {
        return split_reply(exchange_from(from,
                                         "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                         "Authorization: Basic " +
                                             credentials + "\r\n\r\n"))
            .head.substr(0, 12);
    };
    const std::string wrong = "YWRtaW46d3Jvbmc=";  // admin:wrong
    for (int i = 0; i < kFreeFailures + 1; ++i) {
        EXPECT_EQ(attempt("127.0.0.2", wrong), "HTTP/1.1 401") << "failure " << i + 1;
    }
    // Now even the right credentials wait; another address is not affected.
    EXPECT_EQ(attempt("127.0.0.2", test::kGoodCredentials), "HTTP/1.1 429");
    EXPECT_EQ(attempt("127.0.0.3", test::kGoodCredentials), "HTTP/1.1 200");
    now += 1;
    EXPECT_EQ(attempt("127.0.0.2", wrong), "HTTP/1.1 401");  // the wait doubles: 2 s
    now += 1;
    EXPECT_EQ(attempt("127.0.0.2", test::kGoodCredentials), "HTTP/1.1 429");
    now += 1;
    EXPECT_EQ(attempt("127.0.0.2", test::kGoodCredentials), "HTTP/1.1 200");
    EXPECT_EQ(attempt("127.0.0.2", wrong), "HTTP/1.1 401");  // a success starts afresh
}

TEST(LoginThrottle, TableIsBounded) {
    std::int64_t now = 100;
    LoginThrottle throttle([&] { return now; }, 3);
    for (std::uint32_t address = 1; address <= 5; ++address) {
        ++now;
        throttle.failed(address);
    }
    EXPECT_EQ(throttle.size(), 3u);
    for (int i = 0; i < kFreeFailures + 1; ++i)
        throttle.failed(5);
    EXPECT_GT(throttle.wait_seconds(5), 0);  // the newest entries stay
    EXPECT_EQ(throttle.wait_seconds(1), 0);
    now += kForgetSeconds + 1;
    EXPECT_EQ(throttle.wait_seconds(5), 0);
}

}  // namespace
}  // namespace zk
