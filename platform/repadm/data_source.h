// Opening data repositories: DSN resolution, table-prefix validation, and
// the schema created when a repository is created.
#pragma once

#include <memory>
#include <string>

#include "store_session.h"

namespace repadm {

// The schema version this library writes and reads.
const int kSchemaVersion = 4;

// A table prefix: letters, digits and '_', not starting with a digit, at
// most 30 characters; the empty prefix is allowed.
bool validTablePrefix(const std::string& prefix, std::string* error);

// The database path behind a DSN: "sqlite:PATH" or the name of a data source
// of the configuration whose connection is "sqlite:PATH". Relative paths are
// taken from the home folder.
bool resolveDsn(const std::string& dsn, std::string* path, std::string* error);

// A session on the database at path. create: make the database (owner-only,
// with its missing folders under the home folder) and the schema when they
// are missing, and seed it; otherwise a missing or empty file or a missing
// schema is an error naming the path and prefix. Null with the reason in
// *error.
std::shared_ptr<StoreSession> openSession(const std::string& path, const std::string& prefix,
                                          bool createSchema, std::string* error);

}  // namespace repadm
