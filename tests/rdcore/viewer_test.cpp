// The query layer against the recording store: which store calls each query
// makes with which arguments, and how failures reach the handle.
#include <string>
#include <vector>

#include "RefDataViewer.h"
#include "RefDataViewerEx.h"
#include "allocation_fault.h"
#include "qxlog.h"
#include "rdcore_test_support.h"

namespace {

using fakes::FakeRows;
using rdtest::referenceDataMessage;

const std::vector<std::string> kItemColumns = {"ITEM_ID",        "ITEM_KEY",  "ITEM_LABEL", "PARENT_ID",
                                               "ATTRIBUTE_VALUE", "ATTRIBUTE_NAME", "ATTRIBUTE_DESCRIPTION",
                                               "LANGUAGE",       "DOMAIN",    "DOMAIN_VERSION"};

FakeRows domainRows(std::initializer_list<std::initializer_list<fakes::Cell>> rows) {
    return FakeRows({"DOMAIN_ID", "NAME"}, rows);
}
FakeRows versionRows(std::initializer_list<int> numbers) {
    FakeRows rows({"VERSION_ID", "DOMAIN_ID", "VERSION"}, {});
    for (const int n : numbers) rows.rows.push_back({QxbDatavar(), QxbDatavar(), [n] { QxbDatavar v; v.assign(n); return v; }()});
    return rows;
}
FakeRows itemRows(std::initializer_list<std::initializer_list<fakes::Cell>> rows) {
    return FakeRows(kItemColumns, rows);
}

class ViewerTest : public rdtest::SessionTest {
protected:
    void open(bool dataServer = false) {
        if (dataServer) home.writeConfig("[REFDATA]\nDATASERVER = true\n");
        keyValues("sqlite:data.db", "p_");
        ASSERT_TRUE(openMain()) << error.asCstr();
        viewer = session->getViewer(handle);
        ASSERT_NE(viewer, nullptr);
        store = static_cast<fakes::RecordingStore*>(handle->queryStore);
        fakes::callLog().clear();
    }
    // This store's calls of one operation, without the store's label.
    std::vector<std::string> callsOf(const std::string& operation) const {
        std::vector<std::string> found;
        for (const std::string& call : store->calls())
            if (call.rfind(operation + "(", 0) == 0) found.push_back(call);
        return found;
    }
    std::vector<std::string> storeCalls() const {
        std::vector<std::string> found;
        for (const std::string& call : store->calls())
            if (call != "getLastError()") found.push_back(call);
        return found;
    }
    std::vector<std::string> readColumn(RefDataCursor* cursor, int column) {
        std::vector<std::string> values;
        while (cursor->next() == 0) values.push_back(cursor->getString(column).str());
        return values;
    }

