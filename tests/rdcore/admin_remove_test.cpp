// removeDomain and removeDomainVersion against the recording store: the
// order and keys of the cascades, and that a failure at any call rolls
// everything back.
#include <functional>
#include <string>
#include <vector>

#include "admin_test_support.h"

namespace rdtest {
namespace {

using fakes::FakeRows;

// The deletions of one version inside a domain removal: a fixed number of
// calls, whatever the number of its items.
std::vector<std::string> versionOfDomain(const std::string& v) {
    return {"deleteVersionAttributes(-1,-1," + v + ",null)",
            "deleteVersionItemContent(" + v + ")",
            "deleteVersionLinksA(" + v + ",-1)",
            "deleteVersionLinksB(" + v + ",-1)",
            "deleteVersionItems(-1," + v + ",-1,null,-1,null,-1)",
            "deleteVersionRowsE(" + v + ",-1,null,-1,null,-1,-1)",
            "deleteDomainVersions(" + v + ",-1,-1,null,null,null,null,-1,null,-1,null,null)"};
}

class RemoveDomainTest : public AdminTest {
protected:
    // Domain 7 ("Colours") with versions 41 and 42.
    void scriptDomain(bool withVersions = true) {
        scriptAccount(9);
        store->answer("listDomains", FakeRows({"ID", "NAME"}, {{7, "Colours"}}));
        if (!withVersions) return;
        store->answer("listDomainVersions", FakeRows({"ID", "DOMAIN_ID"}, {{41, 7}, {42, 7}}));
    }
    std::vector<std::string> expectedCalls(bool withVersions = true) const {
        std::vector<std::string> calls = {
            "listAccounts(9,null,null,null,null,null,null)",
            "listDomains(7,null,null,null,null,null,null,-1,null,-1,-1,null,null,null)",
            "beginTransaction(0,0)",
            "deleteDomainRowsA(-1,7,-1)",
            "deleteDomainAccessRows(-1,7,null,-1,null,null,-1,-1)",
            "deleteDomainRowsB(-1,7,-1)",
            "deleteDomainExtras(-1,null,null,7,-1,null,null)",
            "listDomainVersions(-1,7,-1,null,null,null,null,-1,null,-1,null,null)"};
        if (withVersions) {
            for (const auto& call : versionOfDomain("41")) calls.push_back(call);
            for (const auto& call : versionOfDomain("42")) calls.push_back(call);
        }
        calls.push_back("deleteDomains(7,null,null,null,null,null,null,-1,null,-1,-1,null,null,null)");
        calls.push_back("writeChangeRecord(7,'A',7,'RDDOMS','Removed Domain Colours',1,9,null)");
        calls.push_back("endTransaction(true)");
        return calls;
    }
};

TEST_F(RemoveDomainTest, RemovesEveryVersionWithItsItemsBeforeTheDomain) {
    open();
    scriptDomain();
    ASSERT_TRUE(admin->removeDomain(handle, 7, 9)) << handle->errorText.asCstr();
    EXPECT_EQ(storeCalls(), expectedCalls());
    EXPECT_EQ(openResultSets(), 0);
}

TEST_F(RemoveDomainTest, ADomainWithoutVersionsNeedsOnlyTheDomainLevelDeletions) {
    open();
    scriptDomain(false);
    ASSERT_TRUE(admin->removeDomain(handle, 7, 9));
    EXPECT_EQ(storeCalls(), expectedCalls(false));
}

TEST_F(RemoveDomainTest, AnUnknownDomainFailsWith1532BeforeAnyTransaction) {
    open();
    scriptAccount(1);
    EXPECT_FALSE(admin->removeDomain(handle, 99, 1));
    EXPECT_EQ(handle->errorText.str(), referenceDataMessage(1532));
    EXPECT_TRUE(log.hasLine(5, referenceDataMessage(1532)));
    EXPECT_TRUE(callsOf("beginTransaction").empty());
    EXPECT_EQ(openResultSets(), 0);
}

TEST_F(RemoveDomainTest, AFailureAtAnyCallRollsEverythingBack) {
    open();
    const std::vector<std::string> calls = expectedCalls();
    for (std::size_t n = 1; n <= calls.size(); ++n) {
        reopen();
        store->failCall(static_cast<int>(n));
        scriptDomain();
        EXPECT_FALSE(admin->removeDomain(handle, 7, 9)) << n;
        const std::string failed = operationOf(calls[n - 1]);
        EXPECT_EQ(storeCalls().at(n - 1), calls[n - 1]) << n;
        if (n <= 3 || failed == "endTransaction") {
            // Nothing began, or the commit failed: nothing to roll back.
            expectStoreFailure(failed, static_cast<int>(n));
            EXPECT_EQ(storeCalls().size(), n) << n;
        } else {
            expectRolledBack(failed, static_cast<int>(n));
            EXPECT_EQ(storeCalls().size(), n + 1) << n;
        }
    }
}

class RemoveVersionTest : public AdminTest {
protected:
    // Account 9 and version 41 exist.
    void scriptVersion() {
        scriptAccount(9);
        store->answer("listDomainVersions", FakeRows({"ID"}, {{41}}));
    }
    const std::vector<std::string> kCalls = {
        "listAccounts(9,null,null,null,null,null,null)",
        "listDomainVersions(41,-1,-1,null,null,null,null,-1,null,-1,null,null)",
        "beginTransaction(0,0)",
        "deleteVersionItemContent(41)",
        "deleteVersionAttributes(-1,-1,41,null)",
        "deleteVersionLinksA(41,-1)",
        "deleteVersionLinksB(41,-1)",
        "deleteVersionItems(-1,41,-1,null,-1,null,-1)",
        "deleteVersionRowsE(41,-1,null,-1,null,-1,-1)",
        "deleteDomainVersions(41,-1,-1,null,null,null,null,-1,null,-1,null,null)",
        "writeChangeRecord(-1,'A',41,null,'Removed Domain Version 41',1,9,null)",
        "endTransaction(true)",
    };
};

TEST_F(RemoveVersionTest, RemovesTheVersionWithItsItemsAttributeValues) {
    open();
    scriptVersion();
    ASSERT_TRUE(admin->removeDomainVersion(handle, 41, 9)) << handle->errorText.asCstr();
    EXPECT_EQ(storeCalls(), kCalls);
    EXPECT_EQ(openResultSets(), 0);
}

// -1 and unknown objects or accounts: message 1532, nothing begun.
TEST_F(RemoveVersionTest, UnknownObjectsAndAccountsAreRefusedBeforeAnyWrite) {
    open();
    const std::string anyId = qxb_get_message("test", 0, "Reference Data", 1532, "[-1]").str();
    const std::string account = qxb_get_message("test", 0, "Reference Data", 1532, "[ACCOUNT]").str();
    const unsigned any = static_cast<unsigned>(-1);
    struct Case {
        const char* what;
        std::function<bool()> call;
        bool accountExists;  // the account lookup finds account 1
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"version -1", [&] { return admin->removeDomainVersion(handle, any, 1); }, true, anyId},
        {"unknown version", [&] { return admin->removeDomainVersion(handle, 77, 1); }, true, referenceDataMessage(1532)},
        {"domain -1", [&] { return admin->removeDomain(handle, any, 1); }, true, anyId},
        {"copy of -1", [&] { return admin->copyDomain(handle, any, 1, nullptr); }, true, anyId},
        {"publisher access of -1", [&] { return admin->removePublisherAccess(handle, any); }, true, anyId},
        {"account 0", [&] { return admin->removeDomain(handle, 7, 0); }, false, account},
        {"account -1", [&] { return admin->copyDomain(handle, 7, any, nullptr); }, false, account},
        {"unknown account", [&] { return admin->removeDomainVersion(handle, 41, 5); }, false, account},
    };
    for (const Case& c : cases) {
        reopen();
        if (c.accountExists) scriptAccount(1);
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(handle->errorText.str(), c.expected) << c.what;
        for (const std::string& call : storeCalls()) EXPECT_EQ(call.rfind("list", 0), 0u) << c.what << ": " << call;
    }
}

TEST_F(RemoveVersionTest, AFailureAtAnyCallRollsEverythingBack) {
    open();
    for (std::size_t n = 1; n <= kCalls.size(); ++n) {
        reopen();
        store->failCall(static_cast<int>(n));
        scriptVersion();
        EXPECT_FALSE(admin->removeDomainVersion(handle, 41, 9)) << n;
        const std::string failed = operationOf(kCalls[n - 1]);
        if (n <= 3 || failed == "endTransaction") {
            expectStoreFailure(failed, static_cast<int>(n));
            EXPECT_EQ(storeCalls().size(), n) << n;
        } else {
            expectRolledBack(failed, static_cast<int>(n));
        }
    }
}

TEST_F(AdminTest, EveryRemovalNeedsAConnection) {
    keyValues("", "");
    ASSERT_TRUE(openMain());
    RefDataAdmin* plain = session->getAdmin(handle);
    handle->errorText.assign("before");
    EXPECT_FALSE(plain->removeDomain(handle, 1, 1));
    EXPECT_FALSE(plain->removeDomainVersion(handle, 1, 1));
    EXPECT_FALSE(plain->removeDomain(nullptr, 1, 1));
    EXPECT_EQ(handle->errorText.str(), "before");
    EXPECT_EQ(log.textsAt(5), std::vector<std::string>(3, referenceDataMessage(3)));
}

}  // namespace
}  // namespace rdtest
