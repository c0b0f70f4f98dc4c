#include "cli/output.h"

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

void Output::writeLine(const nlohmann::json &value)
{
    std::FILE *out = results();
    std::fprintf(out, "%s\n", dumpJson(value, -1).c_str());
    std::fflush(out);
}

void Output::writeDocument(bool oneLine)
{
    std::FILE *out = results();
    std::fprintf(out, "%s\n", dumpJson(document, oneLine ? -1 : 2).c_str());
    std::fflush(out);
}

bool Output::resultsWritten() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

std::string dumpJson(const nlohmann::json &value, int indent)
{
    return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}
