#pragma once
// Sets an environment variable for the length of a scope, for tests of code that reads the
// environment. Tests run on one thread; nothing else may read the environment meanwhile.

#include <cstdlib>
#include <optional>
#include <string>

namespace zk::test {

// A null `value` unsets the variable; the old value comes back at the end of the scope.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedVariable() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace zk::test