    RefDataViewer* viewer = nullptr;
    fakes::RecordingStore* store = nullptr;
};

// --- the store-backed family ---------------------------------------------------------

TEST_F(ViewerTest, StoreBackedQueriesPassTheirArgumentsAndNullFiltersElsewhere) {
    open();
    for (RefDataCursor* cursor : {viewer->getAccounts(handle, 7, QxbString("n"), QxbString(""), QxbString()),
                                  viewer->getDomainVersions(handle, 12, 3), viewer->getLanguages(handle),
                                  viewer->getPermissions(handle), viewer->getDomainExtras(handle, 5),
                                  viewer->getListH(handle, 4, nullptr), viewer->getListI(handle, 1, 2)}) {
        ASSERT_NE(cursor, nullptr);
        cursor->release();
    }
    EXPECT_EQ(storeCalls(), (std::vector<std::string>{
                                "listAccounts(7,'n','',null,null,null,null)",
                                "listDomainVersions(-1,12,3,null,null,null,null,-1,null,-1,null,null)",
                                "listLanguages(-1,null,null)", "listPermissions(-1,null,null,-1)",
                                "listDomainExtras(-1,null,null,5,-1,null,null)", "listH(-1,4)", "listI(-1,1,2)"}));
}

TEST_F(ViewerTest, AStoreFailureReachesTheHandleAndTheLog) {
    open();
    store->failOperation("listLanguages");
    EXPECT_EQ(viewer->getLanguages(handle), nullptr);
    const std::string text = fakes::storeFailureText(store->label(), "listLanguages");
    EXPECT_EQ(session->getErrorText(handle).str(), text);
    EXPECT_TRUE(log.hasLine(QXLOG_ERROR, text));
}

TEST_F(ViewerTest, WithoutAQueryStoreEveryQueryFailsWithMessage3) {
    keyValues("", "");
    ASSERT_TRUE(openMain());
    viewer = session->getViewer(handle);
    EXPECT_EQ(viewer->getLanguages(handle), nullptr);
    EXPECT_EQ(session->getErrorText(handle).str(), referenceDataMessage(3));
    EXPECT_EQ(viewer->getDataSources(handle), nullptr);
    EXPECT_EQ(viewer->getDelimitedFileFields(handle, QxbString("/nonexistent"), ',', '"'), nullptr);
    EXPECT_EQ(session->getErrorText(handle).str(), referenceDataMessage(3)) << "the file is never opened";
    EXPECT_FALSE(viewer->containsItemKey(handle, QxbString("d"), 0, QxbString("k")));
}

TEST_F(ViewerTest, UnimplementedQueriesTouchNothing) {
    open();
    handle->errorText.assign("before");
    EXPECT_EQ(viewer->getListL(handle), nullptr);
    EXPECT_EQ(viewer->getListM(nullptr), nullptr);
    EXPECT_EQ(viewer->getListN(handle), nullptr);
    EXPECT_EQ(viewer->getListP(handle), nullptr);
    EXPECT_EQ(viewer->getListT(nullptr, nullptr, 3), nullptr);
    EXPECT_EQ(session->getErrorText(handle).str(), "before");
    EXPECT_TRUE(store->calls().empty());
}

// --- domain lookups -----------------------------------------------------------------------

TEST_F(ViewerTest, GetDomainOfAnUnknownNameFailsWith1823) {
    open();
    EXPECT_EQ(viewer->getDomain(handle, -1, QxbString("nope")), nullptr);
    EXPECT_EQ(session->getErrorText(handle).str(),
              qxb_get_message("t", 0, "Reference Data", 1823, "").str());
    EXPECT_TRUE(log.hasLine(QXLOG_INFO, "getDomain(id=-1,name='nope')"));
}

TEST_F(ViewerTest, GetDomainWithDetailsByUnknownNameNamesItInBrackets) {
    open();
    EXPECT_EQ(viewer->getDomainWithDetails(handle, QxbString("o'dd %s"), true), nullptr);
    EXPECT_EQ(session->getErrorText(handle).str(),
              qxb_get_message("t", 0, "Reference Data", 1823, "[o'dd %s].").str());
    EXPECT_TRUE(log.hasLine(QXLOG_INFO, "getDomainWithDetails(name='o'dd %s',current=true)"));
}

TEST_F(ViewerTest, AFailedExistenceCheckIsLoggedThenReportedAsNotFound) {
    open();
    store->failOperation("listDomains");
    EXPECT_EQ(viewer->getDomainWithDetails(handle, QxbString("x"), false), nullptr);
    EXPECT_TRUE(log.hasLine(QXLOG_ERROR, fakes::storeFailureText(store->label(), "listDomains")));
    EXPECT_EQ(session->getErrorText(handle).str(),
              qxb_get_message("t", 0, "Reference Data", 1823, "[x].").str());
}

TEST_F(ViewerTest, GetDomainWithDetailsByNameChecksThenListsDetails) {
    open();
    store->answer("listDomains", domainRows({{4, "Countries"}}));
    RefDataCursor* cursor = viewer->getDomainWithDetails(handle, QxbString("Countries"), true);
    ASSERT_NE(cursor, nullptr);
    cursor->release();
    EXPECT_EQ(storeCalls(), (std::vector<std::string>{
                                "listDomains(-1,'Countries',null,null,null,null,null,-1,null,-1,-1,null,null,null)",
                                "listDomainDetails(-1,'Countries',true)"}));
}

TEST_F(ViewerTest, GetDomainWithDetailsByIdNeverChecksExistence) {
    open();
    RefDataCursor* cursor = viewer->getDomainWithDetails(handle, 9, false);
    ASSERT_NE(cursor, nullptr);
    cursor->release();
    EXPECT_EQ(storeCalls(), (std::vector<std::string>{"listDomainDetails(9,null,false)"}));
}

TEST_F(ViewerTest, DataServerModeBindsTheNumberedParameters) {
    open(true);
    RefDataCursor* all = viewer->getDomainWithDetails(handle, -1, true);
    ASSERT_NE(all, nullptr);
    all->release();
    RefDataCursor* seven = viewer->getDomainWithDetails(handle, 7, false);
    ASSERT_NE(seven, nullptr);
    seven->release();
    EXPECT_EQ(storeCalls(), (std::vector<std::string>{"prepareQuery(1)", "bindParameter(1,true)", "executeQuery()",
                                                      "prepareQuery(1)", "bindParameter(2,7)",
                                                      "bindParameter(1,false)", "executeQuery()"}));
}

TEST_F(ViewerTest, DataServerLookupsByNameBindTheNameFirst) {
    open(true);
    store->answer("executeQuery", domainRows({{4, "d"}}));
    RefDataCursor* cursor = viewer->getDomainWithDetails(handle, QxbString("d"), true);
    ASSERT_NE(cursor, nullptr);
    cursor->release();
    store->answer("executeQuery", domainRows({{4, "d"}}));
    EXPECT_EQ(viewer->getDomain(handle, 4, QxbString("d")), nullptr);  // past the check: unhandled
    EXPECT_EQ(storeCalls(), (std::vector<std::string>{
                                "prepareQuery(2)", "bindParameter(3,'d')", "executeQuery()",
                                "prepareQuery(1)", "bindParameter(3,'d')", "bindParameter(1,true)",
                                "executeQuery()", "prepareQuery(2)", "bindParameter(3,'d')",
                                "bindParameter(2,4)", "executeQuery()"}));
}

TEST_F(ViewerTest, DataServerGetDomainServesOnlyTheFullListing) {
    open(true);
    store->answer("executeQuery", domainRows({{3, "a"}}));
    handle->errorText.assign("previous");
    EXPECT_EQ(viewer->getDomain(handle, 3, QxbString()), nullptr);
    EXPECT_TRUE(log.hasLine(QXLOG_ERROR, "RefDataViewerImpl::getDomain unhandled mode(3,)"));
    EXPECT_EQ(session->getErrorText(handle).str(), "previous");

    store->answer("executeQuery", domainRows({{3, "a"}}));
    store->answer("executeQuery", domainRows({{3, "a"}}));
    RefDataCursor* cursor = viewer->getDomain(handle, -1, QxbString());
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->next(), 0);
    EXPECT_EQ(cursor->getInt(0), 3);
    cursor->release();
}

