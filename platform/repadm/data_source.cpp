// Opening data repositories: DSN resolution, table-prefix validation, and
// the schema created when a repository is created.
#include "data_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>
#include <vector>

#include "qxbcpp.h"
#include "qxdac.h"
#include "qxlog.h"

namespace repadm {

namespace {

static const char* kSchema =
#include "repadm_schema.inc"
    ;

static const char* kSchemaPostgresql =
#include "repadm_schema_postgresql.inc"
    ;

const char kSqlitePrefix[] = "sqlite:";
const std::size_t kMaxPrefixLength = 30;

bool startsWith(const std::string& text, const char* start) {
    return text.compare(0, std::char_traits<char>::length(start), start) == 0;
}

bool isPostgresql(const std::string& connection) {
    return startsWith(connection, "postgresql://") || startsWith(connection, "postgres://");
}

// The target of a connection string: a database file's path (sqlite:PATH),
// or the PostgreSQL URI itself.
bool pathOfConnection(const std::string& connection, std::string* path) {
    if (isPostgresql(connection)) {
        *path = connection;
        return true;
    }
    if (!startsWith(connection, kSqlitePrefix)) return false;
    std::string rest = connection.substr(std::char_traits<char>::length(kSqlitePrefix));
    // "file:" URIs are passed on as they are (they carry their own options).
    *path = startsWith(rest, "file:") ? rest : qxbResolveHomePath(rest);
    return !rest.empty();
}

// Reads the recorded schema version; 0 when the database has no schema.
int schemaVersion(StoreSession& session, std::string* error) {
    SqlConnection& connection = session.connection();
    const int exists = connection.tableExists(session.prefix() + "meta", error);
    if (exists <= 0) return exists;
    std::unique_ptr<SqlStatement> statement = connection.prepare(
        session.withPrefix("SELECT META_VALUE FROM {P}meta WHERE META_KEY = 'SCHEMA_VERSION'"),
        error);
    if (!statement) return -1;
    if (statement->step() != 1) {
        *error = "the table " + session.prefix() + "meta records no schema version";
        return -1;
    }
    std::size_t length = 0;
    const char* text = statement->columnText(0, &length);
    return QxbString(text, length).asInt();
}

bool createSchema(StoreSession& session, std::string* error) {
    SqlConnection& connection = session.connection();
    if (!connection.beginWrite(error)) return false;
    // Another process may have created it while this one waited.
    const int version = schemaVersion(session, error);
    bool ok = version >= 0;
    const char* schema = connection.dialect() == SqlDialect::Postgresql ? kSchemaPostgresql : kSchema;
    if (ok && version == 0) ok = connection.execute(session.withPrefix(schema), error);
    if (ok) return connection.execute("COMMIT", error);
    std::string ignored;
    connection.execute("ROLLBACK", &ignored);
    return false;
}

// Runs sql (its "{P}" filled in) on the session's connection.
bool runSql(StoreSession& session, const std::string& sql, std::string* error) {
    return session.connection().execute(session.withPrefix(sql), error);
}

// The schema's statements that create table (without prefix) and its
// indexes, in the schema's order.
std::vector<std::string> statementsOf(const std::string& table, const char* schemaText = kSchema) {
    const std::string created = "CREATE TABLE {P}" + table + " (";
    const std::string indexed = " ON {P}" + table + " (";
    std::vector<std::string> found;
    const std::string schema = schemaText;
    std::size_t start = 0;
    for (std::size_t end = schema.find(';'); end != std::string::npos; end = schema.find(';', start)) {
        std::string statement = schema.substr(start, end - start);
        start = end + 1;
        // Comment lines before a statement belong to no statement.
        std::size_t at = 0;
        while (at < statement.size() && (statement[at] == '\n' || statement.compare(at, 2, "--") == 0)) {
            const std::size_t next = statement.find('\n', at);
            at = next == std::string::npos ? statement.size() : next + 1;
        }
        statement.erase(0, at);
        if (statement.compare(0, created.size(), created) == 0 ||
            (statement.compare(0, 13, "CREATE INDEX ") == 0 && statement.find(indexed) != std::string::npos)) {
            found.push_back(statement);
        }
    }
    return found;
}

// The single integer answer of sql, with text (when given) bound to its one
// parameter; 0 when it has no row.
bool integerOf(SqlConnection& connection, const std::string& sql, const std::string* text,
               std::int64_t* value, std::string* error) {
    std::unique_ptr<SqlStatement> statement = connection.prepare(sql, error);
    if (!statement) return false;
    const int rc = !text || statement->bindText(1, text->data(), text->size()) ? statement->step() : -1;
    if (rc < 0) {
        *error = connection.errorText();
        return false;
    }
    *value = rc == 1 ? statement->columnInt(0) : 0;
    return true;
}

// The names of table's own indexes (not those SQLite makes for a UNIQUE).
bool indexesOf(SqlConnection& connection, const std::string& table, std::vector<std::string>* names,
               std::string* error) {
    std::unique_ptr<SqlStatement> statement = connection.prepare(
        "SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL AND tbl_name = ?", error);
    if (!statement) return false;
    int rc = statement->bindText(1, table.data(), table.size()) ? 1 : -1;
    while (rc == 1 && (rc = statement->step()) == 1) {
        std::size_t length = 0;
        const char* name = statement->columnText(0, &length);
        names->emplace_back(name, length);
    }
    if (rc < 0) *error = connection.errorText();
    return rc == 0;
}

const char* const kBulkTables[] = {"items", "localized_texts", "version_items",
                                   "item_attribute_values", "version_item_values",
                                   "version_item_value_links", "change_records"};

// Version 1 numbered every table with AUTOINCREMENT; version 2 has the store
// number the bulk tables (see schema.sql) and drops two indexes. Each bulk
// table is made anew by the schema's own statements and refilled; its
// sequence carries on from SQLite's, so no id is ever used twice.
bool migrateFrom1(StoreSession& session, std::string* error) {
    SqlConnection& connection = session.connection();
    for (const std::string& statement : statementsOf("id_sequences"))
        if (!runSql(session, statement, error)) return false;
    for (const std::string table : kBulkTables) {
        const std::string name = session.prefix() + table;
        std::int64_t sequence = 0, highest = 0;
        std::vector<std::string> indexes;
        if (!integerOf(connection, "SELECT seq FROM sqlite_sequence WHERE name = ?", &name, &sequence, error) ||
            !integerOf(connection, session.withPrefix("SELECT MAX(ID) FROM {P}" + table), nullptr, &highest,
                       error) ||
            !indexesOf(connection, name, &indexes, error)) {
            return false;
        }
        // The new indexes take the old ones' names.
        for (const std::string& index : indexes)
            if (!connection.execute("DROP INDEX \"" + index + "\"", error)) return false;
        if (!runSql(session, "ALTER TABLE {P}" + table + " RENAME TO {P}" + table + "_v1", error)) return false;
        for (const std::string& statement : statementsOf(table))
            if (!runSql(session, statement, error)) return false;
        if (!runSql(session, "INSERT INTO {P}" + table + " SELECT * FROM {P}" + table + "_v1", error) ||
            !runSql(session, "DROP TABLE {P}" + table + "_v1", error)) {
            return false;
        }
        std::unique_ptr<SqlStatement> sequenceRow = connection.prepare(
            session.withPrefix("INSERT INTO {P}id_sequences (TABLE_NAME, LAST_ID) VALUES (?, ?)"), error);
        if (!sequenceRow || !sequenceRow->bindText(1, table.data(), table.size()) ||
            !sequenceRow->bindInt(2, std::max(sequence, highest)) || sequenceRow->step() < 0) {
            if (sequenceRow) *error = connection.errorText();
            return false;
        }
    }
    return runSql(session, "UPDATE {P}meta SET META_VALUE = '2' WHERE META_KEY = 'SCHEMA_VERSION'", error);
}

// Version 3 makes a domain's version numbers unique. A repository that
// holds one number twice (written by another program, or by two writers
// that raced before the constraint) keeps every version: each later holder
// of a number (by id) takes the domain's next free number, and the log says
// which.
bool migrateFrom2(StoreSession& session, std::vector<std::string>* notices, std::string* error) {
    SqlConnection& connection = session.connection();
    struct Renumbered {
        std::int64_t id, domain, number, to;
    };
    std::vector<Renumbered> twins;
    {
        std::unique_ptr<SqlStatement> statement = connection.prepare(
            session.withPrefix("SELECT v.ID, v.DOMAIN_ID, v.VERSION_NUMBER FROM {P}domain_versions v WHERE EXISTS "
                               "(SELECT 1 FROM {P}domain_versions o WHERE o.DOMAIN_ID = v.DOMAIN_ID AND "
                               "o.VERSION_NUMBER = v.VERSION_NUMBER AND o.ID < v.ID) ORDER BY v.ID"),
            error);
        if (!statement) return false;
        int rc;
        while ((rc = statement->step()) == 1)
            twins.push_back({statement->columnInt(0), statement->columnInt(1), statement->columnInt(2), 0});
        if (rc < 0) {
            *error = connection.errorText();
            return false;
        }
    }
    std::unique_ptr<SqlStatement> renumber;
    if (!twins.empty()) {
        renumber = connection.prepare(
            session.withPrefix("UPDATE {P}domain_versions SET VERSION_NUMBER = (SELECT MAX(VERSION_NUMBER) + 1 "
                               "FROM {P}domain_versions WHERE DOMAIN_ID = ?) WHERE ID = ? RETURNING VERSION_NUMBER"),
            error);
        if (!renumber) return false;
    }
    for (Renumbered& twin : twins) {
        if (!renumber->bindInt(1, twin.domain) || !renumber->bindInt(2, twin.id) || renumber->step() != 1) {
            *error = connection.errorText();
            return false;
        }
        twin.to = renumber->columnInt(0);
        renumber->reset();  // done with the row: the table is altered next
    }
    if (!runSql(session, "DROP INDEX {P}domain_versions_domain", error) ||
        !runSql(session, "CREATE UNIQUE INDEX {P}domain_versions_domain ON {P}domain_versions (DOMAIN_ID, VERSION_NUMBER)",
                error) ||
        !runSql(session, "UPDATE {P}meta SET META_VALUE = '3' WHERE META_KEY = 'SCHEMA_VERSION'", error)) {
        return false;
    }
    for (const Renumbered& twin : twins) {
        notices->push_back("held version number " + std::to_string(twin.number) + " of domain " +
                           std::to_string(twin.domain) + " twice: version " + std::to_string(twin.id) +
                           " is now number " + std::to_string(twin.to));
    }
    return true;
}

// Version 4 lets versions share link rows: which a version holds is its
// bitmaps (see schema.sql). Every link row keeps its id and is held by the
// version it names; the bitmaps take the place of the links' version index.
// Rows already stored twice stay apart; new versions share.
bool migrateFrom3(StoreSession& session, std::string* error) {
    SqlConnection& connection = session.connection();
    const char* schema = connection.dialect() == SqlDialect::Postgresql ? kSchemaPostgresql : kSchema;
    for (const std::string& statement : statementsOf("version_link_sets", schema))
        if (!runSql(session, statement, error)) return false;
    if (!runSql(session, "DROP INDEX IF EXISTS {P}version_item_value_links_version", error)) return false;
    // A few hundred blocks of 512 bytes for millions of links.
    std::map<std::pair<std::int64_t, std::int64_t>, std::string> blocks;
    {
        std::unique_ptr<SqlStatement> links = connection.prepare(
            session.withPrefix("SELECT VERSION_ID, ID FROM {P}version_item_value_links WHERE VERSION_ID IS NOT NULL"),
            error);
        if (!links) return false;
        int rc;
        while ((rc = links->step()) == 1) {
            const std::int64_t id = links->columnInt(1);
            StoreSession::setLinkBit(&blocks[{links->columnInt(0), id / StoreSession::kLinkBlock}], id, true);
        }
        if (rc < 0) {
            *error = connection.errorText();
            return false;
        }
    }
    std::unique_ptr<SqlStatement> insert = connection.prepare(
        session.withPrefix("INSERT INTO {P}version_link_sets (VERSION_ID, BLOCK, BITS) VALUES (?, ?, ?)"), error);
    if (!insert) return false;
    for (const auto& block : blocks) {
        if (!insert->bindInt(1, block.first.first) || !insert->bindInt(2, block.first.second) ||
            !insert->bindBlob(3, block.second.data(), block.second.size()) || insert->step() < 0) {
            *error = connection.errorText();
            return false;
        }
        insert->reset();
    }
    return runSql(session, "UPDATE {P}meta SET META_VALUE = '4' WHERE META_KEY = 'SCHEMA_VERSION'", error);
}

// Brings a repository of an older schema version to this one, in one
// transaction: a failure leaves it as it was.
bool migrate(StoreSession& session, const std::string& path, std::string* error) {
    SqlConnection& connection = session.connection();
    if (!connection.beginWrite(error)) return false;
    // Another process may have migrated it while this one waited.
    int version = schemaVersion(session, error);
    const int found = version;
    std::vector<std::string> notices;
    bool ok = version >= 0;
    if (ok && version == 1) {
        ok = migrateFrom1(session, error);
        version = 2;
    }
    if (ok && version == 2) {
        ok = migrateFrom2(session, &notices, error);
        version = 3;
    }
    if (ok && version == 3) {
        ok = migrateFrom3(session, error);
        version = 4;
    }
    if (ok && connection.execute("COMMIT", error)) {
        if (found < kSchemaVersion) {
            qxlogGetLogger("repadm")->log(QXLOG_NOTICE, __FILE__, __LINE__,
                                          "migrated the repository \"%s\" (prefix \"%s\") from schema "
                                          "version %d to %d", path.c_str(), session.prefix().c_str(),
                                          found, version);
        }
        for (const std::string& notice : notices) {
            qxlogGetLogger("repadm")->log(QXLOG_NOTICE, __FILE__, __LINE__, "the repository \"%s\" (prefix \"%s\") %s",
                                          path.c_str(), session.prefix().c_str(), notice.c_str());
        }
        return true;
    }
    std::string ignored;
    connection.execute("ROLLBACK", &ignored);
    return false;
}

// Creates the folders above a new database file (owner-only) when it lies
// under the home folder, as a relative DSN names a file there that may not
// exist yet. Folders elsewhere are the user's to make: a mistyped absolute
// path is reported, not created.
void createParentFolders(const std::string& path) {
    const std::string home = qxbHomeFolder() + "/";
    if (startsWith(path, "file:") || path.compare(0, home.size(), home) != 0) return;
    for (std::size_t at = path.find('/', home.size()); at != std::string::npos; at = path.find('/', at + 1)) {
        mkdir(path.substr(0, at).c_str(), 0700);
    }
}

// Before an ordinary open: a database file that is gone or empty is
// reported by its path instead of being taken for a new, empty repository.
// A "file:" URI is checked by SQLite alone (it opens without creating).
bool databaseFileThere(const std::string& path, std::string* error) {
    if (startsWith(path, "file:")) return true;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) return true;  // SQLite gives the reason
        *error = "the database \"" + path + "\" does not exist (deleted, moved, or the data source "
                 "names the wrong file); only creating a repository makes a database";
        return false;
    }
    if (S_ISREG(info.st_mode) && info.st_size == 0) {
        *error = "the database \"" + path + "\" is an empty file: it holds no reference-data tables";
        return false;
    }
    return true;
}

}  // namespace

