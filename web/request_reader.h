#pragma once
// Reading one HTTP request: the header block, then a body framed by Content-Length or by chunked
// transfer encoding. The reader is fed whatever bytes arrive, in pieces of any size, so the
// socket loop (web_read_request) and the tests share the same rules.
//
// Threading: one reader per connection thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zk {

// Room for one request, its terminating NUL included.
inline constexpr std::size_t kRequestCapacity = 120000;
// The longest chunk-size line accepted (extensions included).
inline constexpr std::size_t kChunkLineLimit = 1024;

enum class ReadStatus { more, complete, failed };

class RequestReader {
public:
    explicit RequestReader(std::size_t capacity = kRequestCapacity) : capacity_(capacity) {}

    // Takes the next received bytes. Bytes after a complete request are ignored.
    ReadStatus feed(std::string_view bytes);
    ReadStatus status() const { return status_; }

    // The most bytes worth receiving next: never past a Content-Length body, never past the room
    // left. At least 1 while more is needed.
    std::size_t wanted() const;

    // The header block and the body as received; a chunked body is decoded (its size lines and
    // chunk ends are not part of the text).
    const std::string& text() const { return text_; }

private:
    enum class Phase { header, length_body, chunk_size, chunk_data, chunk_end, done };

    ReadStatus fail();
    ReadStatus finish_header();
    ReadStatus decode_chunks();

    const std::size_t capacity_;
    std::string text_;
    std::string raw_;  // chunked bytes not yet decoded
    Phase phase_ = Phase::header;
    ReadStatus status_ = ReadStatus::more;
    std::size_t body_end_ = 0;    // Content-Length: text_ size at which the body is complete
    std::size_t chunk_left_ = 0;  // data bytes of the current chunk still to come
    std::size_t raw_total_ = 0;   // chunked bytes kept, framing included
};

// Reads one request from `sock` into `reader`. The socket is put in non-blocking mode; every
// receive waits at most `wait_us` microseconds, and the whole request must have arrived by
// `deadline`. 0 when the request is complete; non-zero on silence, the deadline, an early close,
// a receive error, or a request the reader refuses.
int web_read_request(int sock, RequestReader& reader, std::int64_t wait_us,
                     std::chrono::steady_clock::time_point deadline);

}  // namespace zk
