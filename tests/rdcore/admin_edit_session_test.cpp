// The edit session against the recording store: the loader's listings and
// the session it builds, the begin operations' failures, the edit
// operations on the newest version, and the attribute and item writes.
#include <string>
#include <vector>

#include "admin_test_support.h"
#include "rdcoreeditsession.h"

namespace rdtest {
namespace {

using fakes::FakeRows;

const std::vector<std::string> kIdRow = {"ID"};

// A version row of listDomainVersions made by account 1.
FakeRows versionRows(std::initializer_list<std::initializer_list<fakes::Cell>> idDomainNumber) {
    FakeRows rows({"ID", "DOMAIN_ID", "NUMBER", "LABEL", "F1", "F2", "TEXT", "ACCOUNT_ID"}, {});
    for (const auto& cells : idDomainNumber) {
        std::vector<QxbDatavar> row;
        for (const fakes::Cell& cell : cells) row.push_back(cell.value_);
        for (const fakes::Cell& cell : {fakes::Cell("v"), fakes::Cell("Y"), fakes::Cell("Y"), fakes::Cell("t"), fakes::Cell(1)})
            row.push_back(cell.value_);
        rows.rows.push_back(row);
    }
    return rows;
}

class EditSessionTest : public AdminTest {
protected:
    void scriptCatalogues() {
        store->answer("listAttributeContexts", FakeRows({"ID", "NAME", "DESCRIPTION"}, {{1, "DEFAULT", ""}, {2, "ITEM", ""}}));
        store->answer("listAttributeTypes", FakeRows({"ID", "NAME", "DESCRIPTION"}, {{1, "SINGLELINETEXT", ""}}));
        store->answer("listLanguages", FakeRows({"ID", "CODE", "NAME"}, {{1, "en", "English"}, {2, "de", "German"}}));
        store->answer("listPermissions", FakeRows({"ID", "NAME", "DESCRIPTION", "LEVEL"}, {{1, "READ", "", 1}, {2, "WRITE", "", 2}}));
        store->answer("listRoles", FakeRows({"ID", "NAME", "DESCRIPTION", "NOTE"}, {{2, "ADMIN", "", nullptr}}));
        store->answer("listAccounts", FakeRows({"ID", "NAME", "T2", "T3", "T4", "T5", "T6", "T7", "ROLE_ID", "CREATED"},
                                               {{1, "admin", "USER", "admin", "", "", "", "", 2, 2460000.5}}));
        store->answer("listAttributes", FakeRows({"ID", "TYPE_ID", "CONTEXT_ID", "NAME", "LABEL", "TYPE_NAME", "LANGUAGE_ID", "FLAG", "CREATED"},
                                                 {{11, 1, 1, "name", "Name", "", 1, "N", 0.0}, {12, 1, 1, "note", "Note", "", 1, "N", 0.0}}));
        // Item 25 was stored with a NULL account: it loads without one.
        store->answer("listItems", FakeRows({"ID", "KEY", "TEXT", "F1", "F2", "T2", "ACCOUNT_ID"},
                                            {{21, "A", "a", "Y", "Y", "P", 1}, {22, "B", "b", "Y", "Y", "P", 1},
                                             {23, "C", "c", "Y", "Y", "P", 1}, {24, "EUR", "euro", "Y", "Y", "P", 1},
                                             {25, "D", "d", "Y", "Y", "P", -1}}));
        store->answer("listItemPermissions", FakeRows({"ITEM_ID", "ACCOUNT_ID", "PERMISSION_ID"}, {{22, 1, 1}, {99, 1, 1}, {21, -1, 2}}));
        store->answer("listLocalizedTexts", FakeRows({"ID", "TEXT", "LANGUAGE_ID"}, {{31, "a-en", 1}, {32, "a-de", 2}, {33, "b-en", 1}}));
    }

