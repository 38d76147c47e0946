#pragma once
// Replacing a file so that a reader, a crash or a power cut never leaves half of it: the text
// goes to `path`.tmp, is flushed to disk, and is renamed over `path`.
//
// Threading: any thread; two writers of the same path must not run at once.

#include <sys/types.h>

#include <string>

namespace zk {

// The temporary a replacement of `path` writes first.
std::string temporary_path(const std::string& path);

// Writes `text` to `path` with exactly `mode` (whatever the umask), atomically and durably. A
// stale temporary is removed first; the temporary is never opened through a symbolic link.
// Returns 0, or the errno of the step that failed (the temporary is then removed).
int replace_file(const std::string& path, const std::string& text, mode_t mode);

}  // namespace zk
