// A schema per test on the PostgreSQL test server.
#include "server_schema.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>

namespace {

const char* server() {
    const char* uri = std::getenv("RDM_TEST_POSTGRESQL");
    return uri && *uri ? uri : nullptr;
}

// Runs sql on the test server; false with the reason in *error.
bool run(const std::string& sql, std::string* error) {
    if (!server()) {
        *error = "RDM_TEST_POSTGRESQL names no server";
        return false;
    }
    PGconn* connection = PQconnectdb(server());
    PQsetNoticeProcessor(connection, [](void*, const char*) {}, nullptr);  // "drop cascades to ..."
    PGresult* result = PQstatus(connection) == CONNECTION_OK ? PQexec(connection, sql.c_str()) : nullptr;
    const bool ok = result && (PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK);
    if (!ok) *error = PQerrorMessage(connection);
    PQclear(result);
    PQfinish(connection);
    return ok;
}

}  // namespace

ServerSchema::ServerSchema() {
    static int schemas = 0;
    name_ = "rdm_test_" + std::to_string(getpid()) + "_" + std::to_string(++schemas);
    if (!run("CREATE SCHEMA " + name_, &error_)) return;
    const std::string uri = server();
    dsn_ = uri + (uri.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + name_;
}

ServerSchema::~ServerSchema() {
    std::string error;
    if (!dsn_.empty() && !run("DROP SCHEMA " + name_ + " CASCADE", &error)) ADD_FAILURE() << error;
}

bool ServerSchema::serverAnswers(std::string* why) {
    return run("SELECT 1", why);
}