    // Domain 5 with versions 70 (one item) and 71: A; B under A; C under B;
    // an item 99 the catalogue lacks under an unknown parent 77. NULL (-1)
    // accounts load as none; unknown attribute 99 and domain attribute 51's
    // value scan to none.
    void scriptDomain() {
        store->answer("listDomains", FakeRows({"ID", "NAME", "DESCRIPTION", "TEXT1", "FLAG1", "FLAG2", "TEXT2", "NUMBER1",
                                               "T8", "NUMBER2", "N10", "D11", "KIND", "DATE"},
                                              {{5, "Colours", "desc", "t1", "Y", "N", "t2", 3, "x", 4, 0, 0.0, "C", 2460000.5}}));
        store->answer("listDomainPermissions", FakeRows({"DOMAIN_ID", "ACCOUNT_ID", "PERMISSION_ID"}, {{5, 1, 2}, {5, -1, 1}}));
        store->answer("listDomainLanguages", FakeRows({"ID", "DOMAIN_ID", "LANGUAGE_ID"}, {{40, 5, 1}, {41, 5, 2}}));
        store->answer("listDomainAttributes", FakeRows({"ID", "DOMAIN_ID", "ATTRIBUTE_ID"}, {{50, 5, 11}, {51, 5, 99}}));
        store->answer("listDomainAttributePermissions", FakeRows({"DOMAIN_ID", "ACCOUNT_ID", "PERMISSION_ID"}, {{5, 1, 1}, {5, 1, 2}, {5, -1, 2}}));
        store->answer("listDomainAttributeValues", FakeRows({"ID", "DA", "TEXT", "FLAG", "LANGUAGE_ID"}, {{60, 50, "v", "Y", 1}}));
        store->answer("listDomainVersions", FakeRows({"ID", "DOMAIN_ID", "NUMBER", "LABEL", "F1", "F2", "TEXT", "ACCOUNT_ID", "F8", "N9", "D10", "CREATED"},
                                                     {{70, 5, 1, "v1", "Y", "Y", "t", 1, "N", 0, 0.0, 2460000.5},
                                                      {71, 5, 2, "v2", "N", "Y", "t", -1, "N", 0, 0.0, 2460001.5}}));
        const std::vector<std::string> permission = {"VERSION_ID", "ACCOUNT_ID", "PERMISSION_ID"};
        store->answer("listVersionPermissions", FakeRows(permission, {}));
        store->answer("listVersionPermissions", FakeRows(permission, {{71, 1, 1}}));
        store->answer("listVersionLanguages", FakeRows({"VERSION_ID", "DL"}, {{70, 40}}));
        store->answer("listVersionLanguages", FakeRows({"VERSION_ID", "DL"}, {{71, 40}, {71, 41}}));
        store->answer("listVersionAttributes", FakeRows({"D", "DA", "V", "FLAG"}, {{5, 50, 70, "Y"}}));
        store->answer("listVersionAttributes", FakeRows({"D", "DA", "V", "FLAG"}, {{5, 50, 71, "Y"}, {5, 51, 71, "N"}}));
        store->answer("listVersionValues", FakeRows({"V", "DAV"}, {{70, 60}}));
        store->answer("listVersionValues", FakeRows({"V", "DAV"}, {{71, 60}}));
        const std::vector<std::string> items = {"ID", "V", "ITEM", "CREATED", "POSITION", "LABEL", "PARENT"};
        store->answer("listVersionItems", FakeRows(items, {{80, 70, 21, 0.0, 1, "A", -1}}));
        store->answer("listVersionItems", FakeRows(items, {{90, 71, 21, 0.0, 1, "A", -1}, {91, 71, 22, 0.0, 2, "B", 21},
                                                          {92, 71, 23, 0.0, 3, "C", 22}, {93, 71, 99, 0.0, 4, "?", 77}}));
        const std::vector<std::string> values = {"ID", "VI", "ATTRIBUTE", "ITEM", "V"};
        store->answer("listVersionItemAttributeValues", FakeRows(values, {{100, 80, 11, 21, 70}}));
        store->answer("listVersionItemAttributeValues", FakeRows(values, {{110, 90, 11, 21, 71}, {111, 91, 11, 22, 71}, {112, 92, 12, 23, 71}}));
        store->answer("listVersionItemValues", FakeRows({"V", "IV"}, {{70, 100}}));
        store->answer("listVersionItemValues", FakeRows({"V", "IV"}, {{71, 110}, {71, 111}, {71, 112}}));
        store->answer("listVersionItemValueLinks", FakeRows({"V", "T", "IV"}, {{70, 31, 100}}));
        store->answer("listVersionItemValueLinks", FakeRows({"V", "T", "IV"}, {{71, 31, 110}, {71, 32, 110}, {71, 33, 111}}));
        store->answer("listDomainRolePermissions", FakeRows({"D", "ACCOUNT_ID", "ROLE_ID"}, {{5, 1, 2}}));
        store->answer("listDomainAssociations", FakeRows({"D", "ID", "TEXT"}, {{5, 7, "assoc"}}));
        store->answer("listChangeRecords", FakeRows({"ID", "D", "STATUS", "OBJECT", "CODE", "DESCRIPTION", "LANGUAGE_ID", "ACCOUNT_ID", "DATE"},
                                                    {{1, 5, "A", 5, "RDDOMS", "Created", 1, -1, 2460000.5}}));
        store->answer("listDomainExtras", FakeRows({"ID", "T1", "T2", "D", "N", "T3", "T4"}, {{3, "x", "y", 5, 9, "z", "w"}}));
    }

    bool beginVersion(unsigned domain = 5, unsigned account = 1) {
        return admin->beginNewDomainVersion(handle, domain, QxbString(), QxbString(), false, account, QxbString("v3"));
    }
    bool beginDomain() {
        scriptCatalogues();
        return admin->beginNewDomain(handle, QxbString("New"), QxbString("d"), QxbString("t"), true, QxbString(), 1,
                                     QxbString("first"));
    }
    DomainEditSession& session() { return *handle->currentDomain; }
    PendingVersion& newest() { return session().newest(); }
    // The change records' table codes and objects, "CODE:id" each.
    std::vector<std::string> records(std::size_t from = 0) {
        std::vector<std::string> found;
        for (std::size_t i = from; i < session().changeRecords.size(); ++i) {
            const ChangeRecord& record = session().changeRecords[i];
            found.push_back(record.tableCode.str() + ":" + std::to_string(static_cast<int>(record.objectId)));
        }
        return found;
    }
    std::vector<unsigned> newestItems() {
        std::vector<unsigned> ids;
        for (const VersionItemEntry& entry : newest().items) ids.push_back(entry.item != nullptr ? entry.item->id : 0);
        return ids;
    }
    static std::string msg(int code, const char* argument) {
        return qxb_get_message("test", 0, "Reference Data", code, argument).str();
    }

