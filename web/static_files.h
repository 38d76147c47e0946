#pragma once
// The files a browser loads without credentials (style sheet, script, pictures): served from the
// image folder of the program directory and from nowhere else.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zk {

// The MIME type for a file name, by the text from the last "." of its last path component
// (compared case-sensitively): "text/plain" without a ".", "application/octet-stream" for an
// extension not in the table.
std::string_view web_mime_type(std::string_view path);

// The file a static target names: the program directory followed by the target as received.
// Nothing when the target holds ".." or the path, symbolic links resolved, is not inside the
// program's image folder.
std::optional<std::string> static_file_path(std::string_view program_dir, std::string_view target);

// Sends "200 OK" with the type and length of the file, then the file in blocks of 2048 bytes.
// Sends nothing when the path is missing or a directory.
void send_static_file(int sock, const std::string& path, std::int64_t wait_us);

}  // namespace zk
