#pragma once
// The program's pictures (application icon, tray frames, About picture) are compiled into the
// ui library. A static library's resources are registered only when asked for.

namespace zk {

// Registers the pictures under ":/icons/"; any number of calls, UI thread.
void register_icons();

}  // namespace zk
