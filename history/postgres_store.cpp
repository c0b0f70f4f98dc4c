#include "history/postgres_store.h"

#include <libpq-fe.h>
#include <poll.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>

#include "history/entry_fields.h"
#include "platform/stop_signals.h"

namespace history {

namespace {

// Each step takes the database from one schema version to the next; a step,
// once released, never changes.
const std::array<const char *, 1> migrations{
    // 1: the first history.
    "CREATE TABLE vantrel_history_schema (version integer NOT NULL);"
    "INSERT INTO vantrel_history_schema VALUES (0);"
    "CREATE TABLE vantrel_history ("
    " seq bigserial PRIMARY KEY,"
    " entry_id uuid NOT NULL UNIQUE,"
    " recorded_at timestamptz NOT NULL,"
    " utc_offset_minutes integer NOT NULL,"
    " station text NOT NULL,"
    " program text NOT NULL,"
    " program_version text NOT NULL,"
    " serial bytea NOT NULL,"
    " port text NOT NULL,"
    " variant text,"
    " firmware_before text,"
    " firmware_after text,"
    " carried_version text,"
    " image_crc32 bigint,"
    " outcome text NOT NULL,"
    " error_kind text,"
    " message text NOT NULL,"
    " stopped_task text,"
    " stopped_done bigint,"
    " stopped_total bigint,"
    " duration_ms bigint NOT NULL);"
    "CREATE INDEX vantrel_history_serial ON vantrel_history (serial);"
    "CREATE INDEX vantrel_history_time ON vantrel_history (recorded_at);",
};

// Held while the schema is made or migrated, so that stations that start at
// once do it one after the other. A lock of the session, taken before the
// transaction begins: a transaction's start is where a server's process
// takes in what others changed in the catalogue, so the one after the wait
// sees the tables that the one before it made.
constexpr const char *schemaLock = "SELECT pg_advisory_lock(7306041316624213871)";
constexpr const char *schemaUnlock = "SELECT pg_advisory_unlock(7306041316624213871)";
constexpr const char *appendStatement = "vantrel_history_append";

// libpq's messages, which may run over several lines, as one.
std::string oneLine(const char *message)
{
    std::string line;
    for (const char *c = message; c && *c; ++c) {
        const bool space = *c == '\n' || *c == '\t' || *c == ' ';
        if (space) {
            if (!line.empty() && line.back() != ' ')
                line += ' ';
        } else {
            line += *c;
        }
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

// The connection went away under a statement; worth one new connection.
struct ConnectionLost {
    std::string message;
};

// libpq's complaint about a URL quotes the URL, or the part of it it could
// not read, which may be the password: every quoted part longer than a
// character goes, what it says of the mistake stays.
std::string withoutQuotedParts(std::string reason)
{
    for (std::size_t open = reason.find('"'); open != std::string::npos; open = reason.find('"', open + 1)) {
        const std::size_t close = reason.find('"', open + 1);
        if (close == std::string::npos) {
            reason.erase(open);
            break;
        }
        if (close - open > 2)
            reason.erase(open, close - open + 1);
        else
            open = close;
    }
    while (!reason.empty() && (reason.back() == ' ' || reason.back() == ':'))
        reason.pop_back();
    return reason;
}

std::map<std::string, std::string> urlOptions(std::string_view url)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(std::string(url).c_str(), &error);
    if (!options) {
        const std::string reason = error ? withoutQuotedParts(oneLine(error)) : "it cannot be parsed";
        PQfreemem(error);
        throw HistoryError(HistoryErrorKind::malformedLocation,
                           "the history server's URL is malformed: " + reason);
    }
    std::map<std::string, std::string> given;
    for (const PQconninfoOption *option = options; option->keyword; ++option)
        if (option->val && *option->val)
            given[option->keyword] = option->val;
    PQconninfoFree(options);
    // libpq reads a port only when it connects; a URL's mistake is better
    // found before.
    if (given.contains("port")) {
        const std::string &port = given["port"];
        int number = 0;
        const auto [end, problem] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (problem != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535)
            throw HistoryError(HistoryErrorKind::malformedLocation,
                               "the history server's URL is malformed: \"" + port + "\" is no port number");
    }
    return given;
}

// How long a connection may take: the URL's connect_timeout, or 10 s where it
// names none or 0 (to libpq: for ever; a station cannot wait for ever).
std::chrono::seconds connectTimeoutOf(const std::string &url)
{
    const std::map<std::string, std::string> options = urlOptions(url);
    const auto given = options.find("connect_timeout");
    int seconds = 0;
    if (given != options.end())
        std::from_chars(given->second.data(), given->second.data() + given->second.size(), seconds);
    return std::chrono::seconds(seconds > 0 ? seconds : 10);
}

// Connects as PQconnectdbParams does, in steps: a stop the user asks for
// ends the wait at once, and a server that never answers is given up in time.
// Nothing when the wait ended so.
PGconn *connectInSteps(const char *const *keywords, const char *const *values, std::chrono::seconds timeout,
                       bool &stopped)
{
    stopped = false;
    PGconn *connection = PQconnectStartParams(keywords, values, 1);
    if (!connection || PQstatus(connection) == CONNECTION_BAD)
        return connection;
    const auto giveUp = std::chrono::steady_clock::now() + timeout;
    for (PostgresPollingStatusType status = PGRES_POLLING_WRITING;
         status != PGRES_POLLING_OK && status != PGRES_POLLING_FAILED;) {
        pollfd ready{PQsocket(connection), static_cast<short>(status == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        for (;;) {
            const int polled = ::poll(&ready, 1, 50);
            if (polled > 0 || (polled < 0 && errno != EINTR))
                break;  // PQconnectPoll says what became of it
            stopped = platform::stopRequest() != 0;
            if (stopped || std::chrono::steady_clock::now() > giveUp) {
                PQfinish(connection);
                return nullptr;
            }
        }
        status = PQconnectPoll(connection);
    }
    return connection;
}

class PostgresStore : public HistoryStore {
public:
    explicit PostgresStore(std::string url) : url_(std::move(url)), description_(serverIdentity(url_))
    {
        whileConnected([] {});
    }
    ~PostgresStore() override { PQfinish(connection_); }
    PostgresStore(const PostgresStore &) = delete;
    PostgresStore &operator=(const PostgresStore &) = delete;

    void append(const HistoryEntry &entry) override { appendAll({entry}); }

    void appendAll(const std::vector<HistoryEntry> &entries) override
    {
        std::lock_guard lock(mutex_);
        // An insert that was cut off may or may not have been kept: sending
        // it again is safe, since the server keeps each id once.
        whileConnected([&] {
            const bool several = entries.size() > 1;
            if (several)
                execute("BEGIN");
            for (const HistoryEntry &entry : entries)
                insert(entry);
            if (several)
                execute("COMMIT");
        });
    }

    std::vector<HistoryEntry> query(const HistoryFilter &filter) override
    {
        std::lock_guard lock(mutex_);
        std::vector<HistoryEntry> entries;
        whileConnected([&] {
            entries.clear();
            select(filter, entries);
        });
        return entries;
    }

    void checkWritable() override
    {
        std::lock_guard lock(mutex_);
        whileConnected([&] { execute("SELECT 1"); });
    }

private:
    template <typename Work>
    void whileConnected(const Work &work)
    {
        for (int attempt = 0;; ++attempt) {
            try {
                if (!connection_)
                    connect();
                work();
                return;
            } catch (const ConnectionLost &lost) {
                PQfinish(connection_);
                connection_ = nullptr;
                if (attempt == 1)
                    throw HistoryError(HistoryErrorKind::unreachable,
                                       "the connection to the history server " + description_ +
                                           " was lost: " + lost.message);
            }
        }
    }

    void connect()
    {
        // The URL's own settings come after these and win.
        const char *keywords[] = {"connect_timeout", "fallback_application_name", "dbname", nullptr};
        const char *values[] = {"10", "vantrel-update", url_.c_str(), nullptr};
        bool stopped = false;
        PGconn *connection = connectInSteps(keywords, values, connectTimeoutOf(url_), stopped);
        if (!connection)
            throw HistoryError(HistoryErrorKind::unreachable,
                               "the history server " + description_ +
                                   (stopped ? " was still being reached when the stop came"
                                            : " cannot be reached: it did not answer in time"));
        if (PQstatus(connection) != CONNECTION_OK) {
            const std::string reason = oneLine(PQerrorMessage(connection));
            // A server that asked for a password, or took one and still said
            // no, or sent its own refusal, was there to answer.
            const bool answered = PQconnectionNeedsPassword(connection) || PQconnectionUsedPassword(connection) ||
                                  reason.find("FATAL") != std::string::npos;
            PQfinish(connection);
            if (answered)
                throw HistoryError(HistoryErrorKind::loginRefused,
                                   "the history server " + description_ + " refused the connection: " + reason);
            throw HistoryError(HistoryErrorKind::unreachable,
                               "the history server " + description_ + " cannot be reached: " + reason);
        }
        connection_ = connection;
        try {
            makeSchema();
            std::string placeholders;
            for (std::size_t i = 1; i <= entryColumns().size(); ++i)
                placeholders += (i == 1 ? "$" : ", $") + std::to_string(i);
            const std::string insert = "INSERT INTO vantrel_history (" + entryColumnList() + ") VALUES (" +
                                       placeholders + ") ON CONFLICT (entry_id) DO NOTHING";
            check(Result(PQprepare(connection_, appendStatement, insert.c_str(), 0, nullptr), PQclear));
        } catch (...) {
            // The next statement connects anew, and checks the schema again.
            PQfinish(connection_);
            connection_ = nullptr;
            throw;
        }
    }

    int schemaVersion()
    {
        Result exists = execute("SELECT to_regclass('vantrel_history_schema') IS NOT NULL");
        if (std::string_view(PQgetvalue(exists.get(), 0, 0)) != "t")
            return 0;
        Result version = execute("SELECT max(version) FROM vantrel_history_schema");
        return PQgetisnull(version.get(), 0, 0) ? 0 : std::atoi(PQgetvalue(version.get(), 0, 0));
    }

    void makeSchema()
    {
        const int known = postgresSchemaVersion();
        auto check = [&](int version) {
            if (version > known)
                throw HistoryError(HistoryErrorKind::newerSchema,
                                   "the history server " + description_ +
                                       " was made by a newer version of this program (schema " +
                                       std::to_string(version) + ", this one knows " + std::to_string(known) +
                                       "): use that version");
            return version < known;
        };
        if (!check(schemaVersion()))
            return;
        // A failure ends the connection, and the lock with it.
        execute(schemaLock);
        execute("BEGIN");
        int version = schemaVersion();
        if (check(version)) {
            for (; version < known; ++version)
                execute(migrations[static_cast<std::size_t>(version)]);
            execute(("UPDATE vantrel_history_schema SET version = " + std::to_string(known)).c_str());
        }
        execute("COMMIT");
        execute(schemaUnlock);
    }

    void insert(const HistoryEntry &entry)
    {
        const std::vector<Field> fields = fieldsOf(entry);
        std::vector<std::string> numbers(fields.size());
        std::vector<const char *> values(fields.size());
        std::vector<int> lengths(fields.size()), formats(fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (const auto *number = std::get_if<std::int64_t>(&fields[i])) {
                numbers[i] = std::to_string(*number);
                values[i] = numbers[i].c_str();
            } else if (const auto *text = std::get_if<std::string>(&fields[i])) {
                values[i] = text->c_str();
            } else if (const auto *blob = std::get_if<Blob>(&fields[i])) {
                values[i] = blob->bytes.data();
                lengths[i] = static_cast<int>(blob->bytes.size());
                formats[i] = 1;
            }
        }
        check(Result(PQexecPrepared(connection_, appendStatement, static_cast<int>(fields.size()), values.data(),
                                    lengths.data(), formats.data(), 0),
                     PQclear));
    }

    void select(const HistoryFilter &filter, std::vector<HistoryEntry> &entries)
    {
        std::string columns;
        for (const Column &column : entryColumns()) {
            if (!columns.empty())
                columns += ", ";
            if (column.type == FieldType::time)
                columns += std::string("to_char(") + column.name +
                           " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')";
            else if (column.type == FieldType::uuid)
                columns += std::string(column.name) + "::text";
            else
                columns += column.name;
        }
        const std::vector<Condition> conditions = conditionsOf(filter);
        std::string sql = "SELECT " + columns + " FROM vantrel_history";
        std::vector<const char *> values;
        std::vector<int> lengths, formats;
        for (std::size_t i = 0; i < conditions.size(); ++i) {
            sql += std::string(i == 0 ? " WHERE " : " AND ") + conditions[i].column + " " + conditions[i].operation +
                   " $" + std::to_string(i + 1);
            if (const auto *blob = std::get_if<Blob>(&conditions[i].value)) {
                values.push_back(blob->bytes.data());
                lengths.push_back(static_cast<int>(blob->bytes.size()));
                formats.push_back(1);
            } else {
                values.push_back(std::get<std::string>(conditions[i].value).c_str());
                lengths.push_back(0);
                formats.push_back(0);
            }
        }
        sql += " ORDER BY recorded_at, seq";
        Result rows = check(Result(PQexecParams(connection_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                                values.data(), lengths.data(), formats.data(), 0),
                                   PQclear));
        const int count = PQntuples(rows.get());
        for (int row = 0; row < count; ++row) {
            std::vector<Field> fields;
            int index = 0;
            for (const Column &column : entryColumns())
                fields.push_back(field(rows.get(), row, index++, column.type));
            entries.push_back(entryOf(std::move(fields)));
        }
    }

    static Field field(const PGresult *rows, int row, int index, FieldType type)
    {
        if (PQgetisnull(rows, row, index))
            return Null{};
        const char *value = PQgetvalue(rows, row, index);
        const auto length = static_cast<std::size_t>(PQgetlength(rows, row, index));
        switch (type) {
        case FieldType::integer: {
            std::int64_t number = 0;
            std::from_chars(value, value + length, number);
            return number;
        }
        case FieldType::blob: {
            std::size_t size = 0;
            unsigned char *bytes = PQunescapeBytea(reinterpret_cast<const unsigned char *>(value), &size);
            Blob blob{std::string(reinterpret_cast<const char *>(bytes), bytes ? size : 0)};
            PQfreemem(bytes);
            return blob;
        }
        default: return std::string(value, length);
        }
    }

    Result execute(const char *sql) { return check(Result(PQexec(connection_, sql), PQclear)); }

    // The result of a statement that went well; throws for one that did not.
    Result check(Result result)
    {
        const ExecStatusType status = PQresultStatus(result.get());
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
            return result;
        const std::string reason = oneLine(result ? PQresultErrorMessage(result.get()) : PQerrorMessage(connection_));
        const char *state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
        const std::string_view code = state ? state : "";
        if (PQstatus(connection_) == CONNECTION_BAD || code.starts_with("08") || code.starts_with("57P"))
            throw ConnectionLost{reason};
        // A failed statement in a transaction leaves it for a rollback.
        if (PQtransactionStatus(connection_) == PQTRANS_INERROR)
            PQclear(PQexec(connection_, "ROLLBACK"));
        if (code == "53100")
            throw HistoryError(HistoryErrorKind::full, "the history server " + description_ + " is full: " + reason);
        if (code == "25006")
            throw HistoryError(HistoryErrorKind::readOnly,
                               "the history server " + description_ + " takes no writes: " + reason);
        throw HistoryError(HistoryErrorKind::failed, "the history server " + description_ + ": " + reason);
    }

    std::string url_;
    std::string description_;
    std::mutex mutex_;
    PGconn *connection_ = nullptr;
};

}  // namespace

std::unique_ptr<HistoryStore> openServerStore(const std::string &url)
{
    return std::make_unique<PostgresStore>(url);
}

std::string serverIdentity(std::string_view url)
{
    std::map<std::string, std::string> options = urlOptions(url);
    std::string identity = "postgresql://";
    if (options.contains("user"))
        identity += options["user"] + "@";
    identity += options.contains("host") ? options["host"] : options["hostaddr"];
    if (options.contains("port"))
        identity += ":" + options["port"];
    identity += "/" + options["dbname"];
    return identity;
}

int postgresSchemaVersion()
{
    return static_cast<int>(migrations.size());
}

bool serversSupported()
{
    return true;
}

}  // namespace history