    const std::vector<std::string> kLoadCalls = {
        "listDomains(5,null,null,null,null,null,null,-1,null,-1,-1,null,null,null)",
        "listDomainPermissions(5,-1,-1)",
        "listDomainLanguages(-1,5,-1)",
        "listDomainAttributes(-1,5,-1)",
        "listDomainAttributePermissions(5,-1,-1)",
        "listDomainAttributeValues(-1,50,null,null,-1)",
        "listDomainAttributeValues(-1,51,null,null,-1)",
        "listDomainVersions(-1,5,-1,null,null,null,null,-1,null,-1,null,null)",
        "listVersionPermissions(70,-1,-1)",
        "listVersionLanguages(70,-1)",
        "listVersionAttributes(5,-1,70,null)",
        "listVersionValues(70,-1)",
        "listVersionItems(-1,70,-1,null,-1,null,-1)",
        "listVersionItemAttributeValues(70)",
        "listVersionItemValues(70,-1)",
        "listVersionItemValueLinks(70,-1,-1)",
        "listVersionPermissions(71,-1,-1)",
        "listVersionLanguages(71,-1)",
        "listVersionAttributes(5,-1,71,null)",
        "listVersionValues(71,-1)",
        "listVersionItems(-1,71,-1,null,-1,null,-1)",
        "listVersionItemAttributeValues(71)",
        "listVersionItemValues(71,-1)",
        "listVersionItemValueLinks(71,-1,-1)",
        "listDomainRolePermissions(5,-1,-1)",
        "listDomainAssociations(5,-1,null)",
        "listChangeRecords(-1,5,null,-1,null,null,-1,-1,null)",
        "listDomainExtras(-1,null,null,5,-1,null,null)",
    };
    static constexpr std::size_t kRefreshCallCount = 10;
};

// --- beginNewDomainVersion and the loader --------------------------------------------------------

TEST_F(EditSessionTest, BeginNewDomainVersionLoadsTheDomainWithOneListingPerKind) {
    open();
    scriptCatalogues();
    scriptDomain();
    ASSERT_TRUE(beginVersion()) << handle->errorText.asCstr();
    const std::vector<std::string> calls = storeCalls();
    ASSERT_EQ(calls.size(), kRefreshCallCount + kLoadCalls.size());
    EXPECT_EQ(std::vector<std::string>(calls.begin() + kRefreshCallCount, calls.end()), kLoadCalls);
    EXPECT_EQ(openResultSets(), 0);
    EXPECT_EQ(log.count(5), 0u);

    DomainEditSession& s = session();
    EXPECT_EQ(s.id, 5u);
    EXPECT_EQ(s.name.str(), "Colours");
    EXPECT_EQ(s.number2, 4);
    EXPECT_EQ(s.kindCode.str(), "C");
    ASSERT_EQ(s.permissions.size(), 2u);
    EXPECT_EQ(s.permissions[1].account, nullptr) << "a NULL account is none";
    ASSERT_EQ(s.domainAttributes.size(), 2u);
    for (const DomainAttributeEntry& entry : s.domainAttributes)
        EXPECT_EQ(entry.permissions.size(), 3u) << "the domain's grants go to every attribute";
    EXPECT_EQ(s.domainAttributes.back().attribute, nullptr) << "attribute 99 is not in the catalogue";
    EXPECT_EQ(s.domainAttributes.front().values.size(), 1u);
    ASSERT_EQ(s.changeRecords.size(), 1u);
    EXPECT_EQ(s.changeRecords[0].account, nullptr);
    EXPECT_EQ(s.rolePermissions.size(), 1u);
    EXPECT_EQ(s.extras.at(0).number, 9);

    ASSERT_EQ(s.versions.size(), 3u);
    const PendingVersion& v2 = s.versions[1];
    EXPECT_EQ(v2.account, nullptr);
    EXPECT_EQ(v2.languages.size(), 2u);
    EXPECT_EQ(v2.attributes.back().domainAttribute, &s.domainAttributes.back());
    EXPECT_EQ(v2.values.at(0), &s.domainAttributes.front().values.front());

    PendingVersion& v3 = newest();
    EXPECT_EQ(v3.id, kNotStored);
    EXPECT_EQ(v3.number, 3);
    EXPECT_EQ(v3.label.str(), "v3");
    EXPECT_TRUE(v3.text.isNull());
    EXPECT_TRUE(v3.flag1);
    EXPECT_EQ(v3.account, &handle->accountCatalogue.at(0));
    EXPECT_EQ(newestItems(), (std::vector<unsigned>{21, 22, 23, 0}));
    auto entry = v3.items.begin();
    EXPECT_EQ(entry->values.size(), 1u);
    EXPECT_EQ(std::next(entry)->parentItem, &handle->itemCatalogue.at(0));
    EXPECT_EQ(std::next(entry, 3)->parentItem, nullptr) << "unknown parent 77";
    // The copy points into itself: values owned by its own entries, and its
    // value references and links follow them.
    for (const VersionItemEntry& item : v3.items)
        for (const ItemAttributeValue& value : item.values) EXPECT_EQ(value.owner, &item);
    ASSERT_EQ(v3.itemValues.size(), 3u);
    ASSERT_EQ(v3.itemValueLinks.size(), 3u);
    EXPECT_EQ(v3.itemValues[0], &entry->values.front());
    EXPECT_EQ(v3.itemValueLinks[1].value, &entry->values.front());
    EXPECT_EQ(v3.itemValueLinks[1].localizedText, &handle->localizedTextCatalogue.at(1));
    EXPECT_NE(v3.itemValues[0], s.versions[1].itemValues[0]);
    EXPECT_EQ(s.versions[1].itemValues[0]->owner, &s.versions[1].items.front());
}

// A copy's version items own no values: they are read by id and given to
// the entry of the same item.
TEST_F(EditSessionTest, ACopiedDomainsValuesAreReadById) {
    open();
    scriptCatalogues();
    store->answer("listDomains", FakeRows({"ID", "NAME"}, {{6, "Copy"}}));
    store->answer("listDomainVersions", versionRows({{75, 6, 1}}));
    store->answer("listVersionItems", FakeRows({"ID", "V", "ITEM", "C", "P", "L", "PARENT"}, {{95, 75, 21, 0.0, 1, "A", -1}}));
    store->answer("listVersionItemValues", FakeRows({"V", "IV"}, {{75, 100}}));
    store->answer("listVersionItemValueLinks", FakeRows({"V", "T", "IV"}, {{75, 31, 100}, {75, 32, 100}, {75, 33, 404}}));
    store->answer("listItemAttributeValues", FakeRows({"ID", "VI", "ATTRIBUTE", "ITEM", "V"}, {{100, 80, 11, 21, 70}}));
    ASSERT_TRUE(beginVersion(6)) << handle->errorText.asCstr();
    EXPECT_EQ(callsOf("listItemAttributeValues"),
              (std::vector<std::string>{"listItemAttributeValues(100,-1,-1)", "listItemAttributeValues(404,-1,-1)"}))
        << "each missing value is read once";
    for (const PendingVersion& version : session().versions) {
        const ItemAttributeValue* value = version.itemValues.at(0);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->owner, &version.items.front());
        EXPECT_EQ(version.itemValueLinks.at(1).value, value);
        EXPECT_EQ(version.itemValueLinks.at(2).value, nullptr) << "value 404 does not exist";
    }
}

TEST_F(EditSessionTest, BeginNewDomainVersionFailuresDiscardTheSession) {
    open();
    struct Case {
        const char* what;
        unsigned domain;
        unsigned account;
        bool domainRow;
        bool versions;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"any domain", static_cast<unsigned>(-1), 1, true, true, msg(1532, "[-1]")},
        {"unknown domain", 5, 1, false, true, referenceDataMessage(1532)},
        {"no version", 5, 1, true, false, qxb_get_message("test", 0, "Reference Data", 1824, "Colours", "any").str()},
        {"unknown account", 5, 9, true, true, referenceDataMessage(1532)},
    };
    for (const Case& c : cases) {
        reopen();
        scriptCatalogues();
        if (c.domainRow) store->answer("listDomains", FakeRows({"ID", "NAME"}, {{5, "Colours"}}));
        if (c.versions) store->answer("listDomainVersions", versionRows({{70, 5, 1}}));
        EXPECT_FALSE(beginVersion(c.domain, c.account)) << c.what;
        EXPECT_EQ(handle->errorText.str(), c.expected) << c.what;
        EXPECT_TRUE(log.hasLine(5, c.expected)) << c.what;
        EXPECT_EQ(handle->currentDomain, nullptr) << c.what;
        EXPECT_EQ(openResultSets(), 0) << c.what;
        for (const std::string& call : storeCalls()) EXPECT_EQ(call.rfind("list", 0), 0u) << c.what << ": " << call;
    }
    EXPECT_TRUE(storeCalls().size() > kRefreshCallCount);
}

