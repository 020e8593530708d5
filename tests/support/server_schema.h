// ServerSchema: a schema of its own on the PostgreSQL server that
// RDM_TEST_POSTGRESQL names (a postgresql:// URI), for one test; dropped
// with the object.
#pragma once

#include <string>

class ServerSchema {
public:
    // Makes the schema; dsn() stays empty (and error() says why) when there
    // is no server or the schema cannot be made.
    ServerSchema();
    // Drops the schema with everything in it; a failed drop fails the test.
    ~ServerSchema();
    ServerSchema(const ServerSchema&) = delete;
    ServerSchema& operator=(const ServerSchema&) = delete;

    // The server's URI choosing the schema: the data source of a repository
    // whose tables live there.
    const std::string& dsn() const { return dsn_; }
    const std::string& error() const { return error_; }

    // True when RDM_TEST_POSTGRESQL names a server that answers; otherwise
    // false with the reason in *why.
    static bool serverAnswers(std::string* why);

private:
    std::string name_, dsn_, error_;
};
