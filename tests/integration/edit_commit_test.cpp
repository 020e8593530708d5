// Edits that last, on a real store: a session's edits committed as a new
// version read back through the viewer and the item-list step while the
// previous version stays as it was; a commit after another writer's
// version (another process) is refused and writes nothing; a new domain.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "RefData.h"
#include "RefDataAdminEx.h"
#include "RefDataCursor.h"
#include "RefDataHandle.h"
#include "RefDataViewerEx.h"
#include "rdm_runner.h"
#include "repadm.h"
#include "temp_home.h"

namespace {

using Counts = std::map<std::string, int>;

class EditCommitTest : public ::testing::Test {
protected:
    void SetUp() override {
        rdm("repo create demo");
        home.writeFile("colours.csv",
                       "key,label,parent,name@en,name@de,shade\n"
                       "red,Red,,red,rot,warm\nblue,Blue,,blue,blau,cold\nnavy,Navy,blue,navy,marine,\n"
                       "sky,Sky,blue,sky,himmel,\ncyan,Cyan,sky,cyan,,cold\n");
        rdm("import demo colours " + home.file("colours.csv") + " --quiet");
        QxbString error;
        session = createReferenceDataSession(0, &error);
        ASSERT_NE(session, nullptr);
        ASSERT_TRUE(session->open(&handle, QxbString("demo"), &error)) << error.asCstr();
        admin = session->getAdminEx(handle);
    }
    void TearDown() override {
        if (session != nullptr) session->release(&handle);
    }
    void rdm(const std::string& arguments) {
        const CommandResult result = runRdm(home.path(), arguments);
        ASSERT_EQ(result.status, 0) << arguments << ": " << result.output;
    }
    bool begin() {
        return admin->beginNewDomainVersion(handle, 1, QxbString(), QxbString(), false, 1, QxbString("edited"));
    }
    // One line per item and value: "key|label|parent key|attribute@language=value".
    std::set<std::string> version(int number) {
        RefDataCursor* rows = session->getViewer(handle)->getDomainItemsWithAttributes(handle, QxbString("colours"),
                                                                                     number);
        EXPECT_NE(rows, nullptr) << handle->errorText.asCstr();
        if (rows == nullptr) return {};
        struct Row {
            std::string key, label, value;
            int parent;
        };
        std::vector<Row> read;
        std::map<int, std::string> keys;
        int answer = 0;
        while ((answer = rows->next()) == 0) {
            keys[rows->getInt(0)] = rows->getString(1).str();
            Row row{rows->getString(1).str(), rows->getString(2).str(), "", rows->isNull(3) ? 0 : rows->getInt(3)};
            if (!rows->isNull(4))
                row.value = rows->getString(5).str() + "@" + rows->getString(7).str() + "=" + rows->getString(4).str();
            read.push_back(row);
        }
        EXPECT_EQ(answer, 1);
        rows->release();
        std::set<std::string> lines;
        for (const Row& row : read)
            lines.insert(row.key + "|" + row.label + "|" + (row.parent > 0 ? keys[row.parent] : "") + "|" + row.value);
        return lines;
    }
    Counts counts() { return tableCounts(handle->adminStore); }
    std::string errorText() { return handle->errorText.str(); }