// A store failure at any listing of the load: its text, no session, every
// result set released. A row error is a failure too, never the end.
TEST_F(EditSessionTest, AFailedListingAnywhereInTheLoadDiscardsTheSession) {
    open();
    for (std::size_t n = 1; n <= kLoadCalls.size(); ++n) {
        reopen();
        scriptCatalogues();
        scriptDomain();
        store->failCall(static_cast<int>(kRefreshCallCount + n));
        EXPECT_FALSE(beginVersion()) << n;
        expectStoreFailure(operationOf(kLoadCalls[n - 1]), static_cast<int>(n));
        EXPECT_EQ(handle->currentDomain, nullptr) << n;
    }
    reopen();
    scriptCatalogues();
    FakeRows rows({"ID", "V", "ITEM"}, {{90, 71, 21}, {91, 71, 22}});
    rows.errorAtRow = 1;
    store->answer("listDomains", FakeRows({"ID", "NAME"}, {{5, "Colours"}}));
    store->answer("listDomainVersions", versionRows({{71, 5, 1}}));
    store->answer("listVersionItems", rows);
    EXPECT_FALSE(beginVersion());
    EXPECT_EQ(handle->currentDomain, nullptr);
    EXPECT_EQ(openResultSets(), 0);
}

TEST_F(EditSessionTest, BeginNewDomainOpensOneSessionAtATime) {
    open();
    ASSERT_TRUE(beginDomain()) << handle->errorText.asCstr();
    DomainEditSession* first = handle->currentDomain;
    EXPECT_FALSE(first->flag2);
    EXPECT_EQ(first->number1, 0);
    EXPECT_EQ(newest().number, 1);
    EXPECT_FALSE(beginDomain());
    EXPECT_EQ(handle->errorText.str(), referenceDataMessage(3));
    EXPECT_EQ(handle->currentDomain, first);
    EXPECT_FALSE(admin->refreshCatalogues(handle)) << "never under an open session";
    EXPECT_TRUE(admin->cancelDomainEdit(handle));
    EXPECT_TRUE(beginDomain());
}

