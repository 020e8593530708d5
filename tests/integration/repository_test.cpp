// End to end: repositories created with the rdm command line, opened through
// the library, against real files in a temporary home folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "RefData.h"
#include "RefDataHandle.h"
#include "rdm_runner.h"
#include "temp_home.h"

namespace {

class RepositoryEndToEnd : public ::testing::Test {
protected:
    TempHome home;
};

TEST_F(RepositoryEndToEnd, CreatedRepositoryOpensWithBothStoresAttached) {
    const CommandResult created = runRdm(home.path(), "repo create demo");
    ASSERT_EQ(created.status, 0) << created.output;

    const CommandResult listed = runRdm(home.path(), "repo list");
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.output, "demo\n");

    QxbString error;
    RefData* session = createReferenceDataSession(0, &error);
    ASSERT_NE(session, nullptr);
    RefDataHandle* handle = nullptr;
    ASSERT_TRUE(session->open(&handle, QxbString("demo"), &error)) << error.asCstr();
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(handle->dataRepository, nullptr);
    EXPECT_NE(handle->adminStore, nullptr);
    EXPECT_NE(handle->queryStore, nullptr);
    EXPECT_NE(handle->adminStore, handle->queryStore);
    session->release(&handle);
    EXPECT_EQ(handle, nullptr);
}

TEST_F(RepositoryEndToEnd, ShowNamesTheDataSourceAndPrefix) {
    ASSERT_EQ(runRdm(home.path(), "repo create demo --prefix my_").status, 0);
    const CommandResult shown = runRdm(home.path(), "repo show demo");
    ASSERT_EQ(shown.status, 0) << shown.output;
    EXPECT_NE(shown.output.find("sqlite:data/demo.db"), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find("my_"), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find("attached"), std::string::npos) << shown.output;
}

TEST_F(RepositoryEndToEnd, UnknownRepositoryFailsWithItsName) {
    const CommandResult shown = runRdm(home.path(), "repo show nowhere");
    EXPECT_EQ(shown.status, 1);
    EXPECT_EQ(shown.output.rfind("rdm: ", 0), 0u) << shown.output;
    EXPECT_NE(shown.output.find("nowhere"), std::string::npos) << shown.output;
    EXPECT_EQ(runRdm(home.path(), "repo list").output, "");
}

TEST_F(RepositoryEndToEnd, BadInputIsRejectedAndCreatesNothing) {
    EXPECT_EQ(runRdm(home.path(), "repo create demo --prefix 'x; drop table y'").status, 1);
    EXPECT_EQ(runRdm(home.path(), "repo create '../escape'").status, 1);
    EXPECT_EQ(runRdm(home.path(), "repo list").output, "");

    ASSERT_EQ(runRdm(home.path(), "repo create demo").status, 0);
    const CommandResult again = runRdm(home.path(), "repo create demo");
    EXPECT_EQ(again.status, 1) << again.output;
    EXPECT_NE(again.output.find("demo"), std::string::npos) << again.output;
    EXPECT_EQ(runRdm(home.path(), "repo create demo --dsn sqlite:data/new.db").status, 1);
    EXPECT_FALSE(home.exists("data/new.db")) << "a failed creation leaves no database behind";
    EXPECT_TRUE(home.exists("data/demo.db"));
}

TEST_F(RepositoryEndToEnd, WrongOptionIsAUsageError) {
    EXPECT_EQ(runRdm(home.path(), "repo create").status, 2);
    EXPECT_EQ(runRdm(home.path(), "repo frobnicate").status, 2);
    const CommandResult noHome = runCommand(std::string(RDM_BINARY_DIR) + "/rdm repo list --home '' 2>&1");
    EXPECT_EQ(noHome.status, 2);
    EXPECT_EQ(noHome.output, "rdm: --home needs a folder, not an empty text (see rdm --help)\n");
}

// A password in a connection string shows nowhere: not in output, not in
// errors, not in the log.
TEST_F(RepositoryEndToEnd, PasswordsAreMaskedEverywhere) {
    home.writeConfig("[datasources.central]\nconnection = \"postgresql://ann:S3cr3tPW@db/ref\"\n");
    ASSERT_EQ(runRdm(home.path(), "repo create demo").status, 0);
    std::string seen;
    for (const char* arguments :
         {"connection demo --set 'postgresql://ann:S3cr3tPW@db/ref'", "connection demo --set 'host=db password=S3cr3tPW'",
          "connection demo --set central", "repo create other --dsn 'postgresql://ann:S3cr3tPW@db/ref'",
          "repo show demo", "domains demo", "import demo X /dev/null", "sources"}) {
        const CommandResult result = runRdm(home.path(), arguments);
        seen += result.output;
        EXPECT_EQ(result.output.find("S3cr3tPW"), std::string::npos) << arguments << ": " << result.output;
    }
    home.writeFile("repositories/demo.repo", "REFDATA_DSN=postgresql://ann:S3cr3tPW@db/ref\nREFDATA_PREFIX=kiv_rdm_\n");
    const CommandResult shown = runRdm(home.path(), "repo show demo");
    EXPECT_NE(shown.output.find("Data source:   postgresql://ann:****@db/ref"), std::string::npos) << shown.output;
    EXPECT_EQ((shown.output + runRdm(home.path(), "items demo").output).find("S3cr3tPW"), std::string::npos);
    EXPECT_NE(seen.find("ann:****@"), std::string::npos) << seen;
    const std::string log = home.readFile("logs/rdm.log");
    EXPECT_NE(log.find("ann:****@"), std::string::npos) << "the log names the data source, masked";
    EXPECT_EQ(log.find("S3cr3tPW"), std::string::npos);
}

