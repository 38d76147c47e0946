// Request lines an HTTP-proxy mapping accepts or refuses, and the header rules of the request it
// passes on.

#include "engine/http_request.h"

#include <gtest/gtest.h>

#include <string>

namespace zk {
namespace {

struct Accepted {
    const char* line;
    ProxyRequestKind kind;
    const char* method;
    const char* host;
    int port;
    const char* path;
};

TEST(ProxyRequestLine, AcceptedLinesYieldTheirParts) {
    const Accepted rows[] = {
        {"GET http://127.0.0.1:8080/index.html HTTP/1.1\r\n", ProxyRequestKind::absolute, "GET",
         "127.0.0.1", 8080, "/index.html"},
        {"GET http://example.com/a/b?c=d HTTP/1.1\r\n", ProxyRequestKind::absolute, "GET",
         "example.com", 80, "/a/b?c=d"},
        {"GET http://127.0.0.1:8080 HTTP/1.1\r\n", ProxyRequestKind::absolute, "GET", "127.0.0.1",
         8080, "/"},
        {"GET http://example.com HTTP/1.1\r\n", ProxyRequestKind::absolute, "GET", "example.com",
         80, "/"},
        {"GET http://example.com?q=1 HTTP/1.0\n", ProxyRequestKind::absolute, "GET", "example.com",
         80, "/?q=1"},
        {"POST http://10.0.0.1:81/form HTTP/1.1\r\n", ProxyRequestKind::absolute, "POST",
         "10.0.0.1", 81, "/form"},
        {"HEAD http://h:65535/ HTTP/1.1", ProxyRequestKind::absolute, "HEAD", "h", 65535, "/"},
        {"GET http://h/x//y HTTP/1.1\r\n", ProxyRequestKind::absolute, "GET", "h", 80, "/x//y"},
        {"CONNECT example.com:443 HTTP/1.1\r\n", ProxyRequestKind::tunnel, "CONNECT", "example.com",
         443, ""},
        {"CONNECT 127.0.0.1 HTTP/1.1\r\n", ProxyRequestKind::tunnel, "CONNECT", "127.0.0.1", 80,
         ""},
        {"CONNECT h:1 HTTP/1.0\n", ProxyRequestKind::tunnel, "CONNECT", "h", 1, ""},
    };
    for (const Accepted& row : rows) {
        SCOPED_TRACE(row.line);
        const auto request = parse_proxy_request(row.line);
        ASSERT_TRUE(request.has_value());
        EXPECT_EQ(request->kind, row.kind);
        EXPECT_EQ(request->method, row.method);
        EXPECT_EQ(request->host, row.host);
        EXPECT_EQ(request->port, row.port);
        EXPECT_EQ(request->path, row.path);
    }
}

TEST(ProxyRequestLine, RefusedLinesGiveNothing) {
    const std::string long_host(kProxyHostSize + 1, 'h');
    const std::string long_path(kProxyPathSize, 'p');
    const std::string rows[] = {
        "GET /index.html HTTP/1.1\r\n",  // origin form names no host
        "GET //h/x HTTP/1.1\r\n",        // still origin form
        "\r\n",
        "",
        "GET\r\n",
        "GET http:// HTTP/1.1\r\n",  // no host
        "GET http:///path HTTP/1.1\r\n",
        "GET http://:8080/ HTTP/1.1\r\n",
        "GET http://h:/ HTTP/1.1\r\n",  // bad ports
        "GET http://h:0/ HTTP/1.1\r\n",
        "GET http://h:65536/ HTTP/1.1\r\n",
        "GET http://h:123456/ HTTP/1.1\r\n",
        "GET http://h:-1/ HTTP/1.1\r\n",
        "GET http://h:80x/ HTTP/1.1\r\n",
        "GET http://user:pw@h/ HTTP/1.1\r\n",
        "CONNECT HTTP/1.1\r\n",
        "CONNECT :443 HTTP/1.1\r\n",
        "CONNECT h:https HTTP/1.1\r\n",
        "CONNECT h:99999 HTTP/1.1\r\n",
        "G(T http://h/ HTTP/1.1\r\n",  // the method is no token
        "http://h/ HTTP/1.1\r\n",
        std::string("\x16\x03\x01\x02\x00\x01", 6),  // a TLS hello at a plain proxy
        "GET http://" + long_host + "/ HTTP/1.1\r\n",
        "CONNECT " + long_host + ":443 HTTP/1.1\r\n",
        "GET http://h/" + long_path + " HTTP/1.1\r\n",
    };
    for (const std::string& row : rows) {
        SCOPED_TRACE(row.substr(0, 80));
        EXPECT_FALSE(parse_proxy_request(row).has_value());
    }
}

TEST(ProxyRequestLine, LimitsAreInclusive) {
    const std::string host(kProxyHostSize, 'h');
    const std::string path = "/" + std::string(kProxyPathSize - 1, 'p');
    const auto request = parse_proxy_request("GET http://" + host + path + " HTTP/1.1\r\n");
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->host, host);
    EXPECT_EQ(request->path, path);
}

TEST(ProxyRequestLine, OriginRequestKeepsTheMethod) {
    for (const char* method : {"GET", "POST", "PUT", "DELETE"}) {
        SCOPED_TRACE(method);
        const auto request =
            parse_proxy_request(std::string(method) + " http://h:81/p?q HTTP/1.1\r\n");
        ASSERT_TRUE(request.has_value());
        EXPECT_EQ(origin_request_start(*request),
                  std::string(method) + " /p?q HTTP/1.0\r\nConnection: close\r\n");
    }
}

TEST(ProxyHeaderLine, ConnectionHeadersAreDroppedOthersKept) {
    struct Row {
        const char* line;
        bool dropped;
    } rows[] = {
        {"Proxy-Connection: Keep-Alive\r\n", true},
        {"proxy-connection: close\r\n", true},
        {"Connection: keep-alive\r\n", true},
        {"CONNECTION : close\r\n", true},
        {"Content-Length: 12\r\n", false},
        {"Host: h:81\r\n", false},
        {"X-Connection: 1\r\n", false},
        {"Connectionless: 1\r\n", false},
        {"no colon here\r\n", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(is_dropped_header(row.line), row.dropped);
    }
    EXPECT_TRUE(is_blank_line("\r\n"));
    EXPECT_TRUE(is_blank_line("\n"));
    EXPECT_FALSE(is_blank_line(" \r\n"));
    EXPECT_TRUE(is_continuation_line(" more\r\n"));
    EXPECT_TRUE(is_continuation_line("\tmore\r\n"));
    EXPECT_FALSE(is_continuation_line("Host: h\r\n"));
}

}  // namespace
}  // namespace zk