bool validTablePrefix(const std::string& prefix, std::string* error) {
    bool ok = prefix.size() <= kMaxPrefixLength;
    for (std::size_t i = 0; ok && i < prefix.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(prefix[i]);
        ok = c < 128 && (std::isalnum(c) || c == '_') && !(i == 0 && std::isdigit(c));
    }
    if (!ok) {
        *error = "invalid table prefix \"" + prefix +
                 "\": use at most 30 letters, digits and '_', not starting with a digit";
        return false;
    }
    // SQLite reserves table names starting with "sqlite_", in any case.
    std::string folded = prefix.substr(0, 7);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (folded == "sqlite_") {
        *error = "invalid table prefix \"" + prefix + "\": names starting with \"sqlite_\" are "
                 "reserved by the database";
        return false;
    }
    return true;
}

bool resolveDsn(const std::string& dsn, std::string* path, std::string* error) {
    if (pathOfConnection(dsn, path)) return true;
    if (startsWith(dsn, kSqlitePrefix)) {
        *error = "the data source \"" + dsn + "\" names no database file";
        return false;
    }
    QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
    if (!options) {
        *error = std::string("cannot read the configuration: ") + qxbGetConfigError().asCstr();
        return false;
    }
    for (int i = 0; i < options->dataSourceCount(); ++i) {
        QxbString name, connection, driver, description;
        if (!options->dataSource(i, &name, &connection, &driver, &description)) continue;
        if (name.str() != dsn) continue;
        if (pathOfConnection(connection.str(), path)) return true;
        *error = "the data source \"" + dsn + "\" has the connection \"" + dacMaskConnection(connection.str()) +
                 "\"; only \"sqlite:PATH\" and \"postgresql://...\" are supported";
        return false;
    }
    *error = "unknown data source \"" + dacMaskConnection(dsn) +
             "\": neither \"sqlite:PATH\", \"postgresql://...\" nor a name of the configuration's [datasources]";
    return false;
}

