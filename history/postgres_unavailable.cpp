// A build without libpq (the Windows build): the history is kept in files.

#include "history/postgres_store.h"

namespace history {

namespace {

[[noreturn]] void unsupported()
{
    throw HistoryError(HistoryErrorKind::unsupported,
                       "this build keeps the history in files only: it cannot reach a PostgreSQL server");
}

}  // namespace

std::unique_ptr<HistoryStore> openServerStore(const std::string &)
{
    unsupported();
}

std::string serverIdentity(std::string_view)
{
    unsupported();
}

int postgresSchemaVersion()
{
    return 0;
}

bool serversSupported()
{
    return false;
}

}  // namespace history