// The session and the catalogues hold rows of the old data source.
TEST_F(EditSessionTest, SetConnectionDropsTheSessionAndTheCatalogues) {
    open();
    ASSERT_TRUE(beginDomain());
    ASSERT_TRUE(admin->setConnection(handle, QxbString("sqlite:other.db"), QxbString("q_")));
    EXPECT_EQ(handle->currentDomain, nullptr);
    EXPECT_TRUE(handle->itemCatalogue.empty());
    EXPECT_EQ(admin->itemWithKey(handle, QxbString("A")), nullptr);
}

TEST_F(EditSessionTest, EditOperationsNeedAnOpenSession) {
    open();
    const QxbString t("x");
    handle->errorText.assign("before");
    EXPECT_FALSE(admin->addItemAttribute(handle, 21, t, t, 1, t, 1));
    EXPECT_EQ(handle->errorText.str(), "before") << "addItemAttribute leaves the text";
    const std::vector<std::function<bool()>> calls = {
        [&] { return admin->addDomainAttribute(handle, t, t, 1, t, 1); },
        [&] { return admin->deleteDomainAttribute(handle, 50, 1, 1); },
        [&] { return admin->addDomainItem(handle, t, t, false, false, t, 1, t, -1, 1, 1); },
        [&] { return admin->deleteDomainItem(handle, 21, 1, 1); },
    };
    for (const auto& call : calls) {
        handle->errorText.assign("before");
        EXPECT_FALSE(call());
        EXPECT_EQ(handle->errorText.str(), referenceDataMessage(3));
    }
    EXPECT_TRUE(storeCalls().empty());
}

// --- edit operations --------------------------------------------------------------------------------

TEST_F(EditSessionTest, AddDomainAttributeFindsOrCreatesOnceAndRecoversAStaleCatalogue) {
    open();
    ASSERT_TRUE(beginDomain());
    restart();
    // Known name, in other case: nothing reaches the store; twice: one entry.
    ASSERT_TRUE(admin->addDomainAttribute(handle, QxbString("NAME"), QxbString("x"), 2, QxbString("default"), 1));
    ASSERT_TRUE(admin->addDomainAttribute(handle, QxbString("name"), QxbString("x"), 2, QxbString("DEFAULT"), 1));
    EXPECT_TRUE(storeCalls().empty());
    ASSERT_EQ(session().domainAttributes.size(), 1u);
    EXPECT_EQ(session().domainAttributes.front().change.tableCode.str(), "RDDOAT");
    EXPECT_EQ(session().domainAttributes.front().change.language, &handle->languageCatalogue.at(1));
    ASSERT_EQ(newest().attributes.size(), 1u);
    EXPECT_EQ(newest().attributes.front().change.tableCode.str(), "RDDATV");

    // A new name is created once, in its own transaction.
    store->setNextId(13);
    ASSERT_TRUE(admin->addDomainAttribute(handle, QxbString("size"), QxbString("Size"), 1, QxbString("ITEM"), 1));
    EXPECT_EQ(storeCalls(), (std::vector<std::string>{
                                "listAttributes(-1,'size','Size')", "beginTransaction(0,0)",
                                "insertAttribute('size','Size',1,'SINGLELINETEXT',2,1,1,'',&)",
                                "writeChangeRecord(-1,'A',13,'RDATRS','Created Attribute: ID = 13 , NAME = size',1,1,null)",
                                "endTransaction(true)"}));
    EXPECT_EQ(handle->attributeCatalogue.back().name.str(), "size");

    // Another writer stored "colour" after the catalogue was read: the row
    // is taken from the store, nothing is written and nothing reported.
    restart();
    store->answer("listAttributes", FakeRows({"ID", "TYPE_ID", "CONTEXT_ID", "NAME", "LABEL", "TYPE_NAME", "LANGUAGE_ID"},
                                             {{14, 1, 2, "colour", "Colour", "", 1}}));
    ASSERT_TRUE(admin->addDomainAttribute(handle, QxbString("colour"), QxbString("Colour"), 1, QxbString("ITEM"), 1));
    EXPECT_EQ(storeCalls(), std::vector<std::string>{"listAttributes(-1,'colour','Colour')"});
    EXPECT_EQ(log.count(5), 0u);
    EXPECT_EQ(session().domainAttributes.back().attribute->id, 14u);
    EXPECT_EQ(admin->attributeNamed(handle, QxbString("Colour"), false)->id, 14u);
    EXPECT_EQ(newest().attributes.size(), 3u);
}

