// Shared fixture of the store conformance tests.
#include "store_fixture.h"

#include <cstdio>
#include <cstdlib>

namespace storetest {

namespace {

// Against PostgreSQL, a run without a server is skipped as a whole, saying
// why (ctest shows the exit status 77 as "skipped"), never passed.
class ServerCheck : public ::testing::Environment {
public:
    void SetUp() override {
        if (!onPostgresql()) return;
        std::string error;
        if (ServerSchema::serverAnswers(&error)) return;
        std::printf("PostgreSQL is not available, so the store tests on it are skipped: %s\n", error.c_str());
        std::fflush(stdout);
        std::_Exit(77);
    }
};
const auto* const serverCheck = ::testing::AddGlobalTestEnvironment(new ServerCheck);

}  // namespace

bool onPostgresql() {
    const char* driver = std::getenv("RDM_TEST_STORE_DRIVER");
    return driver && std::string(driver) == "postgresql";
}

std::vector<Row> rowsOf(StoreResultSet* resultSet) {
    std::vector<Row> rows;
    EXPECT_NE(resultSet, nullptr);
    if (!resultSet) return rows;
    while (resultSet->next() == 1) {
        Row row;
        for (int i = 0; i < resultSet->getColumnCount(); ++i) {
            row.push_back(resultSet->isNull(i) ? "<null>" : resultSet->getString(i).str());
        }
        rows.push_back(row);
    }
    resultSet->release();
    return rows;
}

std::vector<std::string> namesOf(StoreResultSet* resultSet) {
    std::vector<std::string> names;
    EXPECT_NE(resultSet, nullptr);
    if (!resultSet) return names;
    for (int i = 0; i < resultSet->getColumnCount(); ++i) {
        names.push_back(resultSet->getColumnName(i).str());
    }
    resultSet->release();
    return names;
}

std::map<std::string, int> tableCounts(RefDataStore* store) {
    std::map<std::string, int> counts;
    StoreResultSet* resultSet = store->listTableCounts();
    EXPECT_NE(resultSet, nullptr) << store->getLastError().asCstr();
    if (!resultSet) return counts;
    while (resultSet->next() == 1) counts[resultSet->getString(0).str()] = resultSet->getInt(1);
    resultSet->release();
    return counts;
}

void StoreTest::SetUp() {
    home_.reset(new TempHome());
    dsn_ = "sqlite:data.db";
    if (onPostgresql()) {
        schema_.reset(new ServerSchema());
        ASSERT_FALSE(schema_->dsn().empty()) << schema_->error();
        dsn_ = schema_->dsn();
    }
    admin_.reset(createRepositoryAdmin(1, 0));
    ASSERT_TRUE(admin_) << getRepositoryAdminError();
    ASSERT_TRUE(admin_->createRepositoryByDsn(dsn_.c_str(), "t_")) << admin_->getLastError().asCstr();
    repository_.reset(admin_->openRepositoryByDsn(dsn_.c_str(), "t_", 0, 0));
    ASSERT_TRUE(repository_) << admin_->getLastError().asCstr();
    store_.reset(repository_->createStore());
    ASSERT_TRUE(store_);
}

void StoreTest::TearDown() {
    store_.reset();
    repository_.reset();
    admin_.reset();
    home_.reset();
    schema_.reset();
}

unsigned StoreTest::domain(const char* name, const char* kind) {
    unsigned id = 0;
    EXPECT_TRUE(store_->insertDomain(name, "description", "text1", "Y", "N", "scope", 7, "text8", 1,
                                     10, QxbDate(2460000.5), kind, &id))
        << store_->getLastError().asCstr();
    return id;
}

unsigned StoreTest::version(unsigned domainId, int number, const char* label) {
    unsigned id = 0;
    EXPECT_TRUE(store_->insertDomainVersion(domainId, number, label, "Y", "Y", "text", 1, "N", 9,
                                            noDate_, &id))
        << store_->getLastError().asCstr();
    return id;
}

unsigned StoreTest::item(const char* key, const char* text) {
    unsigned id = 0;
    EXPECT_TRUE(store_->insertItem(key, text, "Y", "Y", "P", 1, &id))
        << store_->getLastError().asCstr();
    return id;
}

unsigned StoreTest::versionItem(unsigned versionId, unsigned itemId, const char* label,
                                unsigned parent) {
    unsigned id = 0;
    EXPECT_TRUE(
        store_->insertVersionItem(versionId, itemId, 1, QxbString(label), parent, nullptr, &id))
        << store_->getLastError().asCstr();
    return id;
}

unsigned StoreTest::attribute(const char* name, const char* label) {
    unsigned id = 0;
    EXPECT_TRUE(store_->insertAttribute(name, label, 1, "SINGLELINETEXT", 1, 1, 1, empty_, &id))
        << store_->getLastError().asCstr();
    return id;
}

unsigned StoreTest::value(unsigned versionId, unsigned versionItemId, unsigned attributeId,
                          const std::vector<std::pair<std::string, unsigned>>& texts) {
    unsigned id = 0;
    EXPECT_TRUE(store_->insertItemAttributeValue(versionItemId, attributeId, &id))
        << store_->getLastError().asCstr();
    EXPECT_TRUE(store_->insertVersionItemValue(versionId, id)) << store_->getLastError().asCstr();
    for (const auto& text : texts) {
        const QxbString content(text.first);
        EXPECT_TRUE(
            store_->writeRow(&content, nullptr, text.second, id, &versionId, nullptr, nullptr))
            << store_->getLastError().asCstr();
    }
    return id;
}

}  // namespace storetest