// When a repository's reference data cannot be reached, every command says
// why, rather than that no connection is open.
TEST_F(RepositoryEndToEnd, CommandsSayWhyTheDataCannotBeReached) {
    ASSERT_EQ(runRdm(home.path(), "repo create demo").status, 0);
    struct Case {
        std::function<void()> spoil;
        std::string reason;
    };
    const Case cases[] = {
        {[&] { home.writeFile("data/demo.db", std::string(8192, 'x')); }, "file is not a database"},
        {[&] { std::remove(home.file("data/demo.db").c_str()); home.writeFile("data/demo.db/inside", "x"); },
         "data/demo.db"},
        {[&] { home.writeFile("repositories/demo.repo", "REFDATA_DSN=nowhere\nREFDATA_PREFIX=kiv_rdm_\n"); },
         "unknown data source \"nowhere\""},
        {[&] { home.writeFile("repositories/demo.repo", "REFDATA_DSN=\nREFDATA_PREFIX=kiv_rdm_\n"); },
         "has no data source"},
        {[&] { home.writeConfig("[STEPENGINE]\nDISABLED = true\n"); }, "disabled"},
    };
    for (const Case& c : cases) {
        c.spoil();
        for (const char* arguments : {"domains demo", "items demo", "versions demo X", "export demo X", "history demo"}) {
            const CommandResult result = runRdm(home.path(), arguments);
            EXPECT_EQ(result.status, 1) << arguments;
            EXPECT_NE(result.errors.find(c.reason), std::string::npos) << arguments << ": " << result.errors;
            EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
        }
    }
}

// Only repo create, repo init and connection --set make a database or its
// tables: a deleted, emptied or mis-pointed database, or a prefix without
// tables, fails every command naming the path or prefix, and stays as it is.
TEST_F(RepositoryEndToEnd, AMissingDatabaseOrTablesFailInsteadOfStartingEmpty) {
    ASSERT_EQ(runRdm(home.path(), "repo create r").status, 0);
    home.writeFile("one.csv", "key,label\nA,a\n");
    const std::string database = home.file("data/r.db");
    const std::string outside = home.path() + "-elsewhere/r.db";
    const auto pointAt = [&](const std::string& dsn, const std::string& prefix) {
        home.writeFile("repositories/r.repo", "REFDATA_DSN=" + dsn + "\nREFDATA_PREFIX=" + prefix + "\n");
    };
    const auto removeDatabase = [&] {
        for (const char* suffix : {"", "-wal", "-shm"}) std::remove((database + suffix).c_str());
    };
    struct Case {
        std::function<void()> spoil;
        std::string named;
    };
    const Case cases[] = {
        {[&] { pointAt("sqlite:data/r.db", "none_"); }, "\"none_\""},
        {[&] { pointAt("sqlite:" + outside, "kiv_rdm_"); }, outside},
        {[&] { pointAt("sqlite:data/r.db", "kiv_rdm_"), removeDatabase(); }, database},
        {[&] { home.writeFile("data/r.db", ""); }, database},
    };
    for (const Case& c : cases) {
        c.spoil();
        for (const std::string& arguments : {std::string("domains r"), "import r D '" + home.file("one.csv") + "'"}) {
            const CommandResult result = runRdm(home.path(), arguments);
            EXPECT_EQ(result.status, 1) << arguments << ": " << result.output;
            EXPECT_NE(result.errors.find(c.named), std::string::npos) << arguments << ": " << result.errors;
        }
    }
    struct stat info {};
    EXPECT_NE(stat((home.path() + "-elsewhere").c_str(), &info), 0) << "nothing is made outside the home";
    EXPECT_EQ(home.readFile("data/r.db"), "") << "nothing wrote into the empty file";

    const CommandResult moved = runRdm(home.path(), "connection r --set sqlite:data/fresh.db");
    ASSERT_EQ(moved.status, 0) << moved.output;
    EXPECT_EQ(runRdm(home.path(), "import r D '" + home.file("one.csv") + "'").status, 0);

    home.writeConfig("[REFDATA]\nDATASERVER = true\nDSN = \"central\"\nPREFIX = \"c_\"\n"
                     "[datasources.central]\nconnection = \"sqlite:data/central.db\"\n");
    EXPECT_NE(runRdm(home.path(), "domains r").errors.find(home.file("data/central.db")), std::string::npos);
    for (int time = 0; time < 2; ++time) {
        const CommandResult init = runRdm(home.path(), "repo init --dsn central --prefix c_");
        EXPECT_EQ(init.status, 0) << init.output;
    }
    EXPECT_EQ(runRdm(home.path(), "import r D '" + home.file("one.csv") + "'").status, 0);
    EXPECT_EQ(runRdm(home.path(), "repo init").status, 2) << "--dsn is required";
}

// The database and the log are owner-only whatever the umask.
TEST_F(RepositoryEndToEnd, DatabaseAndLogAreOwnerOnly) {
    home.writeFile("one.csv", "key,label\nA,a\n");
    for (const std::string& mask : {std::string("000"), std::string("022")}) {
        const std::string folder = home.path() + "/u" + mask;
        const std::string rdm = "umask " + mask + "; '" + RDM_BINARY_DIR + "/rdm' --home '" + folder + "' ";
        const CommandResult result = runCommand(rdm + "repo create r && " + rdm + "import r D '" +
                                                home.file("one.csv") + "' --quiet 2>&1");
        ASSERT_EQ(result.status, 0) << result.output;
        for (const char* file : {"/data/r.db", "/logs/rdm.log"}) {
            struct stat info {};
            ASSERT_EQ(stat((folder + file).c_str(), &info), 0) << file;
            EXPECT_EQ(info.st_mode & 0777, 0600u) << file << " under umask " << mask;
        }
    }
}

}  // namespace
