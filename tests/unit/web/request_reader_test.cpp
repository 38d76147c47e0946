// Reading a request: header block, Content-Length and chunked bodies, the limits. Every case is
// fed whole, in two pieces split at every byte, and one byte at a time: the result must not
// depend on how the bytes arrive.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "web/request_reader.h"

namespace zk {
namespace {

struct Case {
    const char* label;
    std::string input;
    ReadStatus status;
    std::string text;  // the request text when complete
};

std::string repeat(char c, std::size_t n) {
    return std::string(n, c);
}

const std::string kHead = "POST /?action=newdone HTTP/1.1\r\nHost: x\r\n";

std::vector<Case> cases() {
    return {
        {"no body", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", ReadStatus::complete,
         "GET / HTTP/1.1\r\nHost: x\r\n\r\n"},
        {"Content-Length body", kHead + "Content-Length: 10\r\n\r\n0123456789",
         ReadStatus::complete, kHead + "Content-Length: 10\r\n\r\n0123456789"},
        {"lower-case content-length", kHead + "content-length:4\r\n\r\nabcd", ReadStatus::complete,
         kHead + "content-length:4\r\n\r\nabcd"},
        {"capitals are not a length: no body waited for", kHead + "CONTENT-LENGTH: 4\r\n\r\n",
         ReadStatus::complete, kHead + "CONTENT-LENGTH: 4\r\n\r\n"},
        {"bytes after the body are not taken", kHead + "Content-Length: 2\r\n\r\nabEXTRA",
         ReadStatus::complete, kHead + "Content-Length: 2\r\n\r\nab"},
        {"zero length", kHead + "Content-Length: 0\r\n\r\n", ReadStatus::complete,
         kHead + "Content-Length: 0\r\n\r\n"},
        {"chunked body decoded",
         kHead + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n7;ext=1\r\n, world\r\n0\r\n\r\n",
         ReadStatus::complete, kHead + "Transfer-Encoding: chunked\r\n\r\nhello, world"},
        {"chunk size in hex, either case",
         kHead + "Transfer-Encoding: chunked\r\n\r\nA\r\n0123456789\r\nb\r\nabcdefghijk\r\n0\r\n",
         ReadStatus::complete, kHead + "Transfer-Encoding: chunked\r\n\r\n0123456789abcdefghijk"},
        {"chunk without its line end", kHead + "Transfer-Encoding: chunked\r\n\r\n2\r\nabXY0\r\n",
         ReadStatus::failed, ""},
        {"chunk larger than the room", kHead + "Transfer-Encoding: chunked\r\n\r\n1D4C0\r\n",
         ReadStatus::failed, ""},
        {"chunk-size line without end",
         kHead + "Transfer-Encoding: chunked\r\n\r\n1" + repeat(';', kChunkLineLimit + 1),
         ReadStatus::failed, ""},
        {"body larger than the room", kHead + "Content-Length: 119990\r\n\r\n", ReadStatus::failed,
         ""},
        {"Content-Length wins over chunked",
         kHead + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\nabc", ReadStatus::complete,
         kHead + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\nabc"},
        {"header block that never ends", "GET / HTTP/1.1\r\nX: " + repeat('a', kRequestCapacity),
         ReadStatus::failed, ""},
    };
}

// Feeds `pieces` until the reader stops asking for more.
RequestReader read_pieces(const std::vector<std::string>& pieces) {
    RequestReader reader;
    for (const std::string& p : pieces) {
        if (reader.feed(p) != ReadStatus::more) break;
    }
    return reader;
}

void expect_result(const RequestReader& reader, const Case& c, const std::string& how) {
    EXPECT_EQ(reader.status(), c.status) << c.label << " (" << how << ")";
    if (c.status == ReadStatus::complete) {
        EXPECT_EQ(reader.text(), c.text) << c.label << " (" << how << ")";
    }
}

TEST(RequestReader, WholeInput) {
    for (const Case& c : cases())
        expect_result(read_pieces({c.input}), c, "whole");
}

TEST(RequestReader, SplitInTwoAtEveryByte) {
    for (const Case& c : cases()) {
        if (c.input.size() > 4096) continue;  // the long cases run whole and byte by byte
        for (std::size_t at = 0; at <= c.input.size(); ++at) {
            const RequestReader reader = read_pieces({c.input.substr(0, at), c.input.substr(at)});
            expect_result(reader, c, "split at " + std::to_string(at));
            if (::testing::Test::HasFailure()) return;
        }
    }
}

TEST(RequestReader, OneByteAtATime) {
    for (const Case& c : cases()) {
        std::vector<std::string> bytes;
        for (const char b : c.input)
            bytes.emplace_back(1, b);
        expect_result(read_pieces(bytes), c, "byte by byte");
    }
}

TEST(RequestReader, AsksForNoMoreThanTheBodyNeeds) {
    RequestReader reader;
    ASSERT_EQ(reader.feed(kHead + "Content-Length: 10\r\n\r\n0123"), ReadStatus::more);
    EXPECT_EQ(reader.wanted(), 6u);
}

TEST(RequestReader, IncompleteInputAsksForMore) {
    for (const std::string& input :
         {std::string("GET / HTTP/1.1\r\n\r"), kHead + "Content-Length: 5\r\n\r\nab",
          kHead + "Transfer-Encoding: chunked\r\n\r\n5\r\nab"}) {
        RequestReader reader;
        EXPECT_EQ(reader.feed(input), ReadStatus::more) << input;
        EXPECT_GE(reader.wanted(), 1u);
    }
}

}  // namespace
}  // namespace zk
