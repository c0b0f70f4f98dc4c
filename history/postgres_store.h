#pragma once

// The history in a PostgreSQL database that a line of stations shares,
// through libpq. A build without libpq has the declarations, and each
// throws HistoryError (unsupported).

#include <memory>
#include <string>
#include <string_view>

#include "history/history_store.h"

namespace history {

// Connects (the table and its schema made when missing) and keeps the
// connection, connecting again once when it was lost. Throws HistoryError.
std::unique_ptr<HistoryStore> openServerStore(const std::string &url);

// The database a postgresql:// URL names, without its password, as the spool
// knows it and messages name it: "postgresql://user@host:port/database".
// Throws HistoryError (malformedLocation) for a URL that cannot be parsed.
std::string serverIdentity(std::string_view url);

// The schema this version writes.
int postgresSchemaVersion();

}  // namespace history
