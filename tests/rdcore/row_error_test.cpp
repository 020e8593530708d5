// A store answer other than a row or the end, met at any row of any walk of
// an administration operation or a query, fails the operation: never a
// shorter walk taken for the end, never a commit.
#include <functional>
#include <string>
#include <vector>

#include "RefDataViewer.h"
#include "RefDataViewerEx.h"
#include "admin_test_support.h"

namespace rdtest {
namespace {

using fakes::FakeRows;

struct RowErrorCase {
    const char* listing;
    int row;
};

class RowErrorTest : public AdminTest {
protected:
    // Account 9; domain 7 with version 41 of two items; one of each version
    // row the copy reads.
    void scriptDomain() {
        scriptAccount(9);
        store->answer("listDomains", FakeRows({"ID", "NAME"}, {{7, "Colours"}}));
        store->answer("listDomainVersions", FakeRows({"ID", "DOMAIN_ID"}, {{41, 7}, {42, 7}}));
        for (int i = 0; i < 2; ++i)
            store->answer("listVersionItems", FakeRows({"ID", "VERSION_ID", "ITEM_ID"}, {{31, 41, 501}, {32, 41, 502}}));
        store->answer("listVersionItemValueLinks", FakeRows({"V", "T", "IV"}, {{41, 61, 71}, {41, 62, 72}}));
    }
    void expectFailedWithoutCommit(const std::string& what) {
        EXPECT_FALSE(called("endTransaction(true)")) << what;
        EXPECT_EQ(openResultSets(), 0) << what;
    }
};

TEST_F(RowErrorTest, EveryAdministrationWalkFailsOnARowError) {
    open();
    const std::vector<std::pair<std::string, std::function<bool()>>> operations = {
        {"copy", [&] { return admin->copyDomain(handle, 7, 9, nullptr); }},
        {"removeDomain", [&] { return admin->removeDomain(handle, 7, 9); }},
        {"removeDomainVersion", [&] { return admin->removeDomainVersion(handle, 41, 9); }},
        {"createAccount",
         [&] {
             return admin->createAccount(handle, QxbString("n"), QxbString("k"), QxbString(), QxbString("USER"), 1,
                                         nullptr);
         }},
        {"removeVersionItemTexts", [&] { return admin->removeVersionItemTexts(handle, 1, 0, 9, 41); }},
        {"refresh", [&] { return admin->refreshCatalogues(handle); }},
    };
    const std::vector<RowErrorCase> rowErrors = {
        {"listAccounts", 0},       {"listDomains", 0},      {"listDomainVersions", 0}, {"listDomainVersions", 1},
        {"listVersionItems", 1},   {"listVersionItemValueLinks", 1}, {"listAttributeContexts", 0},
    };
    int failures = 0;
    for (const auto& operation : operations) {
        for (const RowErrorCase& rowError : rowErrors) {
            // Runs the operation clean first: only a walk it makes counts.
            reopen();
            scriptDomain();
            const bool clean = operation.second();
            const bool walked = !callsOf(rowError.listing).empty();
            if (!walked) continue;
            reopen();
            scriptDomain();
            store->failRow(rowError.listing, rowError.row);
            const std::string what = operation.first + " at " + rowError.listing + " row " + std::to_string(rowError.row);
            const bool faulted = operation.second();
            // A walk shorter than the error row never reaches it.
            if (faulted == clean && rowError.row > 0) continue;
            EXPECT_FALSE(faulted) << what;
            expectFailedWithoutCommit(what);
            ++failures;
        }
    }
    EXPECT_GE(failures, 10) << "the walks of the operations above";
}

TEST_F(RowErrorTest, EveryQueryWalkFailsOnARowError) {
    open();
    RefDataViewer* viewer = session->getViewer(handle);
    fakes::RecordingStore* query = static_cast<fakes::RecordingStore*>(handle->queryStore);
    const FakeRows items({"ITEM_ID", "ITEM_KEY"}, {{1, "A"}, {2, "B"}});
    struct Case {
        const char* what;
        const char* listing;
        int row;
        std::function<bool()> query;
    };
    auto cursor = [](RefDataCursor* answered) {
        if (answered != nullptr) answered->release();
        return answered != nullptr;
    };
    const std::vector<Case> cases = {
        {"all domains' items", "listDomains", 1, [&] { return cursor(viewer->getDomainItemsWithAttributes(handle, QxbString(), 0)); }},
        {"newest version", "listDomainVersions", 1, [&] { return cursor(viewer->getDomainItemsWithAttributes(handle, QxbString("d"), 0)); }},
        {"item rows", "listItemsWithAttributes", 1, [&] { return cursor(viewer->getDomainItemsWithAttributes(handle, QxbString("d"), -1)); }},
        {"list for a domain", "listDomains", 0, [&] { return cursor(viewer->getListForDomain(handle, 7, nullptr)); }},
        {"streamed rows", "listItemsWithAttributes", 1, [&] {
             RefDataCursor* rows = static_cast<RefDataViewerEx*>(viewer)->streamDomainItems(handle, QxbString("d"), -1);
             int answer = 0;
             while (rows != nullptr && (answer = rows->next()) == 0) {
             }
             if (rows != nullptr) rows->release();
             return rows != nullptr && answer == 1;
         }},
        {"key lookup", "listItemsWithKey", 0, [&] { return viewer->containsItemKey(handle, QxbString("d"), -1, QxbString("B")); }},
    };
    for (const Case& c : cases) {
        query->answer("listDomains", FakeRows({"ID", "NAME"}, {{7, "d"}, {8, "e"}}));
        query->answer("listDomainVersions", FakeRows({"ID", "DOMAIN_ID", "VERSION"}, {{41, 7, 1}, {42, 7, 2}}));
        query->answer("listItemsWithAttributes", items);
        query->answer("listItemsWithKey", items);
        query->failRow(c.listing, c.row);
        handle->errorText.assign("");
        EXPECT_FALSE(c.query()) << c.what;
        EXPECT_EQ(openResultSets(), 0) << c.what;
        EXPECT_TRUE(log.count(5) > 0) << c.what;
        log.clear();
    }
}

}  // namespace
}  // namespace rdtest