std::shared_ptr<StoreSession> openSession(const std::string& target, const std::string& prefix,
                                          bool create, std::string* error) {
    std::string reason;
    // Messages name the database without its password.
    const bool server = isPostgresql(target);
    const std::string path = server ? dacMaskConnection(target) : target;
    std::unique_ptr<SqlConnection> connection;
    if (server) {
        connection = openPostgresqlConnection(target, prefix, &reason);
    } else {
        if (create)
            createParentFolders(path);
        else if (!databaseFileThere(path, error))
            return nullptr;
        connection = openSqliteConnection(path, &reason, create);
    }
    if (!connection) {
        *error = "cannot open the database \"" + path + "\": " + reason;
        return nullptr;
    }
    auto session = std::make_shared<StoreSession>(std::move(connection), prefix);
    int version = schemaVersion(*session, &reason);
    if (version == 0 && create) {
        if (!createSchema(*session, &reason))
            version = -1;
        else
            version = kSchemaVersion;
    }
    if (version < 0) {
        *error = "cannot use the database \"" + path + "\": " + reason;
        return nullptr;
    }
    if (version == 0) {
        *error = "the database \"" + path + "\" holds no reference-data tables with the prefix \"" +
                 prefix + "\" (only creating a repository creates them)";
        return nullptr;
    }
    if (version > 0 && version < kSchemaVersion) {
        if (!migrate(*session, path, &reason)) {
            *error = "cannot bring the database \"" + path + "\" from schema version " +
                     std::to_string(version) + " to " + std::to_string(kSchemaVersion) + ": " + reason;
            return nullptr;
        }
        version = kSchemaVersion;
    }
    if (version > kSchemaVersion) {
        *error = "the database \"" + path + "\" has schema version " + std::to_string(version) +
                 ", newer than this program's " + std::to_string(kSchemaVersion);
        return nullptr;
    }
    return session;
}

}  // namespace repadm