// Removing a domain attribute keeps the entry alive for older versions; the
// newest version drops its use and its values.
TEST_F(EditSessionTest, DeleteDomainAttributeLeavesOlderVersionsValid) {
    open();
    scriptCatalogues();
    scriptDomain();
    ASSERT_TRUE(beginVersion());
    restart();
    const DomainAttributeEntry* removed = &session().domainAttributes.front();
    ASSERT_TRUE(admin->deleteDomainAttribute(handle, 50, 1, 1));
    EXPECT_TRUE(admin->deleteDomainAttribute(handle, 50, 1, 1)) << "a second time: nothing to remove";
    EXPECT_TRUE(admin->deleteDomainAttribute(handle, 777, 1, 1));
    EXPECT_FALSE(admin->deleteDomainAttribute(handle, static_cast<unsigned>(-1), 1, 1));
    EXPECT_EQ(handle->errorText.str(), msg(1532, "[-1]"));
    EXPECT_TRUE(storeCalls().empty());
    EXPECT_EQ(records(1), std::vector<std::string>{"RDDOAT:50"});
    EXPECT_EQ(session().changeRecords.back().description.str(), "Deleted Domain Attribute: ID = 50");
    EXPECT_EQ(session().domainAttributes.size(), 1u);
    ASSERT_EQ(session().removedDomainAttributes.size(), 1u);
    EXPECT_EQ(&session().removedDomainAttributes.front(), removed) << "kept at its address";
    EXPECT_TRUE(removed->removed);
    EXPECT_EQ(session().versions[1].attributes.front().domainAttribute, removed);
    EXPECT_EQ(session().versions[1].values.at(0)->text.str(), "v");
    EXPECT_EQ(newest().attributes.size(), 1u);
    EXPECT_TRUE(newest().values.empty());
}

TEST_F(EditSessionTest, AddDomainItemComparesKeysExactlyAndStoresNewItemsOnce) {
    open();
    ASSERT_TRUE(beginDomain());
    restart();
    ASSERT_TRUE(admin->addDomainItem(handle, QxbString("EUR"), QxbString("e"), false, false, QxbString(), 1,
                                     QxbString("euro"), 21, 2, 1));
    EXPECT_TRUE(storeCalls().empty());
    store->setNextId(600);
    ASSERT_TRUE(admin->addDomainItem(handle, QxbString("eur"), QxbString("e"), false, false, QxbString("q"), 2,
                                     QxbString(), 7, 2, 1));
    EXPECT_EQ(storeCalls(), (std::vector<std::string>{
                                "listItems(-1,'eur',null,null,null,null,-1)",
                                "insertItem('eur','e','Y','Y','P',1,&)",
                                "writeChangeRecord(-1,'A',600,'RDDOIT','Added Item: ID = 600',1,1,null)"}));
    const ItemRow& added = handle->itemCatalogue.back();
    EXPECT_EQ(added.id, 600u);
    EXPECT_TRUE(added.flag1 && added.flag2);
    EXPECT_EQ(added.text2.str(), "P") << "the row holds what was stored";
    EXPECT_EQ(newestItems(), (std::vector<unsigned>{24, 600}));
    EXPECT_EQ(newest().items.front().parentItem, &handle->itemCatalogue.at(0));
    EXPECT_EQ(newest().items.back().parentItem, nullptr) << "no item 7: top level";
    EXPECT_EQ(newest().items.back().change.tableCode.str(), "RDITVR");

    // A key another writer stored meanwhile is read, not added again.
    restart();
    store->answer("listItems", FakeRows({"ID", "KEY", "TEXT", "F1", "F2", "T2", "ACCOUNT_ID"}, {{601, "GBP", "g", "N", "Y", "P", 1}}));
    ASSERT_TRUE(admin->addDomainItem(handle, QxbString("GBP"), QxbString("x"), true, true, QxbString(), 3, QxbString(), -1, 1, 1));
    EXPECT_EQ(callsOf("insertItem").size(), 0u);
    EXPECT_EQ(log.count(5), 0u);
    EXPECT_FALSE(handle->itemCatalogue.back().flag1);
    EXPECT_EQ(admin->itemWithKey(handle, QxbString("GBP"))->id, 601u);
}

