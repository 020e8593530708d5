// copyDomain against the recording store: the calls of a copy with their
// keys, the version it copies, and that a failure at any call leaves no
// committed trace.
#include <string>
#include <vector>

#include "admin_test_support.h"

namespace rdtest {
namespace {

using fakes::FakeRows;

class CopyTest : public AdminTest {
protected:
    // A source domain 7 ("Colours") with versions 41 and 42; version 41 holds
    // one row of each kind of version content (two items).
    void scriptSource(int account = 9) {
        scriptAccount(account);
        store->answer("listDomains",
                      FakeRows({"ID", "NAME", "DESCRIPTION", "TEXT1", "FLAG1", "FLAG2", "SCOPE", "NUMBER1",
                                "TEXT8", "ACCOUNT_ID", "NUMBER10", "DATE11", "KIND_CODE", "CREATED"},
                               {{7, "Colours", "desc", "t1", "N", "N", "global", 5, "t8", 3, 10, 0.0, "K", 0.0}}));
        store->answer("listDomainVersions", FakeRows({"ID", "DOMAIN_ID", "VERSION_NUMBER"}, {{41, 7, 1}, {42, 7, 2}}));
        store->answer("listVersionAttributes",
                      FakeRows({"DOMAIN_ID", "DOMAIN_ATTRIBUTE_ID", "VERSION_ID", "FLAG", "ID"}, {{7, 21, 41, "Y", 1}}));
        store->answer("listVersionItems",
                      FakeRows({"ID", "VERSION_ID", "ITEM_ID", "CREATED", "POSITION", "LABEL", "PARENT_ITEM_ID"},
                               {{31, 41, 501, 2460000.5, 3, "red", -1}, {32, 41, 502, 2460000.5, 4, "dark red", 501}}));
        store->answer("listVersionItemValueLinks",
                      FakeRows({"VERSION_ID", "LOCALIZED_TEXT_ID", "ITEM_ATTRIBUTE_VALUE_ID", "ID"}, {{41, 61, 71, 1}}));
        store->answer("listVersionItemValues", FakeRows({"VERSION_ID", "ITEM_ATTRIBUTE_VALUE_ID", "ID"}, {{41, 71, 1}}));
        store->answer("listVersionValues", FakeRows({"VERSION_ID", "DOMAIN_ATTRIBUTE_VALUE_ID", "ID"}, {{41, 81, 1}}));
        store->answer("listVersionLanguages", FakeRows({"VERSION_ID", "DOMAIN_LANGUAGE_ID", "ID"}, {{41, 91, 1}}));
        store->setNextId(1000);  // the new domain 1000, its version 1001
    }

