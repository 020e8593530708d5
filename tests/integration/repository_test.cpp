// End to end: repositories created with the rdm command line, opened through
// the library, against real files in a temporary home folder.
#include <gtest/gtest.h>
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
}

TEST_F(RepositoryEndToEnd, WrongOptionIsAUsageError) {
    EXPECT_EQ(runRdm(home.path(), "repo create").status, 2);
    EXPECT_EQ(runRdm(home.path(), "repo frobnicate").status, 2);
}

}  // namespace
