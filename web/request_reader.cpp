#include "web/request_reader.h"

#include <algorithm>
#include <array>

#include "core/port_mapping.h"
#include "engine/brellix_socket.h"
#include "web/web_text.h"

namespace zk {
namespace {

constexpr std::string_view kBlankLine = "\r\n\r\n";

// The value of a Content-Length header in the header block: the text after the name up to the
// next "\r", as a decimal number. -1 when the name is absent, -2 when no "\r" follows.
long long content_length(std::string_view header) {
    std::size_t at = header.find("Content-Length:");
    if (at == std::string_view::npos) at = header.find("content-length:");
    if (at == std::string_view::npos) return -1;
    const std::size_t start = at + 15;
    const std::size_t cr = header.find('\r', start);
    if (cr == std::string_view::npos) return -2;
    return std::max(0, text_to_int(header.substr(start, cr - start)));
}

bool is_chunked(std::string_view header) {
    const std::size_t at = header.find("Transfer-Encoding:");
    return at != std::string_view::npos && header.find("chunked", at) != std::string_view::npos;
}

// The leading hexadecimal number of a chunk-size line (blanks before it allowed); -1 when it
// does not fit the limit.
long long chunk_size(std::string_view line, std::size_t limit) {
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    long long size = 0;
    for (; i < line.size() && hex_digit_value(line[i]) >= 0; ++i) {
        size = size * 16 + hex_digit_value(line[i]);
        if (size > static_cast<long long>(limit)) return -1;
    }
    return size;
}

}  // namespace

ReadStatus RequestReader::fail() {
    phase_ = Phase::done;
    status_ = ReadStatus::failed;
    return status_;
}

std::size_t RequestReader::wanted() const {
    switch (phase_) {
        case Phase::header: return std::max<std::size_t>(1, capacity_ - 1 - text_.size());
        case Phase::length_body: return body_end_ - text_.size();
        case Phase::chunk_size:
        case Phase::chunk_data:
        case Phase::chunk_end: return 4096;
        case Phase::done: return 0;
    }
    return 0;
}

ReadStatus RequestReader::feed(std::string_view bytes) {
    if (phase_ == Phase::header) {
        const std::size_t searched_from = text_.size() < 3 ? 0 : text_.size() - 3;
        text_.append(bytes.substr(0, capacity_ - 1 - text_.size()));
        if (text_.find(kBlankLine, searched_from) != std::string::npos) return finish_header();
        // The header block must end inside the buffer.
        return text_.size() >= capacity_ - 1 ? fail() : status_;
    }
    if (phase_ == Phase::length_body) {
        text_.append(bytes.substr(0, body_end_ - text_.size()));
        if (text_.size() == body_end_) {
            phase_ = Phase::done;
            status_ = ReadStatus::complete;
        }
        return status_;
    }
    if (phase_ == Phase::done) return status_;
    // Chunked: a request may carry framing beside its data, but not without bound. Whether it
    // stays within the allowance must not depend on how its bytes were split, so the bytes
    // received past it are not kept, and the request fails only if they were needed.
    const std::size_t allowance = 2 * capacity_;
    const std::string_view kept = bytes.substr(0, allowance + 1 - raw_total_);
    raw_total_ += kept.size();
    raw_.append(kept);
    decode_chunks();
    if (status_ == ReadStatus::more && raw_total_ > allowance) return fail();
    return status_;
}

ReadStatus RequestReader::finish_header() {
    const std::size_t header_end = text_.find(kBlankLine) + kBlankLine.size();
    const std::string_view header(text_.data(), header_end);
    const long long length = content_length(header);
    if (length == -2) return fail();
    if (length >= 0) {
        const long long already = static_cast<long long>(text_.size() - header_end);
        const long long remaining = length - already;
        if (remaining <= 0) {
            // The body is the announced bytes; anything after them is not part of this request.
            text_.resize(header_end + static_cast<std::size_t>(length));
            phase_ = Phase::done;
            return status_ = ReadStatus::complete;
        }
        // The body must leave room for the terminating NUL.
        if (remaining >= static_cast<long long>(capacity_ - text_.size())) return fail();
        body_end_ = text_.size() + static_cast<std::size_t>(remaining);
        phase_ = Phase::length_body;
        return status_;
    }
    if (!is_chunked(header)) {
        phase_ = Phase::done;
        return status_ = ReadStatus::complete;
    }
    raw_.assign(text_, header_end);
    raw_total_ = raw_.size();
    text_.resize(header_end);
    phase_ = Phase::chunk_size;
    return decode_chunks();
}

ReadStatus RequestReader::decode_chunks() {
    std::size_t at = 0;  // consumed bytes of raw_
    for (;;) {
        if (phase_ == Phase::chunk_size) {
            const std::size_t eol = raw_.find("\r\n", at);
            if (eol == std::string::npos) {
                if (raw_.size() - at > kChunkLineLimit) return fail();
                break;
            }
            if (eol - at > kChunkLineLimit) return fail();
            const long long size =
                chunk_size(std::string_view(raw_).substr(at, eol - at), capacity_);
            if (size < 0) return fail();
            at = eol + 2;
            if (size == 0) {  // the last chunk; trailers are not read
                // Its line must end within the allowance, however many bytes came with it.
                if (raw_total_ - raw_.size() + at > 2 * capacity_) return fail();
                phase_ = Phase::done;
                status_ = ReadStatus::complete;
                break;
            }
            if (static_cast<std::size_t>(size) >= capacity_ - text_.size()) return fail();
            chunk_left_ = static_cast<std::size_t>(size);
            phase_ = Phase::chunk_data;
        } else if (phase_ == Phase::chunk_data) {
            const std::size_t take = std::min(chunk_left_, raw_.size() - at);
            text_.append(raw_, at, take);
            at += take;
            chunk_left_ -= take;
            if (chunk_left_ > 0) break;
            phase_ = Phase::chunk_end;
        } else {  // chunk_end: the "\r\n" after the data
            if (raw_.size() - at < 2) break;
            if (raw_.compare(at, 2, "\r\n") != 0) return fail();
            at += 2;
            phase_ = Phase::chunk_size;
        }
    }
    raw_.erase(0, at);
    return status_;
}

int web_read_request(int sock, RequestReader& reader, std::int64_t wait_us,
                     std::chrono::steady_clock::time_point deadline) {
    if (brellix_socket_set_block(sock, 0) != kSocketDone) return kSocketError;
    std::array<char, 16384> buffer;
    // Every turn receives at least one byte or ends, and the reader refuses more than it can
    // hold, so the loop is bounded by the request size (and by the deadline).
    while (reader.status() == ReadStatus::more) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return kSocketTimeout;
        const std::int64_t wait =
            wait_us < 0 ? left.count() : std::min<std::int64_t>(wait_us, left.count());
        std::size_t len = std::min(buffer.size(), reader.wanted());
        const int result = brellix_socket_recv(sock, buffer.data(), len, wait);
        if (result != kSocketDone) return result;
        reader.feed(std::string_view(buffer.data(), len));
    }
    return reader.status() == ReadStatus::complete ? kSocketDone : kSocketError;
}

}  // namespace zk
