#pragma once

// One environment variable of this process set, or unset (nullopt), for the
// object's lifetime: what the programs a test starts inherit.

#include <cstdlib>
#include <optional>
#include <string>

class ScopedVariable {
public:
    ScopedVariable(const char *name, const std::optional<std::string> &value) : name_(name)
    {
        if (const char *saved = std::getenv(name))
            saved_ = saved;
        set(value);
    }
    ~ScopedVariable() { set(saved_); }
    ScopedVariable(const ScopedVariable &) = delete;
    ScopedVariable &operator=(const ScopedVariable &) = delete;

private:
    void set(const std::optional<std::string> &value)
    {
        if (value)
            ::setenv(name_, value->c_str(), 1);
        else
            ::unsetenv(name_);
    }

    const char *name_;
    std::optional<std::string> saved_;
};
