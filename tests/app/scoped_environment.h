#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

// Sets one environment variable of this process, or unsets it (nullopt),
// for the object's lifetime.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const std::optional<QString> &value) : name_(name)
    {
        if (qEnvironmentVariableIsSet(name))
            saved_ = qgetenv(name);
        set(value ? std::optional(value->toLocal8Bit()) : std::nullopt);
    }
    ~ScopedEnvironment() { set(saved_); }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    void set(const std::optional<QByteArray> &value)
    {
        if (value)
            qputenv(name_, *value);
        else
            qunsetenv(name_);
    }

    const char *name_;
    std::optional<QByteArray> saved_;
};