TEST_F(ViewerTest, DataServerGetDomainWithNoDomainAtAllFailsTheExistenceCheck) {
    open(true);
    EXPECT_EQ(viewer->getDomain(handle, -1, QxbString()), nullptr);
    EXPECT_EQ(session->getErrorText(handle).str(),
              qxb_get_message("t", 0, "Reference Data", 1823, "").str());
}

TEST_F(ViewerTest, ListForDomainAsksForKindCOnlyWhenColumn12SaysSo) {
    open();
    std::initializer_list<fakes::Cell> row = {5, "d", "", "", "", "", "", 0, "", 0, 0, 0.0, "C"};
    store->answer("listDomains", FakeRows({"ID"}, {row}));
    RefDataCursor* cursor = viewer->getListForDomain(handle, 5, nullptr);
    ASSERT_NE(cursor, nullptr);
    cursor->release();
    store->answer("listDomains", FakeRows({"ID"}, {{5, "d", "", "", "", "", "", 0, "", 0, 0, 0.0, "c"}}));
    cursor = viewer->getListForDomain(handle, 5, nullptr);
    ASSERT_NE(cursor, nullptr);
    cursor->release();
    EXPECT_EQ(callsOf("listForDomainKind"),
              (std::vector<std::string>{"listForDomainKind(5,true)", "listForDomainKind(5,false)"}));

    EXPECT_EQ(viewer->getListForDomain(handle, 6, nullptr), nullptr);
    EXPECT_EQ(session->getErrorText(handle).str(), referenceDataMessage(1532));
}

// --- items with attributes ------------------------------------------------------------------

