#pragma once
// A web server on a loopback port over a real app model in a fresh program directory, and a raw
// client: every test speaks bytes on a socket, as a browser would.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/app_model.h"
#include "core/config_file.h"
#include "support/fast_timings.h"
#include "support/loopback_server.h"
#include "support/mapping_builder.h"
#include "support/recording_sink.h"
#include "support/silent_alert.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "web/web_server.h"

namespace zk::test {

// "admin:secret" in Base64, as a browser sends it.
inline constexpr const char* kGoodCredentials = "YWRtaW46c2VjcmV0";
// The id the fixture's sessions draw, as our pages carry it.
inline constexpr const char* kSid = "424242";
inline constexpr std::int64_t kStartTime = 1'700'000'000;

struct Reply {
    std::string head;  // status line and headers, without the blank line
    std::string body;
    bool framed = false;  // a blank line was there
};

inline Reply split_reply(const std::string& bytes) {
    const std::size_t blank = bytes.find("\r\n\r\n");
    if (blank == std::string::npos) return {bytes, "", false};
    return {bytes.substr(0, blank), bytes.substr(blank + 4), true};
}

class WebFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(home.dir() + "image");
        std::filesystem::create_directories(home.dir() + "log");
        write_file(home.file("image/style.css"), "body{}");
        settings.protect = "1";
        settings.user_name = "admin";
        settings.password = "secret";
        settings.enable_web = "1";
        settings.web_listen_port = "0";
    }

    void TearDown() override {
        server.reset();
        model.reset();
    }

    // Writes config.xml with `settings` and `mappings`, loads it and starts the server.
    void start(WebServerOptions options = {}) {
        ASSERT_EQ(save_configuration(home.file("config.xml"), settings, mappings, {}), 0);
        model = std::make_unique<AppModel>(home.dir(), sink, alert, fast_timings());
        model->load_files();
        options.program_dir = home.dir();
        if (!options.clock) options.clock = [this] { return now.load(); };
        if (!options.session_ids) {
            options.session_ids = [this]() -> std::optional<std::int32_t> {
                return next_id.load();
            };
        }
        server = std::make_unique<WebServer>(*model, sink, std::move(options));
        ASSERT_TRUE(server->start("0"));
        ASSERT_GT(server->port(), 0);
    }

    // Connects from `source` (a loopback address) when given.
    int connect_client(const char* source = nullptr) const {
        const int sock = connect_to("127.0.0.1", server->port(), source);
        if (sock < 0) return -1;
        timeval limit{10, 0};  // only reached when the server is wrong
        ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        return sock;
    }

    static std::string read_to_end(int sock) {
        std::string bytes;
        char buffer[4096];
        for (int i = 0; i < 100000; ++i) {
            const ssize_t n = ::recv(sock, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        return bytes;
    }

    // Sends the pieces with a pause between them, then reads until the server closes.
    std::string exchange(const std::vector<std::string>& pieces,
                         std::chrono::milliseconds pause = std::chrono::milliseconds(50)) const {
        ScopedFd sock(connect_client());
        EXPECT_GT(sock.get(), 0);
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (i > 0) std::this_thread::sleep_for(pause);
            brellix_socket_send_all(sock.get(), pieces[i].data(), pieces[i].size(), nullptr,
                                    10'000'000);
        }
        return read_to_end(sock.get());
    }

    std::string exchange(const std::string& request) const {
        return exchange(std::vector<std::string>{request});
    }

    std::string exchange_from(const char* source, const std::string& request) const {
        ScopedFd sock(connect_client(source));
        EXPECT_GT(sock.get(), 0) << source;
        brellix_socket_send_all(sock.get(), request.data(), request.size(), nullptr, 10'000'000);
        return read_to_end(sock.get());
    }

    // Logs in with the credentials, as a browser's first page does: opens session kSid.
    void log_in() const {
        ASSERT_NE(get("/").find(std::string("sessionid=") + kSid), std::string::npos);
    }

    // A GET with Basic credentials (none when `credentials` is empty).
    std::string get(const std::string& target,
                    const std::string& credentials = kGoodCredentials) const {
        std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        if (!credentials.empty()) request += "Authorization: Basic " + credentials + "\r\n";
        return exchange(request + "\r\n");
    }

    std::string post_head(const std::string& target, std::size_t length,
                          const std::string& length_name = "Content-Length:") const {
        return "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Basic " +
               std::string(kGoodCredentials) + "\r\n" + length_name + " " + std::to_string(length) +
               "\r\n\r\n";
    }

    std::string post(const std::string& target, const std::string& body) const {
        return exchange(post_head(target, body.size()) + body);
    }

    ModelSnapshot snapshot() const { return model->snapshot(); }

    TempDir home;
    RecordingSink sink;
    SilentAlert alert;
    AppSettings settings;
    MappingTable mappings;
    std::atomic<std::int64_t> now{kStartTime};
    std::atomic<std::int32_t> next_id{424242};
    std::unique_ptr<AppModel> model;
    std::unique_ptr<WebServer> server;
};

inline PortMapping tcp_mapping(const std::string& name, int listen_port, int destination_port) {
    return relay_mapping("TCP", name, listen_port, "127.0.0.1", destination_port);
}

}  // namespace zk::test
