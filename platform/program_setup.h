#pragma once
// Sets a program directory up the way an installer would have, so `--home DIR` on a new
// directory gives a working program: without log/ every event would be lost, without image/
// the web pages would have no style, without help/ the Help button would open nothing.

#include <optional>
#include <string>

namespace zk {

// Where the build stages the default config.xml, under the executable's directory. Kept apart
// from the executable directory's own config.xml, which holds that directory's mappings.
inline constexpr const char* kDefaultConfigPath = "defaults/config.xml";

// Creates `dir` (with parents) and `dir`log/ when missing; copies the default config.xml from
// `staged_dir` (mode 0600) only when `dir` holds no config.xml at all, and the files of
// `staged_dir`image/ and `staged_dir`help/ when `dir` has no such folder. Both paths end with '/'.
// Returns why the directory cannot serve as a program directory (it cannot be created or is not
// writable), or nothing; a default that cannot be copied is not such a reason.
std::optional<std::string> prepare_program_directory(const std::string& dir,
                                                     const std::string& staged_dir);

}  // namespace zk
