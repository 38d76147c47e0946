#pragma once
// Running out of descriptors, as the event log tells it: one line when an episode begins (a
// socket or pipe could not be had for EMFILE or ENFILE), none for every client refused during
// it; the episode ends when a listener accepts a connection again. Internal to the engine; any
// thread.

namespace zk {

// Called with the errno of a failed socket(), accept() or pipe(); logs when `error` is
// EMFILE or ENFILE and no episode is under way. True when `error` is one of those two.
bool note_descriptor_shortage(int error);

// A connection was accepted: the next shortage is a new episode.
void descriptor_shortage_over();

}  // namespace zk