TEST_F(ViewerTest, VersionZeroSelectsTheHighestNumber) {
    open();
    store->answer("listDomains", domainRows({{4, "d"}}));
    store->answer("listDomainVersions", versionRows({1, 3, 2}));
    store->answer("listItemsWithAttributesOfVersion", itemRows({{1, "k1"}, {2, "k2"}}));
    RefDataCursor* cursor = viewer->getDomainItemsWithAttributes(handle, QxbString("d"), 0);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->getColumnCount(), 10);
    EXPECT_EQ(cursor->getColumnName(1).str(), "ITEM_KEY");
    EXPECT_EQ(readColumn(cursor, 1), (std::vector<std::string>{"k1", "k2"}));
    cursor->release();
    EXPECT_EQ(callsOf("listDomainVersions"),
              (std::vector<std::string>{"listDomainVersions(-1,4,-1,null,null,null,null,-1,null,-1,null,null)"}));
    EXPECT_EQ(callsOf("listItemsWithAttributesOfVersion"),
              (std::vector<std::string>{"listItemsWithAttributesOfVersion(4,3)"}));
    EXPECT_TRUE(log.hasLine(QXLOG_INFO, "getDomainItemsWithAttributes(name='d',version=0)"));
}

TEST_F(ViewerTest, ADomainWithoutVersionsIsAskedForItsItemsWithoutAVersion) {
    open();
    store->answer("listDomains", domainRows({{4, "d"}}));
    store->answer("listItemsWithAttributes", itemRows({}));
    RefDataCursor* cursor = viewer->getDomainItemsWithAttributes(handle, QxbString("d"), 0);
    ASSERT_NE(cursor, nullptr);
    cursor->release();
    EXPECT_EQ(callsOf("listItemsWithAttributes"), (std::vector<std::string>{"listItemsWithAttributes(4,-1)"}));
}

TEST_F(ViewerTest, AnItemListWithoutColumnsFailsWithAnEmptyErrorText) {
    open();
    store->answer("listDomains", domainRows({{4, "d"}}));
    handle->errorText.assign("earlier");
    EXPECT_EQ(viewer->getDomainItemsWithAttributes(handle, QxbString("d"), -1), nullptr);
    EXPECT_EQ(session->getErrorText(handle).str(), "");
}

TEST_F(ViewerTest, VersionMinusOneRunsButNeverReadsTheVersionsQuery) {
    open();
    store->answer("listDomains", domainRows({{4, "d"}}));
    store->answer("listDomainVersions", versionRows({5}));
    store->answer("listItemsWithAttributes", itemRows({}));
    RefDataCursor* cursor = viewer->getDomainItemsWithAttributes(handle, QxbString("d"), -1);
    ASSERT_NE(cursor, nullptr);
    cursor->release();
    EXPECT_EQ(callsOf("listItemsWithAttributes"), (std::vector<std::string>{"listItemsWithAttributes(4,-1)"}));

    store->answer("listDomains", domainRows({{4, "d"}}));
    store->failOperation("listDomainVersions");
    EXPECT_EQ(viewer->getDomainItemsWithAttributes(handle, QxbString("d"), -1), nullptr);
}

TEST_F(ViewerTest, AMissingExactVersionFailsWith1824NamingDomainAndVersion) {
    open();
    store->answer("listDomains", domainRows({{4, "stored name"}}));
    EXPECT_EQ(viewer->getDomainItemsWithAttributes(handle, QxbString("Caller's"), 7), nullptr);
    EXPECT_EQ(session->getErrorText(handle).str(),
              qxb_get_message("t", 0, "Reference Data", 1824, "Caller's", "7").str());
    EXPECT_EQ(callsOf("listDomainVersions"),
              (std::vector<std::string>{"listDomainVersions(-1,4,7,null,null,null,null,-1,null,-1,null,null)"}));
}

TEST_F(ViewerTest, AnUnknownNameFailsWith1823AndTheNameAfterAColon) {
    open();
    EXPECT_EQ(viewer->getDomainItemsWithAttributes(handle, QxbString("ghost"), 0), nullptr);
    EXPECT_EQ(session->getErrorText(handle).str(),
              qxb_get_message("t", 0, "Reference Data", 1823, ": ghost.").str());
}

