#pragma once
// The program directory holds config.xml, log/, image/, openssl.cnf and the other files the
// program reads and writes. Paths returned here always end with '/'.

#include <optional>
#include <string>

namespace zk {

// The directory of the running executable (from /proc/self/exe), or "./" when unknown.
std::string executable_directory();

// `home` (from --home) when given, else $ZELKORA_HOME when set and not empty, else the
// executable's directory.
std::string program_directory(const std::optional<std::string>& home);

}  // namespace zk
