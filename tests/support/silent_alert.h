#pragma once
// An alert sound that plays nothing, for models and engines whose alerts a test does not check.

#include <string_view>

#include "platform/alert_sound.h"

namespace zk::test {

class SilentAlert : public AlertSound {
public:
    void play(std::string_view) override {}
};

}  // namespace zk::test