TEST_F(ViewerTest, EveryDomainIsVisitedInAscendingIdOrder) {
    open();
    store->answer("listDomains", domainRows({{12, "twelve"}, {3, "three"}, {8, "eight"}}));
    for (const char* key : {"a3", "a8", "a12"}) {
        store->answer("listDomainVersions", versionRows({1}));
        store->answer("listItemsWithAttributesOfVersion", itemRows({{1, key}}));
    }
    RefDataCursor* cursor = viewer->getDomainItemsWithAttributes(handle, QxbString(), 0);
    ASSERT_NE(cursor, nullptr);
    cursor->release();
    EXPECT_EQ(callsOf("listItemsWithAttributesOfVersion"),
              (std::vector<std::string>{"listItemsWithAttributesOfVersion(3,1)", "listItemsWithAttributesOfVersion(8,1)",
                                        "listItemsWithAttributesOfVersion(12,1)"}));
}

TEST_F(ViewerTest, NoDomainAtAllGivesAnEmptyCursorWithTheItemColumns) {
    open();
    store->answer("listItemsWithAttributes", itemRows({}));
    RefDataCursor* cursor = viewer->getDomainItemsWithAttributes(handle, QxbString(), 0);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->getColumnCount(), 10);
    EXPECT_EQ(cursor->next(), 1);
    cursor->release();
}

TEST_F(ViewerTest, AFailingDomainFailsTheWholeCallAndReleasesEverything) {
    open();
    store->answer("listDomains", domainRows({{1, "one"}, {2, "two"}}));
    store->answer("listDomainVersions", versionRows({1}));
    store->answer("listItemsWithAttributesOfVersion", itemRows({{1, "k"}}));
    store->failOperation("listDomainVersions", 2);
    EXPECT_EQ(viewer->getDomainItemsWithAttributes(handle, QxbString(), 0), nullptr);
    const auto released = fakes::callLog().matching(".release()");
    EXPECT_EQ(released.size(), 3u) << fakes::callLog().dump();  // domains, versions, items of domain 1
}

TEST_F(ViewerTest, DataServerItemQueriesBindDomainAndVersion) {
    open(true);
    store->answer("executeQuery", domainRows({{4, "d"}}));
    store->answer("executeQuery", versionRows({2}));
    store->answer("executeQuery", itemRows({{1, "k"}}));
    RefDataCursor* cursor = viewer->getDomainItemsWithAttributes(handle, QxbString("d"), 0);
    ASSERT_NE(cursor, nullptr);
    cursor->release();
    EXPECT_EQ(storeCalls(), (std::vector<std::string>{"prepareQuery(2)", "bindParameter(3,'d')", "executeQuery()",
                                                      "prepareQuery(3)", "bindParameter(2,4)", "bindParameter(4,-1)",
                                                      "executeQuery()", "prepareQuery(4)", "bindParameter(2,4)",
                                                      "bindParameter(4,2)", "executeQuery()"}));
}

// The key is looked up by the store (listItemsWithKey, or prepared kind 5),
// never by reading the item rows; a row is "found", the end "absent", and
// any other answer or an unknown domain an error.
TEST_F(ViewerTest, KeyLookupsAskTheStoreForTheKeyAlone) {
    struct Case {
        bool dataServer;
        FakeRows rows;
        int found;  // findItemKey's answer
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {false, itemRows({{2, "FR"}}), 1,
         {"listDomains(-1,'d',null,null,null,null,null,-1,null,-1,-1,null,null,null)",
          "listDomainVersions(-1,4,-1,null,null,null,null,-1,null,-1,null,null)", "listItemsWithKey(4,3,'FR')"}},
        {false, itemRows({}), 0, {}},
        {true, itemRows({}), 0,
         {"prepareQuery(2)", "bindParameter(3,'d')", "executeQuery()", "prepareQuery(3)", "bindParameter(2,4)",
          "bindParameter(4,-1)", "executeQuery()", "prepareQuery(5)", "bindParameter(2,4)", "bindParameter(3,'FR')",
          "bindParameter(4,3)", "executeQuery()"}},
    };
    for (const Case& c : cases) {
        for (bool viaContains : {false, true}) {
            open(c.dataServer);
            const char* listing = c.dataServer ? "executeQuery" : nullptr;
            store->answer(listing ? listing : "listDomains", domainRows({{4, "d"}}));
            store->answer(listing ? listing : "listDomainVersions", versionRows({1, 3}));
            store->answer(listing ? listing : "listItemsWithKey", c.rows);
            const int found = viaContains
                                  ? (viewer->containsItemKey(handle, QxbString("d"), 0, QxbString("FR")) ? 1 : 0)
                                  : static_cast<RefDataViewerEx*>(viewer)->findItemKey(handle, QxbString("d"), 0,
                                                                                       QxbString("FR"));
            EXPECT_EQ(found, c.found);
            if (!c.calls.empty()) {
                EXPECT_EQ(storeCalls(), c.calls);
            }
            EXPECT_TRUE(fakes::callLog().matching("listItemsWithAttributes").empty());
        }
    }
    open();
    store->answer("listDomains", domainRows({}));
    EXPECT_EQ(static_cast<RefDataViewerEx*>(viewer)->findItemKey(handle, QxbString("ghost"), 0, QxbString("DE")), -1);
    EXPECT_NE(handle->errorText.str().find("ghost"), std::string::npos) << handle->errorText.str();
}

