// The edit session on a real store: a domain imported by rdm loads whole
// into a session, the edit operations change its newest version, a copied
// domain loads, parent cycles across domains end, and -1 as the object of
// an operation changes nothing.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>

#include "RefData.h"
#include "RefDataAdmin.h"
#include "RefDataHandle.h"
#include "rdcoreeditsession.h"
#include "rdm_runner.h"
#include "repadm.h"
#include "temp_home.h"

namespace {

constexpr unsigned kAny = static_cast<unsigned>(-1);
using Counts = std::map<std::string, int>;

class EditSessionStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        rdm("repo create demo");
        // 300 items: every tenth a child of the one before it, each with a
        // name in two languages and a note.
        std::ofstream csv(home.path() + "/codes.csv");
        csv << "key,label,parent,name@en,name@de,note\n";
        for (int i = 1; i <= 300; ++i) {
            const std::string key = "K" + std::to_string(i);
            const std::string parent = i % 10 == 0 ? "K" + std::to_string(i - 1) : "";
            csv << key << ",Label " << i << "," << parent << ",en " << i << ",de " << i << ",n" << i << "\n";
        }
        csv.close();
        rdm("import demo Codes " + home.path() + "/codes.csv --quiet");
        openSession();
        domain = domainId("Codes");
    }
    void TearDown() override {
        if (session != nullptr) session->release(&handle);
    }

    void rdm(const std::string& arguments) {
        const CommandResult result = runRdm(home.path(), arguments);
        ASSERT_EQ(result.status, 0) << arguments << ": " << result.output;
    }
    void openSession() {
        QxbString error;
        session = createReferenceDataSession(0, &error);
        ASSERT_NE(session, nullptr);
        ASSERT_TRUE(session->open(&handle, QxbString("demo"), &error)) << error.asCstr();
        admin = session->getAdmin(handle);
    }
    unsigned domainId(const char* name) {
        const QxbString none;
        const QxbDate noDate;
        StoreResultSet* rows = handle->adminStore->listDomains(kAny, QxbString(name), none, none, none, none, none,
                                                               kAny, none, kAny, kAny, noDate, none, noDate);
        unsigned id = kAny;
        if (rows != nullptr && rows->next() == 1) id = static_cast<unsigned>(rows->getInt(0));
        if (rows != nullptr) rows->release();
        return id;
    }
    unsigned itemId(const char* key) {
        const QxbString none;
        StoreResultSet* rows = handle->adminStore->listItems(kAny, QxbString(key), none, none, none, none, kAny);
        unsigned id = kAny;
        if (rows != nullptr && rows->next() == 1) id = static_cast<unsigned>(rows->getInt(0));
        if (rows != nullptr) rows->release();
        return id;
    }
    Counts counts() { return tableCounts(handle->adminStore); }
    bool begin(unsigned id) {
        return admin->beginNewDomainVersion(handle, id, QxbString(), QxbString(), false, 1, QxbString("draft"));
    }
    DomainEditSession& edit() { return *handle->currentDomain; }
    // Every link of the version has a text and a value owned by one of the
    // version's own entries.
    static void expectLinksInside(const PendingVersion& version) {
        std::set<const VersionItemEntry*> entries;
        for (const VersionItemEntry& entry : version.items) entries.insert(&entry);
        for (const ItemValueLink& link : version.itemValueLinks) {
            ASSERT_NE(link.value, nullptr);
            EXPECT_NE(link.localizedText, nullptr);
            EXPECT_EQ(entries.count(link.value->owner), 1u);
        }
    }
    unsigned firstVersionOf(unsigned id) {
        const QxbString none;
        const QxbDate noDate;
        StoreResultSet* rows = handle->adminStore->listDomainVersions(kAny, id, kAny, none, none, none, none, kAny,
                                                                      none, kAny, noDate, noDate);
        unsigned version = kAny;
        if (rows != nullptr && rows->next() == 1) version = static_cast<unsigned>(rows->getInt(0));
        if (rows != nullptr) rows->release();
        return version;
    }

    TempHome home;
    RefData* session = nullptr;
    RefDataHandle* handle = nullptr;
    RefDataAdmin* admin = nullptr;
    unsigned domain = kAny;
};

TEST_F(EditSessionStoreTest, AnImportedDomainLoadsWholeAndEditsChangeOnlyTheNewestVersion) {
    const Counts before = counts();
    ASSERT_TRUE(begin(domain)) << handle->errorText.asCstr();
    ASSERT_EQ(edit().versions.size(), 2u);
    PendingVersion& newest = edit().newest();
    EXPECT_EQ(newest.number, 2);
    ASSERT_EQ(newest.items.size(), 300u);
    EXPECT_EQ(newest.itemValues.size(), 600u) << "two attributes a item";
    EXPECT_EQ(newest.itemValueLinks.size(), 900u) << "name in two languages, note in one";
    EXPECT_EQ(newest.attributes.size(), 2u);
    expectLinksInside(newest);
    const VersionItemEntry& tenth = *std::next(newest.items.begin(), 9);
    ASSERT_NE(tenth.parentItem, nullptr);
    EXPECT_EQ(tenth.parentItem->key.str(), "K9");

    // Edits: a new attribute and item, K9 removed with its child K10.
    const std::size_t history = edit().changeRecords.size();
    ASSERT_TRUE(admin->addDomainAttribute(handle, QxbString("colour"), QxbString("Colour"), 1, QxbString("DEFAULT"), 1));
    ASSERT_TRUE(admin->addDomainItem(handle, QxbString("NEW"), QxbString("new"), false, false, QxbString(), 301,
                                     QxbString("New"), static_cast<int>(itemId("K1")), 1, 1));
    ASSERT_TRUE(admin->deleteDomainItem(handle, itemId("K9"), 1, 1));
    EXPECT_EQ(newest.items.size(), 299u);
    EXPECT_EQ(newest.itemValues.size(), 596u);
    EXPECT_EQ(newest.itemValueLinks.size(), 894u);
    EXPECT_EQ(newest.attributes.size(), 3u);
    EXPECT_EQ(edit().versions.front().items.size(), 300u);
    std::vector<std::string> codes;
    for (std::size_t i = history; i < edit().changeRecords.size(); ++i)
        codes.push_back(edit().changeRecords[i].tableCode.str());
    EXPECT_EQ(codes, (std::vector<std::string>{"RDDOIA", "RDDOIA", "RDITVR", "RDDOIA", "RDDOIA", "RDITVR"}))
        << "K10 before its parent K9";

    // Only the new attribute and the new item reached the store.
    Counts after = counts();
    EXPECT_EQ(after["attributes"], before.at("attributes") + 1);
    EXPECT_EQ(after["items"], before.at("items") + 1);
    after["attributes"] = before.at("attributes");
    after["items"] = before.at("items");
    after["change_records"] = before.at("change_records");
    EXPECT_EQ(after, before);
    EXPECT_TRUE(admin->cancelDomainEdit(handle));
}

