// Named repositories, data repositories and their key/values.
#include <sys/stat.h>

#include <cstdio>

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
    ASSERT_TRUE(admin_->createRepositoryByDsn("sqlite:data/sub/x.db", "p_")) << admin_->getLastError().asCstr();
    EXPECT_TRUE(Owned<Repository>(admin_->openRepositoryByDsn("sqlite:data/sub/x.db", "p_", 0, 0)));

    const std::string elsewhere = home_.path() + "-elsewhere/dir/x.db";
    EXPECT_FALSE(admin_->createRepositoryByDsn(QxbString("sqlite:" + elsewhere), "p_"));
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
    ASSERT_TRUE(admin_->createRepositoryByDsn("sqlite:main.db", "p_")) << admin_->getLastError().asCstr();
    Owned<Repository> repository(admin_->openRepository("main", 0, 0));
    Owned<RefDataStore> store(repository->createStore());
    EXPECT_EQ(rowsOf(store->listLanguages(1, QxbString(), QxbString())).size(), 1u);
}

TEST_F(RepositoryTest, DataSourcesOfTheConfigurationAndPrefixes) {
    home_.writeConfig(
        "[datasources.refdata]\nconnection = \"sqlite:data/ref.db\"\n"
        "[datasources.server]\nconnection = \"odbc:whatever\"\n");
    ASSERT_TRUE(admin_->createRepositoryByDsn("refdata", "kiv_rdm_")) << admin_->getLastError().asCstr();
    EXPECT_TRUE(home_.exists("data/ref.db"));
    Owned<Repository> byName(admin_->openRepositoryByDsn("refdata", "kiv_rdm_", 0, 0));
    ASSERT_TRUE(byName) << admin_->getLastError().asCstr();
    EXPECT_EQ(admin_->openRepositoryByDsn("server", "p_", 0, 0), nullptr);
    EXPECT_NE(admin_->getLastError().str().find("server"), std::string::npos);
    EXPECT_EQ(admin_->openRepositoryByDsn("nosuch", "p_", 0, 0), nullptr);
    EXPECT_NE(admin_->getLastError().str().find("nosuch"), std::string::npos);
    for (const char* bad : {"1abc", "a-b", "a b", "x'; DROP", "abcdefghijabcdefghijabcdefghijX"}) {
        EXPECT_EQ(admin_->openRepositoryByDsn("sqlite:p.db", bad, 0, 0), nullptr) << bad;
        EXPECT_NE(admin_->getLastError().str().find("prefix"), std::string::npos);
    }
    EXPECT_FALSE(admin_->createRepositoryByDsn("server", "p_"));
    EXPECT_FALSE(admin_->createRepositoryByDsn("sqlite:p.db", "1abc"));
    EXPECT_FALSE(home_.exists("p.db")) << "a refused prefix creates no file";
    ASSERT_TRUE(admin_->createRepositoryByDsn("sqlite:p.db", "")) << admin_->getLastError().asCstr();
    Owned<Repository> plain(admin_->openRepositoryByDsn("sqlite:p.db", "", 0, 0));
    EXPECT_TRUE(plain) << admin_->getLastError().asCstr();
}

TEST_F(RepositoryTest, TwoPrefixesInOneDatabaseAreSeparate) {
    ASSERT_TRUE(admin_->createRepositoryByDsn("sqlite:shared.db", "a_"));
    ASSERT_TRUE(admin_->createRepositoryByDsn("sqlite:shared.db", "b_"));
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
    EXPECT_EQ(value.str(), "4");
}

// Only createRepositoryByDsn makes a database or tables: a deleted, empty or
// mis-named database, or a prefix without tables, fails every open by name.
TEST_F(RepositoryTest, OpeningCreatesNoDatabaseAndNoTables) {
    ASSERT_TRUE(admin_->createRepositoryByDsn("sqlite:data/r.db", "p_")) << admin_->getLastError().asCstr();
    home_.writeFile("empty.db", "");
    const std::string outside = home_.path() + "-elsewhere.db";
    struct Case {
        std::string dsn, prefix, named;  // named: what the failure names
    };
    const Case cases[] = {
        {"sqlite:data/gone.db", "p_", home_.file("data/gone.db")},
        {"sqlite:" + outside, "p_", outside},
        {"sqlite:empty.db", "p_", home_.file("empty.db")},
        {"sqlite:data/r.db", "q_", "\"q_\""},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Owned<Repository>(admin_->openRepositoryByDsn(QxbString(c.dsn), QxbString(c.prefix), 0, 0)))
            << c.dsn;
        EXPECT_NE(admin_->getLastError().str().find(c.named), std::string::npos) << admin_->getLastError().asCstr();
        ASSERT_TRUE(admin_->createRepository("n", QxbString(c.dsn), QxbString(c.prefix)));
        Owned<Repository> named(admin_->openRepository("n", 0, 0));
        Owned<RefDataStore> store(named->createStore());
        EXPECT_FALSE(store->insertItem("k", "t", "Y", "Y", "P", 1, nullptr)) << c.dsn;
        EXPECT_NE(store->getLastError().str().find(c.named), std::string::npos) << store->getLastError().asCstr();
        std::remove(home_.file("repositories/n.repo").c_str());
    }
    struct stat info {};
    EXPECT_FALSE(home_.exists("data/gone.db"));
    EXPECT_NE(stat(outside.c_str(), &info), 0);
    EXPECT_EQ(home_.readFile("empty.db"), "") << "an empty file stays empty";
    // Creating is explicit and leaves what exists as it is.
    for (const char* prefix : {"q_", "p_"}) ASSERT_TRUE(admin_->createRepositoryByDsn("sqlite:data/r.db", prefix));
    ASSERT_TRUE(admin_->createRepositoryByDsn("sqlite:empty.db", "p_")) << admin_->getLastError().asCstr();
    EXPECT_TRUE(Owned<Repository>(admin_->openRepositoryByDsn("sqlite:data/r.db", "q_", 0, 0)));
    EXPECT_TRUE(Owned<Repository>(admin_->openRepositoryByDsn("sqlite:empty.db", "p_", 0, 0)));
}

// A database and its -wal and -shm files are owner-only whatever the umask.
TEST_F(RepositoryTest, DatabaseFilesAreOwnerOnly) {
    for (const mode_t mask : {mode_t(0), mode_t(022)}) {
        const mode_t before = umask(mask);
        const std::string name = "perm" + std::to_string(mask) + ".db";
        const bool made = admin_->createRepositoryByDsn(QxbString("sqlite:" + name), "p_");
        Owned<Repository> data(admin_->openRepositoryByDsn(QxbString("sqlite:" + name), "p_", 0, 0));
        Owned<RefDataStore> store(data ? data->createStore() : nullptr);
        const bool wrote = store && store->insertItem("k", "t", "Y", "Y", "P", 1, nullptr);
        umask(before);
        ASSERT_TRUE(made && wrote) << admin_->getLastError().asCstr();
        for (const char* suffix : {"", "-wal", "-shm"}) {
            struct stat info {};
            ASSERT_EQ(stat(home_.file(name + suffix).c_str(), &info), 0) << name << suffix;
            EXPECT_EQ(info.st_mode & 0777, 0600u) << name << suffix << " under umask " << mask;
        }
    }
}

}  // namespace
}  // namespace storetest
