// Shared fixture of the store conformance tests: a fresh home folder with one
// data repository and two stores on it. The tests talk only to the
// repository library's interfaces, so they run against either database:
// SQLite, or PostgreSQL when RDM_TEST_STORE_DRIVER=postgresql (the server
// named by RDM_TEST_POSTGRESQL; each test gets a schema of its own there).
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "repadm.h"
#include "server_schema.h"
#include "temp_home.h"

namespace storetest {

const unsigned kAny = 0xFFFFFFFFu;

template <typename T>
struct Releaser {
    void operator()(T* object) const {
        if (object) object->release();
    }
};
template <typename T>
using Owned = std::unique_ptr<T, Releaser<T>>;

typedef std::vector<std::string> Row;

// Every row of a result set as texts ("<null>" for NULL); releases it.
std::vector<Row> rowsOf(StoreResultSet* resultSet);
// The column names of a result set; releases it.
std::vector<std::string> namesOf(StoreResultSet* resultSet);
// Row counts of every table, by name.
std::map<std::string, int> tableCounts(RefDataStore* store);

// True when the tests run against PostgreSQL.
bool onPostgresql();

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A second store on the same database.
    Owned<RefDataStore> otherStore() { return Owned<RefDataStore>(repository_->createStore()); }

    // Builders answering the new id (failing the test on an error).
    unsigned domain(const char* name, const char* kind = "L");
    unsigned version(unsigned domainId, int number, const char* label = "v");
    unsigned item(const char* key, const char* text = "item text");
    unsigned versionItem(unsigned versionId, unsigned itemId, const char* label = nullptr,
                         unsigned parent = kAny);
    unsigned attribute(const char* name, const char* label = "label");
    // A value of attribute on versionItem with one text per language id given.
    unsigned value(unsigned versionId, unsigned versionItemId, unsigned attributeId,
                   const std::vector<std::pair<std::string, unsigned>>& texts);

    // The data source of the test's repository.
    std::string dsn_;
    std::unique_ptr<ServerSchema> schema_;  // PostgreSQL: the test's own schema, dropped after it
    const QxbString empty_;
    const QxbDate noDate_;
    std::unique_ptr<TempHome> home_;
    Owned<RepositoryAdmin> admin_;
    Owned<Repository> repository_;
    Owned<RefDataStore> store_;
};

}  // namespace storetest