    const std::vector<std::string> kCopyCalls = {
        "listAccounts(9,null,null,null,null,null,null)",
        "listDomains(7,null,null,null,null,null,null,-1,null,-1,-1,null,null,null)",
        "beginTransaction(0,0)",
        "insertDomain('Colours','desc','t1','Y','Y','global',5,null,9,-1,null,'K',&)",
        "writeChangeRecord(1000,'A',-1,'RDDOMS','Created Domain: ID = 1000, NAME = Colours',1,9,null)",
        "insertDomainVersion(1000,1,'Initial Version','Y','Y','global',9,'N',-1,null,&)",
        "listDomainVersions(-1,7,-1,null,null,null,null,-1,null,-1,null,null)",
        "listVersionAttributes(7,-1,41,null)",
        "insertVersionAttribute(1000,21,1001,'Y',null)",
        "listVersionItems(-1,41,-1,null,-1,null,-1)",
        "insertVersionItem(1001,501,3,'red',-1,null,null)",
        "insertVersionItem(1001,502,4,'dark red',501,null,null)",
        "listVersionItemValueLinks(41,-1,-1)",
        "insertVersionItemValueLink(1001,61,71,null)",
        "listVersionItemValues(41,-1)",
        "insertVersionItemValue(1001,71,null)",
        "listVersionValues(41,-1)",
        "insertVersionValue(1001,81,null)",
        "listVersionLanguages(41,-1)",
        "insertVersionLanguage(1001,91,null)",
        "writeChangeRecord(1000,'A',1001,'RDDOVR','Created Version: ID = 1001, VERSION = Colours',1,9,null)",
        "endTransaction(true)",
    };
};

TEST_F(CopyTest, CopiesTheFirstListedVersionIntoANewDomainInOneTransaction) {
    open();
    scriptSource();
    unsigned newId = 0;
    ASSERT_TRUE(admin->copyDomain(handle, 7, 9, &newId)) << handle->errorText.asCstr();
    EXPECT_EQ(newId, 1000u);
    EXPECT_EQ(storeCalls(), kCopyCalls);
    EXPECT_EQ(openResultSets(), 0);
    EXPECT_EQ(log.count(5), 0u);
}

TEST_F(CopyTest, ANullOutPointerIsAccepted) {
    open();
    scriptSource();
    EXPECT_TRUE(admin->copyDomain(handle, 7, 9, nullptr));
    EXPECT_TRUE(called("endTransaction(true)"));
}

TEST_F(CopyTest, AnUnknownDomainFailsWith1532BeforeAnyTransaction) {
    open();
    scriptAccount(1);
    unsigned newId = 5;
    EXPECT_FALSE(admin->copyDomain(handle, 99, 1, &newId));
    EXPECT_EQ(handle->errorText.str(), referenceDataMessage(1532));
    EXPECT_TRUE(log.hasLine(5, referenceDataMessage(1532)));
    EXPECT_EQ(storeCalls().size(), 2u) << "only the account and domain lookups";
    EXPECT_EQ(newId, 5u);
    EXPECT_EQ(openResultSets(), 0);
}

TEST_F(CopyTest, ADomainWithoutVersionsIsRolledBackWith1532) {
    open();
    scriptAccount(1);
    store->answer("listDomains", FakeRows({"ID", "NAME"}, {{7, "Colours"}}));
    unsigned newId = 5;
    EXPECT_FALSE(admin->copyDomain(handle, 7, 1, &newId));
    EXPECT_EQ(handle->errorText.str(), referenceDataMessage(1532));
    EXPECT_EQ(storeCalls().back(), "endTransaction(false)");
    EXPECT_FALSE(called("endTransaction(true)"));
    EXPECT_EQ(newId, 5u);
    EXPECT_EQ(openResultSets(), 0);
}

TEST_F(CopyTest, ABeginThatFailsGivesMessage3AndRollsBack) {
    open();
    scriptSource(1);
    store->failOperation("beginTransaction");
    EXPECT_FALSE(admin->copyDomain(handle, 7, 1, nullptr));
    EXPECT_EQ(handle->errorText.str(), referenceDataMessage(3));
    EXPECT_EQ(log.textsAt(5), std::vector<std::string>{referenceDataMessage(3)});
    EXPECT_EQ(storeCalls(), (std::vector<std::string>{"listAccounts(1,null,null,null,null,null,null)", kCopyCalls[1],
                                                      kCopyCalls[2], "endTransaction(false)"}));
    EXPECT_EQ(openResultSets(), 0);
}

// The n-th call of a copy fails, for every n: a failed lookup of the source
// writes nothing, any later failure (a failed begin too) is rolled back with
// every result set released, and a failed commit is reported with the
// store's text and not rolled back again.
TEST_F(CopyTest, AFailureAtAnyCallLeavesNoCommittedTrace) {
    open();
    for (std::size_t n = 1; n <= kCopyCalls.size(); ++n) {
        reopen();
        store->failCall(static_cast<int>(n));
        scriptSource();
        unsigned newId = 5;
        EXPECT_FALSE(admin->copyDomain(handle, 7, 9, &newId)) << n;
        EXPECT_EQ(newId, 5u) << n;
        const std::string failed = operationOf(kCopyCalls[n - 1]);
        const std::vector<std::string> calls = storeCalls();
        ASSERT_EQ(calls.size(), n + (n >= 3 && failed != "endTransaction" ? 1 : 0)) << n;
        EXPECT_EQ(calls[n - 1], kCopyCalls[n - 1]) << "the failing call comes in its place";
        if (failed == "beginTransaction") {
            EXPECT_EQ(handle->errorText.str(), referenceDataMessage(3));
            EXPECT_EQ(calls.back(), "endTransaction(false)");
        } else if (n <= 2 || failed == "endTransaction") {
            expectStoreFailure(failed, static_cast<int>(n));
            EXPECT_TRUE(callsOf("endTransaction(false)").empty()) << n;
        } else {
            expectRolledBack(failed, static_cast<int>(n));
        }
    }
}

}  // namespace
}  // namespace rdtest
