// Opening a handle: where the data repository is found (configuration or the
// repository's key/values), the calls made, and every way an open can fail.
#include "rdcore_test_support.h"
#include "rdcoreadminimpl.h"
#include "rdcoreimpl.h"
#include "rdcoreviewerimpl.h"

namespace rdtest {
namespace {

using Lines = std::vector<std::string>;

class OpenTest : public SessionTest {};

TEST_F(OpenTest, KeyValuesNameTheDataRepository) {
    keyValues("sqlite:data.db", "p_");
    ASSERT_TRUE(openMain());
    EXPECT_EQ(error, QxbString("untouched"));
    EXPECT_EQ(calls(), (Lines{"createRepositoryAdmin(1,0) -> repadm1",
                              "repadm1.openRepository('main',0,0) -> repo[main]",
                              "repo[main].getKeyValue('REFDATA_DSN')",
                              "repo[main].getKeyValue('REFDATA_PREFIX')",
                              "createStepEngine(0) -> engine1", "engine1.setCallback(ptr)",
                              "engine1.initialize()",
                              "repadm1.openRepositoryByDsn('sqlite:data.db','p_',0,0) -> "
                              "repo[sqlite:data.db]",
                              "repo[sqlite:data.db].createStore() -> store1",
                              "repo[sqlite:data.db].createStore() -> store2"}));
    EXPECT_EQ(logged(2), (Lines{"Refdata is not configured to use Data Server",
                                "Refdata will use repos key/val dsn 'sqlite:data.db' with "
                                "prefix 'p_'"}));
    EXPECT_TRUE(logged(5).empty());

    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->session, session);
    EXPECT_EQ(label(handle->adminStore), "store1");
    EXPECT_EQ(label(handle->queryStore), "store2");
    EXPECT_NE(handle->dataRepository, nullptr);
    EXPECT_NE(handle->stepBridge, nullptr);
    EXPECT_EQ(handle->currentDomain, nullptr);
    EXPECT_EQ(session->getAdmin(handle), handle->admin);
    EXPECT_EQ(session->getViewer(handle), handle->viewer);
    EXPECT_FALSE(handle->viewer->usesDataServer());
}

TEST_F(OpenTest, DataServerDsnFromConfigurationWithDefaultPrefix) {
    home.writeConfig("[REFDATA]\nDATASERVER = true\nDSN = \"sqlite:cfg.db\"\n");
    keyValues("sqlite:ignored.db", "x_");
    ASSERT_TRUE(openMain());
    EXPECT_TRUE(fakes::callLog().matching("getKeyValue").empty());
    EXPECT_TRUE(fakes::callLog().contains(
        "repadm1.openRepositoryByDsn('sqlite:cfg.db','kiv_rdm_',0,0) -> repo[sqlite:cfg.db]"));
    EXPECT_EQ(logged(2), (Lines{"Refdata is configured to use Data Server",
                                "Refdata will use config file dsn 'sqlite:cfg.db' with prefix "
                                "'kiv_rdm_'"}));
    EXPECT_TRUE(handle->viewer->usesDataServer());
}

TEST_F(OpenTest, ConfiguredEmptyPrefixStaysEmpty) {
    home.writeConfig("[REFDATA]\nDATASERVER = \"yes\"\nDSN = \"sqlite:cfg.db\"\nPREFIX = \"\"\n");
    ASSERT_TRUE(openMain());
    EXPECT_TRUE(fakes::callLog().contains(
        "repadm1.openRepositoryByDsn('sqlite:cfg.db','',0,0) -> repo[sqlite:cfg.db]"));
}

TEST_F(OpenTest, DataServerWithoutDsnNeedsBothKeyValues) {
    home.writeConfig("[REFDATA]\nDATASERVER = true\nPREFIX = \"cfg_\"\n");
    keyValues("sqlite:data.db", "p_");
    ASSERT_TRUE(openMain());
    EXPECT_TRUE(fakes::callLog().contains(
        "repadm1.openRepositoryByDsn('sqlite:data.db','p_',0,0) -> repo[sqlite:data.db]"));
    EXPECT_EQ(logged(2), (Lines{"Refdata is configured to use Data Server",
                                "Refdata will use repos key/val dsn 'sqlite:data.db' with prefix "
                                "'p_'"}));

    fakes::platform().repadm.keyValues.erase("REFDATA_PREFIX");
    RefDataHandle* second = nullptr;
    EXPECT_FALSE(session->open(&second, QxbString("main"), &error));
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(error.str(), fakes::missingKeyText("REFDATA_PREFIX"));
}

TEST_F(OpenTest, DataServerSettingSurvivesALaterFalse) {
    home.writeConfig("[REFDATA]\nDATASERVER = true\n");
    keyValues("sqlite:data.db", "p_");
    ASSERT_TRUE(openMain());
    home.writeConfig("[REFDATA]\nDATASERVER = false\n");
    log.clear();
    RefDataHandle* second = nullptr;
    ASSERT_TRUE(session->open(&second, QxbString("main"), &error));
    EXPECT_EQ(logged(2).front(), "Refdata is configured to use Data Server");
    EXPECT_TRUE(second->viewer->usesDataServer());

    log.clear();
    RefDataHandle* third = nullptr;
    ASSERT_TRUE(session->openWithDsn(&third, QxbString("sqlite:main.db"), QxbString("m_"), &error));
    EXPECT_EQ(logged(2).front(), "Refdata is in fact configured to use Data Server");
}

TEST_F(OpenTest, OpenWithDsnOpensTheRepositoryByDsn) {
    keyValues("sqlite:data.db", "p_");
    ASSERT_TRUE(
        session->openWithDsn(&handle, QxbString("sqlite:main.db"), QxbString("m_"), &error));
    const Lines expectedStart{"createRepositoryAdmin(1,0) -> repadm1",
                              "repadm1.openRepositoryByDsn('sqlite:main.db','m_',0,0) -> "
                              "repo[sqlite:main.db]",
                              "repo[sqlite:main.db].getKeyValue('REFDATA_DSN')",
                              "repo[sqlite:main.db].getKeyValue('REFDATA_PREFIX')"};
    const Lines all = calls();
    ASSERT_GE(all.size(), 4u);
    EXPECT_EQ(Lines(all.begin(), all.begin() + 4), expectedStart);
    EXPECT_EQ(label(handle->queryStore), "store2");
}

TEST_F(OpenTest, EmptyDsnKeyValueOpensWithoutStores) {
    keyValues("", "p_");
    ASSERT_TRUE(openMain());
    EXPECT_EQ(handle->dataRepository, nullptr);
    EXPECT_EQ(handle->adminStore, nullptr);
    EXPECT_EQ(handle->queryStore, nullptr);
    EXPECT_TRUE(fakes::callLog().matching("openRepositoryByDsn").empty());
    EXPECT_EQ(logged(2).back(), "Refdata will use repos key/val dsn '' with prefix 'p_'");
}

TEST_F(OpenTest, MissingDsnKeyValueFailsAndReleasesAdminFirst) {
    fakes::platform().repadm.keyValues["REFDATA_PREFIX"] = "p_";
    EXPECT_FALSE(openMain());
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(error.str(), fakes::missingKeyText("REFDATA_DSN"));
    EXPECT_EQ(logged(5), (Lines{fakes::missingKeyText("REFDATA_DSN")}));
    EXPECT_TRUE(fakes::callLog().matching("REFDATA_PREFIX").empty());
    EXPECT_EQ(releases(), (Lines{"repadm1.release()", "repo[main].release()"}));
    EXPECT_TRUE(fakes::platform().live.empty()) << liveObjects();
    EXPECT_EQ(static_cast<RefDataImpl*>(session)->openHandleCount(), 0u);
}

TEST_F(OpenTest, FailingKeyValueReadPassesTheRepositoryText) {
    keyValues("sqlite:data.db", "p_");
    fakes::platform().repadm.failingKeys["REFDATA_PREFIX"] = "disk on fire";
    EXPECT_FALSE(openMain());
    EXPECT_EQ(error, QxbString("disk on fire"));
    EXPECT_EQ(logged(5), (Lines{"disk on fire"}));
}

TEST_F(OpenTest, NoRepositoryAdminGivesTheLibraryText) {
    fakes::platform().repadm.createAdminFails = true;
    EXPECT_FALSE(openMain());
    EXPECT_EQ(error.str(), fakes::platform().repadm.createAdminError);
    EXPECT_EQ(logged(5), (Lines{fakes::platform().repadm.createAdminError}));
    EXPECT_EQ(calls(), (Lines{"createRepositoryAdmin(1,0) -> null", "getRepositoryAdminError()"}));
}

TEST_F(OpenTest, UnknownRepositoryGivesTheAdminTextAndReleasesIt) {
    fakes::platform().repadm.failingRepositories["main"] = "no repository 'main'";
    EXPECT_FALSE(openMain());
    EXPECT_EQ(error, QxbString("no repository 'main'"));
    EXPECT_EQ(logged(5), (Lines{"no repository 'main'"}));
    EXPECT_EQ(calls(), (Lines{"createRepositoryAdmin(1,0) -> repadm1",
                              "repadm1.openRepository('main',0,0) -> null",
                              "repadm1.getLastError()", "repadm1.release()"}));
}

TEST_F(OpenTest, ErrorTextMayBeNull) {
    fakes::platform().repadm.failingRepositories["main"] = "no repository 'main'";
    EXPECT_FALSE(session->open(&handle, QxbString("main"), nullptr));
    EXPECT_EQ(logged(5), (Lines{"no repository 'main'"}));
}

TEST_F(OpenTest, UnopenableDataRepositoryStillOpensTheHandle) {
    keyValues("sqlite:gone.db", "p_");
    fakes::platform().repadm.failingDsns["sqlite:gone.db"] = "cannot open sqlite:gone.db";
    ASSERT_TRUE(openMain());
    EXPECT_EQ(error, QxbString("untouched"));
    EXPECT_EQ(handle->dataRepository, nullptr);
    EXPECT_EQ(handle->adminStore, nullptr);
    EXPECT_EQ(session->getErrorText(handle), QxbString("cannot open sqlite:gone.db"));
    EXPECT_EQ(logged(5), (Lines{"cannot open sqlite:gone.db"}));
    EXPECT_EQ(log.linesAt(5).front().file, "src/rdcoreimpl.cpp");
}

TEST_F(OpenTest, FailingBridgeStartCleansUpAndGivesItsReason) {
    keyValues("sqlite:data.db", "p_");
    fakes::platform().step.initializeFails = true;
    EXPECT_FALSE(openMain());
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(error, QxbString(fakes::platform().step.initializeError.c_str()));
    EXPECT_EQ(logged(5), (Lines{fakes::platform().step.initializeError}));
    // Half-built handle first (its bridge), then the admin, then the repository;
    // no data repository was opened.
    const Lines expectedTail{"engine1.initialize()", "engine1.getLastError()",
                             "engine1.release()", "repadm1.release()", "repo[main].release()"};
    const Lines all = calls();
    ASSERT_GE(all.size(), expectedTail.size());
    EXPECT_EQ(Lines(all.end() - static_cast<long>(expectedTail.size()), all.end()), expectedTail);
    EXPECT_TRUE(fakes::callLog().matching("openRepositoryByDsn").empty());
}

TEST_F(OpenTest, NoStepEngineLogsMessage1103) {
    keyValues("sqlite:data.db", "p_");
    fakes::platform().step.createFails = true;
    EXPECT_FALSE(openMain());
    EXPECT_EQ(error, message("Profile Engine", 1103));
    EXPECT_EQ(logged(5), (Lines{message("Profile Engine", 1103).str()}));
    EXPECT_EQ(log.linesAt(5).front().file, "src/interface_dtstep.cpp");
    EXPECT_EQ(releases(), (Lines{"repadm1.release()", "repo[main].release()"}));
}

TEST_F(OpenTest, MalformedConfigurationFailsBeforeAnyRepositoryWork) {
    home.writeConfig("[REFDATA\nDATASERVER = true\n");
    EXPECT_FALSE(openMain());
    EXPECT_EQ(error, qxbGetConfigError());
    EXPECT_GT(error.length(), 0u);
    EXPECT_EQ(logged(5), (Lines{error.str()}));
    EXPECT_TRUE(calls().empty());
}

}  // namespace
}  // namespace rdtest
