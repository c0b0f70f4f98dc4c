#include "recording/recording_format.h"

#include "recording/json_lines.h"

namespace recording {

namespace {

constexpr const char *formatName = "vantrel-update session";

RecordingHeader headerFrom(const Json &object)
{
    if (!object.is_object() || !object.contains("recording") || object.at("recording") != formatName)
        throw Malformed{std::string("this is not a recording of a device session (its first line does not say \"") +
                        formatName + "\")"};
    const Fields fields(object);
    RecordingHeader header;
    header.version = fields.number<int>("version");
    if (header.version < oldestFormatVersion || header.version > formatVersion)
        throw Malformed{"the recording is of format version " + std::to_string(header.version) +
                        ", and this program reads versions " + std::to_string(oldestFormatVersion) + " to " +
                        std::to_string(formatVersion)};
    const Json &command = fields.member("command");
    if (!command.is_array())
        throw Malformed{"\"command\" is not a list"};
    for (const Json &word : command) {
        if (!word.is_string())
            throw Malformed{"\"command\" holds something other than strings"};
        std::optional<std::string> decoded = platform::exactLatin1FromUtf8(word.get_ref<const std::string &>());
        if (!decoded)
            throw Malformed{"\"command\" holds a character above U+00FF"};
        header.command.push_back(std::move(*decoded));
    }
    header.anonymised = fields.has("anonymised") && fields.flag("anonymised");
    header.backend = fields.optionalBytes("backend").value_or(std::string());
    return header;
}

// The next line of `text` from `position`, without its line break (LF or CR LF).
std::string_view nextLine(std::string_view text, std::size_t &position)
{
    const std::size_t end = text.find('\n', position);
    std::string_view line = text.substr(position, end == std::string_view::npos ? std::string_view::npos : end - position);
    position = end == std::string_view::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool blank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

}  // namespace

std::string headerLine(const RecordingHeader &header)
{
    Json command = Json::array();
    for (const std::string &word : header.command)
        command.push_back(text(word));
    Json object = {{"recording", formatName}, {"version", header.version}, {"command", command},
                   {"anonymised", header.anonymised}};
    if (!header.backend.empty())
        object["backend"] = text(header.backend);
    return object.dump();
}

std::string exchangeLine(const Exchange &exchange, std::size_t number)
{
    Json object = {{"n", number}};
    writeExchange(object, exchange);
    return object.dump();
}

std::string endLine(std::size_t exchanges, std::int64_t trailingMicroseconds, int stopSignal)
{
    Json object = {{"op", "end"}, {"exchanges", exchanges}, {"dt", trailingMicroseconds}};
    if (stopSignal != 0)
        object["stop"] = stopSignal;
    return object.dump();
}

ParsedRecording parseRecording(std::string_view text)
{
    Recording recording;
    bool headerRead = false;
    bool ended = false;
    std::size_t lineNumber = 0;
    std::size_t position = 0;
    if (text.size() > maximumRecordingBytes)
        return {std::nullopt, "the file is larger than " + std::to_string(maximumRecordingBytes >> 20) +
                                  " MiB, which no recording is"};
    try {
        while (position < text.size()) {
            ++lineNumber;
            const std::string_view line = nextLine(text, position);
            if (line.size() > maximumLineBytes)
                throw Malformed{"the line is longer than " + std::to_string(maximumLineBytes >> 20) +
                                " MiB, which no line of a recording is"};
            if (blank(line))
                continue;
            if (ended)
                throw Malformed{"there is more after the end line"};
            const Json object = Json::parse(line, nullptr, /*allow_exceptions=*/false);
            if (object.is_discarded())
                throw Malformed{headerRead ? "not a JSON object (is the file cut short?)"
                                           : "this is not a recording of a device session (its first line is not JSON)"};
            if (!headerRead) {
                recording.header = headerFrom(object);
                headerRead = true;
                continue;
            }
            if (!object.is_object())
                throw Malformed{"not a JSON object"};
            const Fields fields(object);
            if (object.contains("op") && object.at("op") == "end") {
                if (fields.number<std::size_t>("exchanges") != recording.exchanges.size())
                    throw Malformed{"the end line counts " + object.at("exchanges").dump() + " exchanges, the file has " +
                                    std::to_string(recording.exchanges.size())};
                recording.trailingMicroseconds = fields.elapsed("dt");
                if (object.contains("stop"))
                    recording.stopSignal = fields.stopSignal("stop");
                ended = true;
                continue;
            }
            const std::size_t expected = recording.exchanges.size() + 1;
            if (fields.number<std::size_t>("n") != expected)
                throw Malformed{"exchange numbered " + object.at("n").dump() + " where " + std::to_string(expected) +
                                " was due"};
            recording.exchanges.push_back(readExchange(fields));
        }
    } catch (const Malformed &malformed) {
        return {std::nullopt, "line " + std::to_string(lineNumber) + ": " + malformed.reason};
    } catch (const nlohmann::json::exception &e) {
        // Every access above is checked first; this is the last guard.
        return {std::nullopt, "line " + std::to_string(lineNumber) + ": " + e.what()};
    }
    if (!headerRead)
        return {std::nullopt, "the file is empty: this is not a recording of a device session"};
    if (!ended)
        return {std::nullopt, "the recording is cut short: it ends after exchange " +
                                  std::to_string(recording.exchanges.size()) + " without its end line"};
    return {std::move(recording), {}};
}

}  // namespace recording
