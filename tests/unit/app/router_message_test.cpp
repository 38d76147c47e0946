// The answer to the router command's control message and whether it runs the command.
#include "app/router_message.h"

#include <gtest/gtest.h>

namespace zk {
namespace {

TEST(RouterMessageTest, RunsOnlyForWparamOneWithAnyLparam) {
    struct Case {
        const char* label;
        std::uintptr_t wparam;
        std::intptr_t lparam;
        int result;
        bool run_command;
    } const cases[] = {
        {"wparam 1, lparam 1", 1, 1, 1, true},  {"wparam 1, negative lparam", 1, -5, 1, true},
        {"wparam 2, lparam 1", 2, 1, 1, false}, {"wparam 0, lparam 7", 0, 7, 1, false},
        {"wparam 1, lparam 0", 1, 0, 0, false}, {"wparam 0, lparam 0", 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const RouterMessageOutcome outcome = router_message(c.wparam, c.lparam);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.run_command, c.run_command);
    }
}

}  // namespace
}  // namespace zk
