#pragma once

// A store of history entries: one engine (an SQLite file, a PostgreSQL
// database). Its failures are HistoryError; History adds the spool.

#include <vector>

#include "history/history.h"

namespace history {

class HistoryStore {
public:
    virtual ~HistoryStore() = default;
    // Keeps the entry; an entry whose id the store already has is kept once.
    virtual void append(const HistoryEntry &entry) = 0;
    // Several entries in the order given, as one transaction where the store
    // has them; for the spool's drain.
    virtual void appendAll(const std::vector<HistoryEntry> &entries)
    {
        for (const HistoryEntry &entry : entries)
            append(entry);
    }
    // Oldest first.
    virtual std::vector<HistoryEntry> query(const HistoryFilter &filter) = 0;
    // Whether the store could take an entry now: throws the HistoryError an
    // append would meet (a server out of reach, a file locked or read-only),
    // and writes nothing.
    virtual void checkWritable() = 0;
};

}  // namespace history
