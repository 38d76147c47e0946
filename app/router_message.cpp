#include "app/router_message.h"

namespace zk {

RouterMessageOutcome router_message(std::uintptr_t wparam, std::intptr_t lparam) {
    if (lparam == 0) return {};
    return {.result = 1, .run_command = wparam == 1};
}

}  // namespace zk
