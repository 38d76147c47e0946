#pragma once
// The alert played when a peer is refused by a mapping's address lists.

#include <string_view>

namespace zk {

class AlertSound {
public:
    virtual ~AlertSound() = default;
    // Plays the WAV file and returns when it has ended; returns at once when it cannot play.
    virtual void play(std::string_view wav_path) = 0;
};

// Plays through the first of paplay or aplay found on PATH, quietly; nothing when neither is
// there, the file is missing, or the player fails (a busy device).
class SystemAlertSound : public AlertSound {
public:
    void play(std::string_view wav_path) override;
};

}  // namespace zk
