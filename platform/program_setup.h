#pragma once
// Sets a program directory up the way an installer would have, so `--home DIR` on a new
// directory gives a working program: without log/ every event would be lost, without image/
// the web pages would have no style, without help/ the Help button would open nothing, without
// openssl.cnf and CA/ the certificate tool could make nothing, without ports_list.txt the often
// used ports window would open empty.

#include <optional>
#include <string>

namespace zk {

// Where the build stages the default config.xml, under the executable's directory. Kept apart
// from the executable directory's own config.xml, which holds that directory's mappings.
inline constexpr const char* kDefaultConfigPath = "defaults/config.xml";
// Where the build stages an empty certificate database, for the same reason: the executable
// directory's own CA/ records what was signed there.
inline constexpr const char* kDefaultCaPath = "defaults/CA";

// Creates `dir` (with parents) and `dir`log/ when missing; copies the default config.xml from
// `staged_dir` (mode 0600) only when `dir` holds no config.xml at all, and the files of
// `staged_dir`image/ and `staged_dir`help/ when `dir` has no such folder, and openssl.cnf and
// ports_list.txt each when `dir` has none. The certificate database `dir`CA/ gets the files of
// the staged empty one that it lacks, and its newcerts/ folder; a file already there is never
// replaced, so no record of a signed certificate is lost. Both paths end with '/'.
// Returns why the directory cannot serve as a program directory (it cannot be created or is not
// writable), or nothing; a default that cannot be copied is not such a reason.
std::optional<std::string> prepare_program_directory(const std::string& dir,
                                                     const std::string& staged_dir);

}  // namespace zk