    TempHome home;
    RefData* session = nullptr;
    RefDataHandle* handle = nullptr;
    RefDataAdminEx* admin = nullptr;
};

TEST_F(EditCommitTest, EveryKindOfEditLastsInTheNewVersionAndTheOldOneStays) {
    const std::set<std::string> first = version(1);
    ASSERT_FALSE(first.empty());
    ASSERT_TRUE(begin()) << errorText();
    const struct {
        const char* what;
        std::function<bool()> edit;
    } edits[] = {
        {"add", [&] { return admin->editAddItem(handle, "white", "White", ""); }},
        {"add under", [&] { return admin->editAddItem(handle, "teal", "Teal", "white"); }},
        {"relabel", [&] { return admin->editRelabelItem(handle, "red", "Scarlet"); }},
        {"move", [&] { return admin->editMoveItem(handle, "cyan", "white"); }},
        {"move to top", [&] { return admin->editMoveItem(handle, "navy", ""); }},
        {"remove subtree", [&] { return admin->editRemoveItem(handle, "blue"); }},
        {"set existing", [&] { return admin->editSetItemValue(handle, "red", "name", "en", "scarlet"); }},
        {"set new language", [&] { return admin->editSetItemValue(handle, "red", "name", "fr", "rouge"); }},
        {"set on new item", [&] { return admin->editSetItemValue(handle, "white", "name", "de", "weiss"); }},
        {"clear", [&] { return admin->editClearItemValue(handle, "red", "name", "de"); }},
        {"add attribute", [&] { return admin->editAddDomainAttribute(handle, "hue", "Hue"); }},
        {"set new attribute", [&] { return admin->editSetItemValue(handle, "teal", "hue", "en", "blue-green"); }},
        {"remove attribute", [&] { return admin->editRemoveDomainAttribute(handle, "shade"); }},
    };
    for (const auto& step : edits) ASSERT_TRUE(step.edit()) << step.what << ": " << errorText();

    // Refused edits change nothing and say why.
    const struct {
        const char* what;
        std::function<bool()> edit;
        const char* says;
    } refused[] = {
        {"key held", [&] { return admin->editAddItem(handle, "red", "Red", ""); }, "already"},
        {"parent missing", [&] { return admin->editAddItem(handle, "pink", "Pink", "blue"); }, "'blue'"},
        {"cycle", [&] { return admin->editMoveItem(handle, "white", "teal"); }, "lies below it"},
        {"no attribute", [&] { return admin->editSetItemValue(handle, "red", "shade", "en", "x"); }, "'shade'"},
        {"no language", [&] { return admin->editSetItemValue(handle, "red", "name", "xx", "x"); }, "'xx'"},
        {"empty value", [&] { return admin->editSetItemValue(handle, "red", "name", "en", ""); }, "empty"},
        {"no value", [&] { return admin->editClearItemValue(handle, "red", "name", "de"); }, "no value"},
    };
    for (const auto& step : refused) {
        EXPECT_FALSE(step.edit()) << step.what;
        EXPECT_NE(errorText().find(step.says), std::string::npos) << step.what << ": " << errorText();
    }

    RefDataCursor* pending = admin->getPendingChanges(handle);
    ASSERT_NE(pending, nullptr) << errorText();
    std::string descriptions;
    while (pending->next() == 0) descriptions += pending->getString(2).str() + "\n";
    pending->release();
    for (const char* said : {"Created Version: ID = (new), VERSION = 2", "Relabelled Item: KEY = red, LABEL = Scarlet",
                             "Removed Item: KEY = blue, ITEMS BELOW = 1", "Removed Version Attribute: NAME = shade"})
        EXPECT_NE(descriptions.find(said), std::string::npos) << said << " in\n" << descriptions;

    int number = 0;
    ASSERT_TRUE(admin->commitDomainEdit(handle, QxbString(), nullptr, nullptr, &number)) << errorText();
    EXPECT_EQ(number, 2);
    EXPECT_EQ(handle->currentDomain, nullptr);
    EXPECT_EQ(version(2), (std::set<std::string>{
                              "cyan|Cyan|white|name@en=cyan",
                              "navy|Navy||name@de=marine",
                              "navy|Navy||name@en=navy",
                              "red|Scarlet||name@en=scarlet",
                              "red|Scarlet||name@fr=rouge",
                              "teal|Teal|white|hue@en=blue-green",
                              "white|White||name@de=weiss",
                          }));
    EXPECT_EQ(version(1), first);

    // The item-list step at version 0 (the newest) sees the committed version.
    const CommandResult step = runRdm(home.path(), "step RDM_ITEM_LIST --repository demo --param DOM_VAL=colours "
                                                   "--param VER_VAL=0 --format csv");
    ASSERT_EQ(step.status, 0) << step.output;
    EXPECT_NE(step.output.find("Scarlet"), std::string::npos) << step.output;
    EXPECT_EQ(step.output.find("Blue"), std::string::npos) << step.output;
}

TEST_F(EditCommitTest, ACommitAfterAnotherWritersVersionIsRefusedAndWritesNothing) {
    ASSERT_TRUE(begin()) << errorText();
    ASSERT_TRUE(admin->editAddItem(handle, "white", "White", "")) << errorText();
    rdm("import demo colours " + home.file("colours.csv") + " --quiet --force");  // version 2, another process
    const Counts before = counts();
    EXPECT_FALSE(admin->commitDomainEdit(handle, QxbString(), nullptr, nullptr, nullptr));
    EXPECT_NE(errorText().find("has version 2 now"), std::string::npos) << errorText();
    EXPECT_NE(errorText().find("began on version 1"), std::string::npos) << errorText();
    EXPECT_EQ(counts(), before);
    ASSERT_NE(handle->currentDomain, nullptr) << "the refused session is kept";

    // Beginning again on the newest version commits.
    ASSERT_TRUE(admin->cancelDomainEdit(handle));
    ASSERT_TRUE(begin()) << errorText();
    ASSERT_TRUE(admin->editAddItem(handle, "white", "White", "")) << errorText();
    int number = 0;
    ASSERT_TRUE(admin->commitDomainEdit(handle, QxbString(), nullptr, nullptr, &number)) << errorText();
    EXPECT_EQ(number, 3);
}

TEST_F(EditCommitTest, ANewDomainIsWrittenWithItsFirstVersionUnlessTheNameWasTakenMeanwhile) {
    ASSERT_TRUE(admin->beginNewDomain(handle, "sizes", "Sizes", QxbString(), true, QxbString(), 1, QxbString()));
    ASSERT_TRUE(admin->editAddDomainAttribute(handle, "name", ""));
    ASSERT_TRUE(admin->editAddItem(handle, "S", "Small", ""));
    ASSERT_TRUE(admin->editSetItemValue(handle, "S", "name", "en", "small"));
    const Counts before = counts();
    home.writeFile("sizes.csv", "key,label\nM,Medium\n");
    rdm("import demo sizes " + home.file("sizes.csv") + " --quiet");
    const Counts taken = counts();
    EXPECT_FALSE(admin->commitDomainEdit(handle, QxbString(), nullptr, nullptr, nullptr));
    EXPECT_NE(errorText().find("was created by another writer"), std::string::npos) << errorText();
    EXPECT_EQ(counts(), taken);
    EXPECT_NE(taken, before);

    ASSERT_TRUE(admin->cancelDomainEdit(handle));
    ASSERT_TRUE(admin->beginNewDomain(handle, "shapes", "", QxbString(), true, QxbString(), 1, QxbString()));
    ASSERT_TRUE(admin->editAddItem(handle, "O", "Circle", ""));
    unsigned domain = 0, versionId = 0;
    int number = 0;
    ASSERT_TRUE(admin->commitDomainEdit(handle, QxbString("made by hand"), &domain, &versionId, &number))
        << errorText();
    EXPECT_EQ(number, 1);
    const CommandResult items = runRdm(home.path(), "items demo shapes --format csv");
    ASSERT_EQ(items.status, 0) << items.output;
    EXPECT_NE(items.output.find("Circle"), std::string::npos) << items.output;
    const CommandResult history = runRdm(home.path(), "history demo --format csv");
    EXPECT_NE(history.output.find("made by hand"), std::string::npos) << history.output;
}

// A re-import links the values and texts it sets again instead of writing
// them a second time: only what changed is new, and the links it keeps are
// the first version's rows, shared.
TEST_F(EditCommitTest, AReimportWritesOnlyTheTextsThatChanged) {
    const std::set<std::string> first = version(1);
    home.writeFile("changed.csv",
                   "key,label,parent,name@en,name@de,shade\n"
                   "red,Red,,red,rot,hot\nblue,Blue,,blue,blau,cold\nnavy,Navy,blue,navy,marine,\n"
                   "sky,Sky,blue,sky,himmel,\ncyan,Cyan,sky,cyan,,cold\n");
    const Counts before = counts();
    rdm("import demo colours " + home.file("changed.csv") + " --quiet");
    Counts grown = counts();
    for (auto& entry : grown) entry.second -= before.at(entry.first);
    EXPECT_EQ(grown["localized_texts"], 1);  // "hot"
    EXPECT_EQ(grown["item_attribute_values"], 0);
    EXPECT_EQ(grown["version_items"], 5);
    EXPECT_EQ(grown["version_item_value_links"], 1);  // the link of "hot"
    EXPECT_EQ(version(1), first);
    std::set<std::string> second = version(2);
    EXPECT_EQ(second.count("red|Red||shade@en=hot"), 1u);
    EXPECT_EQ(second.size(), first.size());
}

// The diff of two versions names every change once, in key order; null
// where a side has nothing ("" below).
TEST_F(EditCommitTest, TheDiffOfTwoVersionsNamesEveryChangeInKeyOrder) {
    ASSERT_TRUE(begin()) << errorText();
    for (const bool done : {admin->editAddItem(handle, "white", "White", ""), admin->editRemoveItem(handle, "navy"),
                            admin->editRelabelItem(handle, "red", "Scarlet"), admin->editMoveItem(handle, "sky", ""),
                            admin->editSetItemValue(handle, "red", "name", "fr", "rouge"),
                            admin->editClearItemValue(handle, "blue", "name", "de")})
        ASSERT_TRUE(done) << errorText();
    ASSERT_TRUE(admin->commitDomainEdit(handle, QxbString(), nullptr, nullptr, nullptr)) << errorText();
    RefDataCursor* diff = session->getViewerEx(handle)->getVersionDiff(handle, 1, 0, 0);
    ASSERT_NE(diff, nullptr) << errorText();
    std::vector<std::string> rows;
    int answer = 0;
    while ((answer = diff->next()) == 0) {
        std::string row;
        for (int column = 0; column < 5; ++column) row += (column ? "|" : "") + diff->getString(column).str();
        rows.push_back(row);
    }
    diff->release();
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(rows, (std::vector<std::string>{"blue|changed|name@de|blau|", "navy|removed|||",
                                              "red|changed|label|Red|Scarlet", "red|changed|name@fr||rouge",
                                              "sky|changed|parent|blue|", "white|added|||"}));
    EXPECT_EQ(session->getViewerEx(handle)->getVersionDiff(handle, 1, 0, 7), nullptr);
    EXPECT_NE(errorText().find("Version 7"), std::string::npos) << errorText();
}

}  // namespace
