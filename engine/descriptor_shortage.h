#pragma once
// Running out of descriptors, as the event log tells it: one line when an episode begins (a
// socket or pipe could not be had for EMFILE or ENFILE), none for every client refused during
// it. An episode ends once no shortage was seen for kShortageQuiet: while descriptors are short,
// sessions that end free a few and new ones take them, so a single success proves nothing.
// Internal to the engine; any thread.

#include <chrono>

namespace zk {

inline constexpr std::chrono::seconds kShortageQuiet{10};

// Called with the errno of a failed socket(), accept() or pipe(); logs when `error` is
// EMFILE or ENFILE and no episode is under way. True when `error` is one of those two.
bool note_descriptor_shortage(int error);

}  // namespace zk
