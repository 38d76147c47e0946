#pragma once
// What zelkorad prints about the loaded configuration.

#include <string>

#include "app/app_model.h"

namespace zk {

// One line per mapping (what it forwards where, running or not) and per trigger.
std::string loaded_summary(const ModelSnapshot& snapshot);

// The nine list columns of every mapping as an aligned table, then every trigger.
std::string check_report(const ModelSnapshot& snapshot);

}  // namespace zk
