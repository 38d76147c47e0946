#pragma once
// config.xml: the settings, the mapping table and the trigger table. Read once at start-up,
// written after every change and on the exit path.
//
// Threading: call from one thread at a time; the tables passed in must not change meanwhile.

#include <string>

#include "core/app_settings.h"
#include "core/message_sink.h"
#include "core/port_mapping.h"
#include "core/port_trigger.h"

namespace zk {

inline constexpr const char* kConfigFileName = "config.xml";
inline constexpr const char* kInvalidConfigMessage = "invalid config file!";

// Reads the settings and appends the mappings to `table`. On the first fault it shows
// "invalid config file!" through `sink` and stops: what was read before it stays, the faulty
// mapping and all later ones are dropped. Returns true when the whole file was read.
bool load_configuration(const std::string& path, AppSettings& settings, MappingTable& table,
                        MessageSink& sink);

// Empties `triggers` and reads the triggering entries (status "stop"), parsing the file on its
// own. Faults are reported as above. Starting the automatic triggers is the caller's part.
bool load_triggers(const std::string& path, TriggerTable& triggers, MessageSink& sink);

// The whole file as written: CRLF line ends, fixed attribute order, values XML-escaped.
std::string configuration_text(const AppSettings& settings, const MappingTable& table,
                               const TriggerTable& triggers);

// Replaces the file at `path` atomically and durably (through `path`.tmp, fsync and rename: a
// crash mid-write leaves the old file whole). The file is mode 0600: it holds the web password.
// Returns 0, or the errno of the step that failed.
int save_configuration(const std::string& path, const AppSettings& settings,
                       const MappingTable& table, const TriggerTable& triggers);

// Removes the temporary a save killed half-way left behind (it holds the password).
void remove_stale_temporary(const std::string& path);

}  // namespace zk
