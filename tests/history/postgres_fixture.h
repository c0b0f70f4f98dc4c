#pragma once

// The PostgreSQL server that the test run starts (postgres_server.sh, in
// VANTREL_POSTGRES_FOLDER), and a database of each test's own on it.

#include <libpq-fe.h>

#include <fstream>
#include <string>

#include "tests/history/history_fixture.h"

inline std::string serverPassword(const std::string &folder)
{
    std::string password;
    std::getline(std::ifstream(folder + "/password"), password);
    return password;
}

// A URL for a database on the server in `folder`: the socket's folder is the
// host; no password when `password` is empty.
inline std::string serverUrl(const std::string &folder, const std::string &database, const std::string &password)
{
    return "postgresql://vantrel" + (password.empty() ? "" : ":" + password) + "@/" + database + "?host=" + folder;
}

// One statement as the server's administrator; the first value it gives.
inline std::string serverSql(const std::string &folder, const std::string &database, const std::string &sql)
{
    PGconn *connection = PQconnectdb(serverUrl(folder, database, serverPassword(folder)).c_str());
    EXPECT_EQ(PQstatus(connection), CONNECTION_OK) << PQerrorMessage(connection);
    PGresult *result = PQexec(connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    EXPECT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) << sql << ": " << PQerrorMessage(connection);
    std::string value = status == PGRES_TUPLES_OK && PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
    PQclear(result);
    PQfinish(connection);
    return value;
}

// A new, empty database, dropped at the end.
class ServerDatabase {
public:
    explicit ServerDatabase(std::string folder = VANTREL_POSTGRES_FOLDER) : folder_(std::move(folder))
    {
        for (const char c : history::newEntryId())
            if (c != '-')
                name_ += c;
        name_ = "test_" + name_;
        serverSql(folder_, "postgres", "CREATE DATABASE " + name_);
    }
    ~ServerDatabase() { serverSql(folder_, "postgres", "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)"); }
    ServerDatabase(const ServerDatabase &) = delete;
    ServerDatabase &operator=(const ServerDatabase &) = delete;

    const std::string &folder() const { return folder_; }
    const std::string &name() const { return name_; }
    std::string url() const { return serverUrl(folder_, name_, serverPassword(folder_)); }
    std::string sql(const std::string &statement) const { return serverSql(folder_, name_, statement); }

private:
    std::string folder_;
    std::string name_;
};
