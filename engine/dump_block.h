#pragma once
// The protocol-debug log of a mapping: every relayed chunk as a header line and a hexadecimal
// dump. Each body line holds up to twelve bytes: a TAB, "xx " per byte, padding, three TABs and
// the same bytes as characters, with CR, LF and NUL shown as '.' so the file stays plain text.

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/local_time.h"

namespace zk {

// The whole block as written: "<MM/DD/YYYY hh:mm:ss>:[from]=====================>[to]\n" and
// the body. An empty chunk has no block (empty result).
std::string format_dump_block(const LocalTime& time, std::string_view from, std::string_view to,
                              const void* data, std::size_t n);

// One protocol-debug file, shared (std::shared_ptr) by the listener copies of one started
// mapping and closed when the last of them lets go.
//
// Threading: every member may be called from any thread. A block goes out with one write under
// the stream's lock, so blocks of concurrent sessions never interleave.
class DumpStream {
public:
    explicit DumpStream(LocalClock clock = system_local_time);
    ~DumpStream();
    DumpStream(const DumpStream&) = delete;
    DumpStream& operator=(const DumpStream&) = delete;

    // Opens `path` for appending, creating it (mode 0666 less the umask). Returns false with
    // errno set when it can be neither opened nor created; the stream then stays closed.
    bool open(const std::string& path);
    bool is_open() const;
    void close();

    // Writes the block of `n` bytes that travelled from `from` to `to` (addresses as text).
    // Nothing happens when the stream is closed or `n` is 0; write errors are ignored.
    void write_block(std::string_view from, std::string_view to, const void* data, std::size_t n);

private:
    LocalClock clock_;
    mutable std::mutex mutex_;
    int fd_ = -1;  // guarded by mutex_
};

// Writes one block to `stream` when there is one and it is open (see DumpStream::write_block).
void write_dump_block(DumpStream* stream, std::string_view from, std::string_view to,
                      const void* data, std::size_t n);

}  // namespace zk