TEST_F(EditSessionTest, AddDomainItemRefusesAParentBelowTheItemAndEmptyKeys) {
    open();
    ASSERT_TRUE(beginDomain());
    auto add = [&](const char* key, int parent) {
        return admin->addDomainItem(handle, QxbString(key), QxbString(), false, false, QxbString(), 1, QxbString(),
                                    parent, 1, 1);
    };
    ASSERT_TRUE(add("A", -1));
    ASSERT_TRUE(add("B", 21));
    ASSERT_TRUE(add("C", 22));
    restart();
    EXPECT_FALSE(add("A", 21)) << "its own parent";
    EXPECT_FALSE(add("A", 23)) << "under its grandchild";
    EXPECT_EQ(log.count(5), 2u);
    EXPECT_TRUE(add("C", 21)) << "a second place that makes no cycle";
    handle->errorText.assign("before");
    EXPECT_FALSE(add(nullptr, -1));
    EXPECT_FALSE(add("", -1));
    EXPECT_EQ(handle->errorText.str(), msg(1532, "[KEY]"));
    EXPECT_TRUE(storeCalls().empty());
    EXPECT_EQ(newestItems(), (std::vector<unsigned>{21, 22, 23, 23}));
}

// deleteDomainItem works on the newest version alone: deepest first, one
// record per value then one per entry, and parent links that form a cycle
// end the walk.
TEST_F(EditSessionTest, DeleteDomainItemRemovesTheSubtreeDeepestFirst) {
    open();
    scriptCatalogues();
    scriptDomain();
    ASSERT_TRUE(beginVersion());
    // Stored parent links that form a cycle: A under C, C under B, B under A.
    newest().items.front().parentItem = admin->itemWithId(handle, 23);
    session().newestIndexBuilt = false;
    restart();
    const std::size_t before = session().changeRecords.size();
    ASSERT_TRUE(admin->deleteDomainItem(handle, 21, 2, 1));
    EXPECT_TRUE(storeCalls().empty());
    EXPECT_EQ(records(before), (std::vector<std::string>{"RDDOIA:112", "RDITVR:92", "RDDOIA:111", "RDITVR:91",
                                                         "RDDOIA:110", "RDITVR:90"}));
    EXPECT_EQ(session().changeRecords[before].description.str(), "Deleted Item Attribute ID = 112");
    EXPECT_EQ(session().changeRecords[before + 1].description.str(), "Deleted Item ID = 92");
    EXPECT_EQ(session().changeRecords.back().language, &handle->languageCatalogue.at(1));
    EXPECT_EQ(newestItems(), std::vector<unsigned>{0});
    EXPECT_TRUE(newest().itemValues.empty());
    EXPECT_TRUE(newest().itemValueLinks.empty());
    EXPECT_EQ(session().versions[1].items.size(), 4u) << "older versions keep their items";
    EXPECT_TRUE(admin->deleteDomainItem(handle, 21, 2, 1)) << "nothing left to remove";

    EXPECT_FALSE(admin->deleteDomainItem(handle, static_cast<unsigned>(-1), 1, 1));
    EXPECT_EQ(handle->errorText.str(), msg(1532, "[-1]"));
    const std::size_t kept = session().changeRecords.size();
    EXPECT_FALSE(admin->deleteDomainItem(handle, 93, 1, 42)) << "unknown account";
    EXPECT_EQ(session().changeRecords.size(), kept);
}

// --- attributes and items outside the session ---------------------------------------------------

TEST_F(EditSessionTest, CreateAttributeOutsideASessionRefreshesFirst) {
    open();
    scriptCatalogues();
    store->setNextId(13);
    unsigned id = 0;
    ASSERT_TRUE(admin->createAttribute(handle, QxbString("size"), QxbString(), QxbString("singlelinetext"),
                                       QxbString("ITEM"), 2, 1, &id))
        << handle->errorText.asCstr();
    EXPECT_EQ(id, 13u);
    const std::vector<std::string> calls = storeCalls();
    EXPECT_EQ(calls.at(kRefreshCallCount), "listAttributes(-1,'size','')") << "a null label is the empty label";
    EXPECT_TRUE(called("writeChangeRecord(-1,'A',13,'RDATRS','Created Attribute: ID = 13 , NAME = size',2,1,null)"));
    const AttributeRow& row = handle->attributeCatalogue.back();
    EXPECT_EQ(row.language, &handle->languageCatalogue.at(1));
    EXPECT_FALSE(row.flag);
    EXPECT_FALSE(row.date.isNull());

    struct Case {
        const char* name;
        const char* type;
        bool exists;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{{"", "SINGLELINETEXT", false, msg(1532, "[NAME]")},
                                           {"x", "SINGLELINETEXT", true, referenceDataMessage(1509)},
                                           {"x", "NUMBER", false, referenceDataMessage(1532)}}) {
        restart();
        scriptCatalogues();
        if (c.exists) store->answer("listAttributes", FakeRows({"ID"}, {{11}}));
        if (c.exists) store->answer("listAttributes", FakeRows({"ID"}, {{11}}));
        EXPECT_FALSE(admin->createAttribute(handle, QxbString(c.name), QxbString("l"), QxbString(c.type),
                                            QxbString("ITEM"), 1, 1, &id));
        EXPECT_EQ(handle->errorText.str(), c.expected) << c.name << c.type;
        EXPECT_FALSE(called("beginTransaction(0,0)"));
    }
}