// Domain A holds K1 under K2 and domain B K2 under K1: removing an item of
// B's newest version follows B's own links only, and ends.
TEST_F(EditSessionStoreTest, ParentLinksOfOtherDomainsMakeNoCycle) {
    std::ofstream(home.path() + "/a.csv") << "key,label,parent\nK2,two,\nK1,one,K2\n";
    std::ofstream(home.path() + "/b.csv") << "key,label,parent\nK1,one,\nK2,two,K1\n";
    rdm("import demo A " + home.path() + "/a.csv --quiet");
    rdm("import demo B " + home.path() + "/b.csv --quiet");
    ASSERT_TRUE(begin(domainId("B"))) << handle->errorText.asCstr();
    ASSERT_TRUE(admin->deleteDomainItem(handle, itemId("K1"), 1, 1));
    EXPECT_TRUE(edit().newest().items.empty());
}

TEST_F(EditSessionStoreTest, ACopiedDomainLoadsWithItsSourcesValues) {
    unsigned copy = kAny;
    ASSERT_TRUE(admin->copyDomain(handle, domain, 1, &copy)) << handle->errorText.asCstr();
    ASSERT_TRUE(begin(copy)) << handle->errorText.asCstr();
    const PendingVersion& newest = edit().newest();
    EXPECT_EQ(newest.number, 2);
    ASSERT_EQ(newest.items.size(), 300u);
    ASSERT_EQ(newest.itemValueLinks.size(), 900u);
    expectLinksInside(newest);
    const VersionItemEntry& first = newest.items.front();
    ASSERT_EQ(first.values.size(), 2u);
    EXPECT_EQ(first.values.front().owner, &first);
    EXPECT_EQ(first.values.front().attribute->name.str(), "name");
}

TEST_F(EditSessionStoreTest, TheAnyIdChangesNothing) {
    const Counts before = counts();
    EXPECT_FALSE(begin(kAny));
    EXPECT_EQ(handle->currentDomain, nullptr);
    EXPECT_FALSE(admin->deleteAttribute(handle, kAny, 1));
    EXPECT_FALSE(admin->removeVersionItemTexts(handle, 1, 0, 1, kAny));
    ASSERT_TRUE(begin(domain));
    EXPECT_FALSE(admin->deleteDomainItem(handle, kAny, 1, 1));
    EXPECT_FALSE(admin->deleteDomainAttribute(handle, kAny, 1, 1));
    EXPECT_EQ(edit().newest().items.size(), 300u);
    EXPECT_EQ(counts(), before);
}

// Texts of one language leave the version, each once; the store drops a
// text with its last link.
TEST_F(EditSessionStoreTest, RemovingAVersionsTextsOfALanguage) {
    const Counts before = counts();
    ASSERT_TRUE(admin->removeVersionItemTexts(handle, 2, 0, 1, firstVersionOf(domain))) << handle->errorText.asCstr();
    const Counts after = counts();
    EXPECT_EQ(after.at("version_item_value_links"), before.at("version_item_value_links") - 300);
    EXPECT_EQ(after.at("localized_texts"), before.at("localized_texts") - 300);
    EXPECT_EQ(after.at("change_records"), before.at("change_records") + 300);
}

// Another handle adds an item after this session read its catalogues: the
// session takes the stored item instead of failing.
TEST_F(EditSessionStoreTest, AnItemStoredByAnotherWriterIsTakenFromTheStore) {
    ASSERT_TRUE(admin->beginNewDomain(handle, QxbString("Fresh"), QxbString(), QxbString(), false, QxbString(), 1,
                                      QxbString("v1")));
    RefDataHandle* other = nullptr;
    QxbString error;
    ASSERT_TRUE(session->open(&other, QxbString("demo"), &error)) << error.asCstr();
    unsigned stored = kAny;
    ASSERT_TRUE(session->getAdmin(other)->addItem(other, QxbString("LATE"), QxbString("late"), true, true, QxbString(), 1,
                                                  &stored));
    session->close(&other, nullptr);
    ASSERT_TRUE(admin->addDomainItem(handle, QxbString("LATE"), QxbString("x"), false, false, QxbString(), 1,
                                     QxbString(), -1, 1, 1))
        << handle->errorText.asCstr();
    EXPECT_EQ(edit().newest().items.back().item->id, stored);
    EXPECT_EQ(itemId("LATE"), stored) << "not stored twice";
}

}  // namespace
