#include "cli/output.h"

#include <cerrno>

#include "platform/console.h"

std::FILE *Output::results()
{
    std::fflush(stderr);
    return stdout;
}

std::FILE *Output::messages()
{
    std::fflush(stdout);
    return stderr;
}

void Output::writeResults(const std::string &text)
{
    std::FILE *out = results();
    errno = 0;
    if (std::fputs(text.c_str(), out) == EOF || std::fflush(out) != 0)
        readerGone_ = readerGone_ || errno == EPIPE;
}

void Output::writeJson(const nlohmann::json &value, bool oneLine)
{
    writeResults(dumpJson(value, oneLine ? -1 : 2) + "\n");
}

bool Output::readerGone()
{
    readerGone_ = readerGone_ || platform::readerGone(stdout);
    return readerGone_;
}

Output::Delivery Output::deliverResults()
{
    // Whatever a write failed with stays in the buffer and fails again here,
    // with its reason.
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int reason = errno;
    if (flushed && !std::ferror(stdout))
        return Delivery::written;
    return readerGone_ || reason == EPIPE ? Delivery::readerGone : Delivery::failed;
}

std::string dumpJson(const nlohmann::json &value, int indent)
{
    return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}