// --- external sources -------------------------------------------------------------------------

TEST_F(ViewerTest, DelimitedFileFieldsAreTheFirstLineWithPositions) {
    open();
    home.writeFile("in.csv", "\xEF\xBB\xBF" "code,\"name, long\",region\r\nx,y,z\r\n");
    RefDataCursor* cursor = viewer->getDelimitedFileFields(handle, QxbString(home.file("in.csv")), ',', '"');
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->getColumnName(0).str(), "NAME");
    EXPECT_EQ(cursor->getColumnName(1).str(), "POSITION");
    std::vector<std::string> names;
    std::vector<int> positions;
    while (cursor->next() == 0) {
        names.push_back(cursor->getString(0).str());
        positions.push_back(cursor->getInt(1));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"code", "name, long", "region"}));
    EXPECT_EQ(positions, (std::vector<int>{0, 1, 2}));
    cursor->release();
}

TEST_F(ViewerTest, AnEmptyFileGivesNoCursorAndKeepsTheErrorText) {
    open();
    home.writeFile("empty.csv", "");
    handle->errorText.assign("earlier");
    EXPECT_EQ(viewer->getDelimitedFileFields(handle, QxbString(home.file("empty.csv")), ',', '"'), nullptr);
    EXPECT_EQ(session->getErrorText(handle).str(), "earlier");
}

TEST_F(ViewerTest, AMissingFileGivesTheOpenReason) {
    open();
    EXPECT_EQ(viewer->getDelimitedFileFields(handle, QxbString(home.file("missing.csv")), ',', '"'), nullptr);
    EXPECT_NE(session->getErrorText(handle).str().find("missing.csv"), std::string::npos);
}

TEST_F(ViewerTest, AWideFirstLineReportsTheFirst1024Fields) {
    open();
    std::string line;
    for (int i = 0; i < 1100; ++i) line += (i ? ";" : "") + std::string("f") + std::to_string(i);
    home.writeFile("wide.csv", line + "\n");
    RefDataCursor* cursor = viewer->getDelimitedFileFields(handle, QxbString(home.file("wide.csv")), ';', 0);
    ASSERT_NE(cursor, nullptr);
    const auto names = readColumn(cursor, 0);
    ASSERT_EQ(names.size(), 1024u);
    EXPECT_EQ(names.back(), "f1023");
    cursor->release();
}

TEST_F(ViewerTest, NoDataAccessObjectGives530) {
    open();
    rdtest::failNothrowAllocation(1);  // the data-access object is the call's first allocation
    EXPECT_EQ(viewer->getDataSources(handle), nullptr);
    const bool fired = !rdtest::nothrowFaultPending();
    rdtest::failNothrowAllocation(0);
    ASSERT_TRUE(fired);
    EXPECT_EQ(session->getErrorText(handle).str(), referenceDataMessage(530));
    EXPECT_TRUE(log.hasLine(QXLOG_ERROR, referenceDataMessage(530)));
}

TEST_F(ViewerTest, DataSourcesComeFromTheConfiguration) {
    home.writeConfig("[datasources.main]\nconnection = \"sqlite:x.db\"\ndriver = \"sqlite\"\ndescription = \"d\"\n");
    open();
    RefDataCursor* cursor = viewer->getDataSources(handle);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->getColumnCount(), 4);
    EXPECT_EQ(readColumn(cursor, 0), (std::vector<std::string>{"main"}));
    cursor->release();
}

}  // namespace