TEST_F(EditSessionTest, DeleteAttributeChecksExistenceAndUse) {
    open();
    ASSERT_TRUE(beginDomain());
    restart();
    store->answer("listAttributes", FakeRows(kIdRow, {{11}}));
    ASSERT_TRUE(admin->deleteAttribute(handle, 11, 1));
    EXPECT_EQ(storeCalls(), (std::vector<std::string>{
                                "listAttributes(11,null,null)", "listDomainAttributes(-1,-1,11)",
                                "listItemAttributeValues(-1,-1,11)", "deleteAttributeRow(11,null)",
                                "writeChangeRecord(-1,'A',11,'RDATRS','Deleted Attribute: ID = 11',1,1,null)"}));
    EXPECT_TRUE(handle->attributeCatalogue.front().removed) << "kept in place, marked";
    EXPECT_EQ(admin->attributeNamed(handle, QxbString("name"), false), nullptr);
    EXPECT_EQ(admin->attributeWithId(handle, 11), nullptr);

    struct Case {
        unsigned id;
        const char* usedBy;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{{static_cast<unsigned>(-1), "", msg(1532, "[-1]")},
                                           {12, "", referenceDataMessage(1532)},
                                           {12, "listDomainAttributes", referenceDataMessage(1815)},
                                           {12, "listItemAttributeValues", referenceDataMessage(1815)}}) {
        restart();
        if (std::string(c.usedBy) != "") {
            store->answer("listAttributes", FakeRows(kIdRow, {{12}}));
            store->answer(c.usedBy, FakeRows(kIdRow, {{1}}));
        }
        EXPECT_FALSE(admin->deleteAttribute(handle, c.id, 1)) << c.usedBy;
        EXPECT_EQ(handle->errorText.str(), c.expected) << c.usedBy;
        EXPECT_TRUE(callsOf("deleteAttributeRow").empty()) << c.usedBy;
        EXPECT_EQ(openResultSets(), 0);
    }
}

TEST_F(EditSessionTest, AddItemChecksTheKeyAloneAndAddItemAttributeValidates) {
    open();
    unsigned id = 0;
    store->setNextId(700);
    ASSERT_TRUE(admin->addItem(handle, QxbString("K"), QxbString("T"), false, false, QxbString("x"), 3, &id));
    EXPECT_EQ(id, 700u);
    EXPECT_EQ(storeCalls(), (std::vector<std::string>{"listItems(-1,'K',null,null,null,null,-1)",
                                                      "insertItem('K','T','Y','Y','P',3,&)",
                                                      "writeChangeRecord(-1,'A',700,'RDDOIT','Added Item: ID = 700',1,3,null)"}));
    restart();
    store->answer("listItems", FakeRows(kIdRow, {{700}}));
    EXPECT_FALSE(admin->addItem(handle, QxbString("K"), QxbString("other text"), false, false, QxbString(), 3, &id));
    EXPECT_EQ(handle->errorText.str(), referenceDataMessage(1509));
    EXPECT_TRUE(callsOf("insertItem").empty());

    scriptCatalogues();
    scriptDomain();
    ASSERT_TRUE(beginVersion());
    restart();
    struct Case {
        unsigned item;
        const char* name;
        bool result;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{{21, "x", false, referenceDataMessage(1509)},
                                           {77, "x", false, referenceDataMessage(1532)},
                                           {24, "name", true, ""},
                                           {24, "size", true, ""}}) {
        handle->errorText.assign("");
        EXPECT_EQ(admin->addItemAttribute(handle, c.item, QxbString(c.name), QxbString("l"), 1, QxbString("DEFAULT"), 1),
                  c.result)
            << c.item << c.name;
        EXPECT_EQ(handle->errorText.str(), c.expected) << c.item << c.name;
    }
    EXPECT_EQ(callsOf("insertAttribute").size(), 1u) << "only the unknown name is created";
    EXPECT_NE(admin->attributeNamed(handle, QxbString("size"), true), nullptr);
    EXPECT_EQ(admin->attributeNamed(handle, QxbString("Size"), true), nullptr) << "compared exactly";
    EXPECT_TRUE(newest().itemValues.size() == 3u) << "the session gains no value";
}

// Each distinct text of the language is unlinked and recorded once.
TEST_F(EditSessionTest, RemoveVersionItemTextsRemovesEachTextOnce) {
    open();
    store->answer("listVersionItemValueLinks", FakeRows({"V", "T", "IV"}, {{71, 31, 110}, {71, 31, 111}, {71, 33, 111}}));
    store->answer("listLocalizedTexts", FakeRows(kIdRow, {{31}}));
    ASSERT_TRUE(admin->removeVersionItemTexts(handle, 2, 0, 1, 71));
    EXPECT_EQ(storeCalls(), (std::vector<std::string>{
                                "listVersionItemValueLinks(71,-1,-1)", "listLocalizedTexts(31,null,2)",
                                "deleteVersionItemValueLinks(71,31,-1)",
                                "writeChangeRecord(-1,'A',31,'RDITVV','Deleted Item Attribute Value: ID = 31',1,1,null)",
                                "listLocalizedTexts(33,null,2)"}));
    restart();
    EXPECT_FALSE(admin->removeVersionItemTexts(handle, 2, 0, 1, static_cast<unsigned>(-1)));
    EXPECT_EQ(handle->errorText.str(), msg(1532, "[-1]"));
    EXPECT_TRUE(storeCalls().empty());
}

}  // namespace
}  // namespace rdtest
