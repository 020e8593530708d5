// Named repositories, data repositories and their key/values.
#include <sys/stat.h>

#include "store_fixture.h"

namespace storetest {
namespace {

class RepositoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        admin_.reset(createRepositoryAdmin(1, 0));
        ASSERT_TRUE(admin_) << getRepositoryAdminError();
    }
    TempHome home_;
    Owned<RepositoryAdmin> admin_;
};

TEST_F(RepositoryTest, FactoryRefusesAnUnknownVersion) {
    EXPECT_EQ(createRepositoryAdmin(2, 0), nullptr);
    EXPECT_NE(std::string(getRepositoryAdminError()).find("2"), std::string::npos);
}

TEST_F(RepositoryTest, FoldersAreCreatedOnlyUnderTheHomeFolder) {
    Owned<Repository> nested(admin_->openRepositoryByDsn("sqlite:data/sub/x.db", "p_", 0, 0));
    ASSERT_TRUE(nested) << admin_->getLastError().asCstr();
    EXPECT_TRUE(home_.exists("data/sub/x.db"));

    const std::string elsewhere = home_.path() + "-elsewhere/dir/x.db";
    EXPECT_FALSE(admin_->openRepositoryByDsn(QxbString("sqlite:" + elsewhere), "p_", 0, 0));
    EXPECT_NE(admin_->getLastError().str().find(elsewhere), std::string::npos) << admin_->getLastError().asCstr();
    struct stat info {};
    EXPECT_NE(stat((home_.path() + "-elsewhere").c_str(), &info), 0) << "nothing is created outside the home folder";
}

TEST_F(RepositoryTest, CreateOpenAndListNamedRepositories) {
    ASSERT_TRUE(admin_->createRepository("main", "sqlite:main.db", "kiv_rdm_"));
    ASSERT_TRUE(admin_->createRepository("alt.1", "sqlite:alt.db", "x_"));
    EXPECT_FALSE(admin_->createRepository("main", "sqlite:other.db", "y_"));
    EXPECT_FALSE(admin_->createRepository(".hidden", "sqlite:a.db", "y_"));
    EXPECT_FALSE(admin_->createRepository("a/b", "sqlite:a.db", "y_"));
    QxbString names;
    ASSERT_TRUE(admin_->listRepositories(&names));
    EXPECT_EQ(names.str(), "alt.1\nmain");
    Owned<Repository> repository(admin_->openRepository("main", 0, 0));
    ASSERT_TRUE(repository) << admin_->getLastError().asCstr();
    EXPECT_EQ(repository->getName().str(), "main");
    QxbString dsn, prefix;
    ASSERT_TRUE(repository->getKeyValue("REFDATA_DSN", &dsn));
    ASSERT_TRUE(repository->getKeyValue("REFDATA_PREFIX", &prefix));
    EXPECT_EQ(dsn.str(), "sqlite:main.db");
    EXPECT_EQ(prefix.str(), "kiv_rdm_");
    EXPECT_FALSE(home_.exists("main.db")) << "opening a named repository creates no database";
}

TEST_F(RepositoryTest, UnknownNameFailsWithATextNamingIt) {
    EXPECT_EQ(admin_->openRepository("nowhere", 0, 0), nullptr);
    EXPECT_NE(admin_->getLastError().str().find("nowhere"), std::string::npos);
}

TEST_F(RepositoryTest, KeyValuesPersistAndMissingKeysAreNamed) {
    ASSERT_TRUE(admin_->createRepository("main", "sqlite:main.db", "p_"));
    {
        Owned<Repository> repository(admin_->openRepository("main", 0, 0));
        ASSERT_TRUE(repository->setKeyValue("REFDATA_DSN", "sqlite:new=path.db\nline"));
        QxbString value;
        EXPECT_FALSE(repository->getKeyValue("MISSING", &value));
        EXPECT_NE(repository->getLastError().str().find("MISSING"), std::string::npos);
    }
    Owned<Repository> again(admin_->openRepository("main", 0, 0));
    QxbString value;
    ASSERT_TRUE(again->getKeyValue("REFDATA_DSN", &value));
    EXPECT_EQ(value.str(), "sqlite:new=path.db\nline");
}

TEST_F(RepositoryTest, NamedRepositoryStoresUseItsDataSource) {
    ASSERT_TRUE(admin_->createRepository("main", "sqlite:main.db", "p_"));
    {
        Owned<Repository> data(admin_->openRepositoryByDsn("sqlite:main.db", "p_", 0, 0));
        ASSERT_TRUE(data) << admin_->getLastError().asCstr();
    }
    Owned<Repository> repository(admin_->openRepository("main", 0, 0));
    Owned<RefDataStore> store(repository->createStore());
    EXPECT_EQ(rowsOf(store->listLanguages(1, QxbString(), QxbString())).size(), 1u);
}

TEST_F(RepositoryTest, DataSourcesOfTheConfigurationAndPrefixes) {
    home_.writeConfig(
        "[datasources.refdata]\nconnection = \"sqlite:data/ref.db\"\n"
        "[datasources.server]\nconnection = \"odbc:whatever\"\n");
    Owned<Repository> byName(admin_->openRepositoryByDsn("refdata", "kiv_rdm_", 0, 0));
    ASSERT_TRUE(byName) << admin_->getLastError().asCstr();
    EXPECT_TRUE(home_.exists("data/ref.db"));
    EXPECT_EQ(admin_->openRepositoryByDsn("server", "p_", 0, 0), nullptr);
    EXPECT_NE(admin_->getLastError().str().find("server"), std::string::npos);
    EXPECT_EQ(admin_->openRepositoryByDsn("nosuch", "p_", 0, 0), nullptr);
    EXPECT_NE(admin_->getLastError().str().find("nosuch"), std::string::npos);
    for (const char* bad : {"1abc", "a-b", "a b", "x'; DROP", "abcdefghijabcdefghijabcdefghijX"}) {
        EXPECT_EQ(admin_->openRepositoryByDsn("sqlite:p.db", bad, 0, 0), nullptr) << bad;
        EXPECT_NE(admin_->getLastError().str().find("prefix"), std::string::npos);
    }
    Owned<Repository> plain(admin_->openRepositoryByDsn("sqlite:p.db", "", 0, 0));
    EXPECT_TRUE(plain) << admin_->getLastError().asCstr();
}

TEST_F(RepositoryTest, TwoPrefixesInOneDatabaseAreSeparate) {
    Owned<Repository> first(admin_->openRepositoryByDsn("sqlite:shared.db", "a_", 0, 0));
    Owned<Repository> second(admin_->openRepositoryByDsn("sqlite:shared.db", "b_", 0, 0));
    ASSERT_TRUE(first && second);
    Owned<RefDataStore> a(first->createStore());
    Owned<RefDataStore> b(second->createStore());
    ASSERT_TRUE(a->insertItem("only-in-a", "t", "Y", "Y", "P", 1, nullptr));
    EXPECT_EQ(rowsOf(b->listItems(kAny, QxbString(), QxbString(), QxbString(), QxbString(),
                                  QxbString(), kAny))
                  .size(),
              0u);
    ASSERT_TRUE(first->setKeyValue("SCHEMA_NOTE", "a"));
    QxbString value;
    EXPECT_FALSE(second->getKeyValue("SCHEMA_NOTE", &value));
    ASSERT_TRUE(second->getKeyValue("SCHEMA_VERSION", &value));
    EXPECT_EQ(value.str(), "1");
}

}  // namespace
}  // namespace storetest
