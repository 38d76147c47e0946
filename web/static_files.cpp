#include "web/static_files.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <utility>

#include "engine/brellix_socket.h"

namespace zk {
namespace {

namespace fs = std::filesystem;

constexpr std::array<std::pair<std::string_view, std::string_view>, 35> kMimeTypes{{
    {".html", "text/html"},
    {".htm", "text/html"},
    {".shtml", "text/html"},
    {".css", "text/css"},
    {".txt", "text/plain"},
    {".js", "text/javascript"},
    {".mdb", "application/msaccess"},
    {".xls", "application/msexcel"},
    {".doc", "application/msword"},
    {".exe", "application/octet-stream"},
    {".pdf", "application/pdf"},
    {".rtf", "application/rtf"},
    {".tgz", "application/x-compressed"},
    {".gz", "application/x-compressed"},
    {".z", "application/x-compress"},
    {".swf", "application/x-shockwave-flash"},
    {".tar", "application/x-tar"},
    {".rar", "application/x-rar-compressed"},
    {".zip", "application/x-zip-compressed"},
    {".ra", "audio/x-pn-realaudio"},
    {".ram", "audio/x-pn-realaudio"},
    {".wav", "audio/x-wav"},
    {".gif", "image/gif"},
    {".jpeg", "image/jpeg"},
    {".jpe", "image/jpeg"},
    {".jpg", "image/jpeg"},
    {".png", "image/png"},
    {".ico", "image/bitmap"},
    {".bmp", "image/bitmap"},
    {".avi", "video/avi"},
    {".mp3", "audio/mpeg"},
    {".mpeg", "video/mpeg"},
    {".mpg", "video/mpeg"},
    {".qt", "video/quicktime"},
    {".mov", "video/quicktime"},
}};

bool inside(const fs::path& path, const fs::path& folder) {
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (p == path.end() || *p != *f) return false;
    }
    return p != path.end();  // the folder itself is not a file inside it
}

}  // namespace

std::string_view web_mime_type(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return "text/plain";
    const std::string_view extension = name.substr(dot);
    for (const auto& [ext, type] : kMimeTypes) {
        if (ext == extension) return type;
    }
    return "application/octet-stream";
}

std::optional<std::string> static_file_path(std::string_view program_dir, std::string_view target) {
    if (target.find("..") != std::string_view::npos) return std::nullopt;
    if (target.find('\0') != std::string_view::npos) return std::nullopt;
    std::string path(program_dir);
    path.append(target);
    std::error_code error;
    const fs::path folder = fs::canonical(fs::path(program_dir) / "image", error);
    if (error) return std::nullopt;
    const fs::path resolved = fs::weakly_canonical(fs::path(path), error);
    if (error || !inside(resolved, folder)) return std::nullopt;
    return path;
}

void send_static_file(int sock, const std::string& path, std::int64_t wait_us) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status) || fs::is_directory(status)) return;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) return;
    const std::string header =
        "HTTP/1.1 200 OK\r\nContent-Type:" + std::string(web_mime_type(path)) +
        "\r\nContent-Length:" + std::to_string(size) + "\r\n\r\n";
    if (brellix_socket_send_all(sock, header.data(), header.size(), nullptr, wait_us) !=
        kSocketDone) {
        return;
    }
    std::ifstream file(path, std::ios::binary);
    std::array<char, 2048> block;
    // Bounded by the file: every turn reads at least one byte or ends.
    while (file) {
        file.read(block.data(), block.size());
        const std::streamsize got = file.gcount();
        if (got <= 0) break;
        if (brellix_socket_send_all(sock, block.data(), static_cast<std::size_t>(got), nullptr,
                                    wait_us) != kSocketDone) {
            break;
        }
    }
}

}  // namespace zk
