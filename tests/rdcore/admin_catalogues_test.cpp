// The catalogue refresh and lookups against the recording store: the order
// of the listings, the rows and the references between them, and what a
// failed refresh leaves.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "admin_test_support.h"

namespace rdtest {
namespace {

using fakes::FakeRows;

class CatalogueTest : public AdminTest {
protected:
    // A small repository: two of each lookup table, an account without a
    // role, an item with two grants and one without (whose flag is a
    // lower-case "y").
    void scriptCatalogues(int roleOfSecondAccount = -1) {
        store->answer("listAttributeContexts", FakeRows({"ID", "NAME", "DESCRIPTION"}, {{1, "DEFAULT", "d"}, {2, "ITEM", "i"}}));
        store->answer("listAttributeTypes", FakeRows({"ID", "NAME", "DESCRIPTION"}, {{1, "SINGLELINETEXT", "s"}, {3, "NUMBER", "n"}}));
        store->answer("listLanguages", FakeRows({"ID", "CODE", "NAME"}, {{1, "en", "English"}, {2, "de", "German"}}));
        store->answer("listPermissions", FakeRows({"ID", "NAME", "DESCRIPTION", "LEVEL"}, {{1, "READ", "r", 1}, {2, "WRITE", "w", 2}}));
        store->answer("listRoles", FakeRows({"ID", "NAME", "DESCRIPTION", "NOTE"}, {{2, "ADMIN", "a", nullptr}, {4, "READER", "r", "n"}}));
        store->answer("listAccounts", FakeRows({"ID", "NAME", "T2", "T3", "T4", "T5", "T6", "T7", "ROLE_ID", "CREATED"},
                                               {{1, "admin", "USER", "admin", "boss", nullptr, nullptr, nullptr, 2, 2460000.5},
                                                {8, "bob", "USER", "bob", "", "", "", "", roleOfSecondAccount, 2460001.5}}));
        store->answer("listAttributes", FakeRows({"ID", "TYPE_ID", "CONTEXT_ID", "NAME", "LABEL", "TYPE_NAME", "LANGUAGE_ID", "FLAG", "CREATED"},
                                                 {{11, 3, 2, "size", "Size", "ignored", 2, "Y", 2460002.5}}));
        store->answer("listItems", FakeRows({"ID", "KEY", "TEXT", "F1", "F2", "T2", "ACCOUNT_ID"},
                                            {{21, "red", "Red", "Y", "N", "x", 8}, {22, "blue", "Blue", "N", "y", nullptr, 1}}));
        store->answer("listItemPermissions", FakeRows({"ITEM_ID", "ACCOUNT_ID", "PERMISSION_ID"}, {{21, 1, 2}, {21, 8, 1}}));
        store->answer("listLocalizedTexts", FakeRows({"ID", "TEXT", "LANGUAGE_ID"}, {{31, "rot", 2}}));
    }
    // Every catalogue's ids, in order, one text per catalogue.
    std::vector<std::string> catalogueIds() const {
        std::vector<std::string> all;
        auto ids = [&all](const auto& rows) {
            std::string text;
            for (const auto& row : rows) text += std::to_string(row.id) + " ";
            all.push_back(text);
        };
        ids(handle->attributeContextCatalogue);
        ids(handle->attributeTypeCatalogue);
        ids(handle->languageCatalogue);
        ids(handle->permissionCatalogue);
        ids(handle->roleCatalogue);
        ids(handle->accountCatalogue);
        ids(handle->attributeCatalogue);
        ids(handle->itemCatalogue);
        ids(handle->localizedTextCatalogue);
        return all;
    }
    const std::vector<std::string> kRefreshCalls = {
        "listAttributeContexts(-1,null,null)",
        "listAttributeTypes(-1,null,null)",
        "listLanguages(-1,null,null)",
        "listPermissions(-1,null,null,-1)",
        "listRoles(-1,null,null,null)",
        "listAccounts(-1,null,null,null,null,null,null)",
        "listAttributes(-1,null,null)",
        "listItems(-1,null,null,null,null,null,-1)",
        "listItemPermissions(-1,-1,-1)",
        "listLocalizedTexts(-1,null,-1)",
    };
};

TEST_F(CatalogueTest, ReadsTheNineListingsInDependencyOrder) {
    open();
    scriptCatalogues();
    ASSERT_TRUE(admin->refreshCatalogues(handle)) << handle->errorText.asCstr();
    EXPECT_EQ(storeCalls(), kRefreshCalls);
    EXPECT_EQ(openResultSets(), 0);
    EXPECT_EQ(catalogueIds(), (std::vector<std::string>{"1 2 ", "1 3 ", "1 2 ", "1 2 ", "2 4 ", "1 8 ", "11 ", "21 22 ", "31 "}));
}

TEST_F(CatalogueTest, RowsCarryTheirColumnsAndPointAtTheirCatalogueRows) {
    open();
    scriptCatalogues();
    ASSERT_TRUE(admin->refreshCatalogues(handle));
    const AccountRow& adminAccount = handle->accountCatalogue.at(0);
    EXPECT_EQ(adminAccount.name.str(), "admin");
    EXPECT_EQ(adminAccount.text4.str(), "boss");
    EXPECT_EQ(adminAccount.role, &handle->roleCatalogue.at(0));
    EXPECT_DOUBLE_EQ(adminAccount.date.value(), 2460000.5);
    EXPECT_EQ(handle->accountCatalogue.at(1).role, nullptr) << "role id -1: no role";
    EXPECT_EQ(handle->permissionCatalogue.at(1).number, 2);

    const AttributeRow& size = handle->attributeCatalogue.at(0);
    EXPECT_EQ(size.attributeType, &handle->attributeTypeCatalogue.at(1));
    EXPECT_EQ(size.attributeContext, &handle->attributeContextCatalogue.at(1));
    EXPECT_EQ(size.language, &handle->languageCatalogue.at(1));
    EXPECT_EQ(size.label.str(), "Size");
    EXPECT_TRUE(size.flag);

    const ItemRow& red = handle->itemCatalogue.at(0);
    EXPECT_TRUE(red.flag1);
    EXPECT_FALSE(red.flag2);
    EXPECT_EQ(red.account, &handle->accountCatalogue.at(1));
    ASSERT_EQ(red.permissions.size(), 2u);
    EXPECT_EQ(red.permissions[0].first, &handle->accountCatalogue.at(0));
    EXPECT_EQ(red.permissions[0].second, &handle->permissionCatalogue.at(1));
    EXPECT_TRUE(handle->itemCatalogue.at(1).flag2) << "flags compare without case";
    EXPECT_TRUE(handle->itemCatalogue.at(1).permissions.empty());
    EXPECT_EQ(handle->localizedTextCatalogue.at(0).language, &handle->languageCatalogue.at(1));
}

TEST_F(CatalogueTest, RefreshingTwiceGivesTheSameRowsNotDoubled) {
    open();
    scriptCatalogues();
    ASSERT_TRUE(admin->refreshCatalogues(handle));
    const std::vector<std::string> first = catalogueIds();
    scriptCatalogues();
    ASSERT_TRUE(admin->refreshCatalogues(handle));
    EXPECT_EQ(catalogueIds(), first);
    EXPECT_EQ(handle->itemCatalogue.at(0).permissions.size(), 2u);
    EXPECT_EQ(handle->itemCatalogue.at(0).account, &handle->accountCatalogue.at(1)) << "points into the new rows";
}

TEST_F(CatalogueTest, AnAccountWithAnUnknownRoleFailsWith1532AndKeepsEveryCatalogue) {
    open();
    scriptCatalogues();
    ASSERT_TRUE(admin->refreshCatalogues(handle));
    const std::vector<std::string> before = catalogueIds();
    const ItemRow* red = &handle->itemCatalogue.at(0);
    const AccountRow* bob = red->account;
    restart();
    scriptCatalogues(99);
    EXPECT_FALSE(admin->refreshCatalogues(handle));
    EXPECT_EQ(handle->errorText.str(), referenceDataMessage(1532));
    EXPECT_TRUE(log.hasLine(5, referenceDataMessage(1532)));
    EXPECT_EQ(storeCalls().back(), "listAccounts(-1,null,null,null,null,null,null)") << "stops at the account";
    EXPECT_EQ(catalogueIds(), before);
    EXPECT_EQ(&handle->itemCatalogue.at(0), red) << "rows keep their addresses";
    EXPECT_EQ(red->account, bob);
    EXPECT_EQ(bob, &handle->accountCatalogue.at(1)) << "and still point at live rows";
    EXPECT_EQ(openResultSets(), 0);
}

// A store failure at each listing: the store's text is reported, every
// result set is released and the catalogues keep their rows.
TEST_F(CatalogueTest, AFailedListingAtAnyStepKeepsEveryCatalogue) {
    open();
    for (std::size_t n = 1; n <= kRefreshCalls.size(); ++n) {
        reopen();
        scriptCatalogues();
        ASSERT_TRUE(admin->refreshCatalogues(handle));
        const std::vector<std::string> before = catalogueIds();
        restart();
        scriptCatalogues();
        store->failCall(static_cast<int>(n));
        EXPECT_FALSE(admin->refreshCatalogues(handle)) << n;
        expectStoreFailure(operationOf(kRefreshCalls[n - 1]), static_cast<int>(n));
        EXPECT_EQ(storeCalls().size(), n);
        EXPECT_EQ(catalogueIds(), before) << n;
    }
}

TEST_F(CatalogueTest, AnEmptyStoreGivesEmptyCatalogues) {
    open();
    scriptCatalogues();
    ASSERT_TRUE(admin->refreshCatalogues(handle));
    ASSERT_TRUE(admin->refreshCatalogues(handle)) << "every listing now answers no rows";
    EXPECT_EQ(catalogueIds(), std::vector<std::string>(9, ""));
}

TEST_F(CatalogueTest, LookupsFindTheFirstMatchOrReport1532) {
    open();
    scriptCatalogues();
    ASSERT_TRUE(admin->refreshCatalogues(handle));
    EXPECT_EQ(admin->findAttributeTypeByName(handle, QxbString("number")), &handle->attributeTypeCatalogue.at(1));
    EXPECT_EQ(admin->findAttributeContextByName(handle, QxbString("Item")), &handle->attributeContextCatalogue.at(1));
    EXPECT_EQ(admin->findAttributeContextById(handle, 1), &handle->attributeContextCatalogue.at(0));
    EXPECT_EQ(admin->findAttributeTypeById(handle, 3), &handle->attributeTypeCatalogue.at(1));
    EXPECT_EQ(admin->findAccountById(handle, 8), &handle->accountCatalogue.at(1));
    EXPECT_EQ(admin->findLanguageById(handle, 2), &handle->languageCatalogue.at(1));
    EXPECT_EQ(admin->findPermissionById(handle, 1), &handle->permissionCatalogue.at(0));
    EXPECT_EQ(admin->findRoleById(handle, 4), &handle->roleCatalogue.at(1));
    EXPECT_EQ(log.count(5), 0u);

    handle->errorText.assign("before");
    EXPECT_EQ(admin->findRoleById(handle, 3), nullptr);
    EXPECT_EQ(handle->errorText.str(), referenceDataMessage(1532));
    EXPECT_EQ(admin->findAttributeTypeByName(handle, QxbString("NUMBERS")), nullptr);
    EXPECT_EQ(log.count(5), 2u);
}

// Ids below the first, far beyond the others, dense runs and repeats: every
// id finds its first row, and only that.
TEST(IdIndexTest, FindsTheFirstRowOfEveryIdWhereverItLies) {
    std::vector<int> rows(10);
    IdIndex<int> index;
    const std::vector<std::pair<unsigned, int>> inserts = {
        {100, 0}, {101, 1}, {5, 2}, {4000000000u, 3}, {103, 4}, {101, 5}, {5, 6}, {150, 7}, {90000, 8}};
    std::map<unsigned, int*> expected;
    for (const auto& insert : inserts) {
        const bool fresh = expected.emplace(insert.first, &rows[static_cast<std::size_t>(insert.second)]).second;
        EXPECT_EQ(index.emplace(insert.first, &rows[static_cast<std::size_t>(insert.second)]), fresh) << insert.first;
    }
    for (const auto& entry : expected) EXPECT_EQ(index.get(entry.first), entry.second) << entry.first;
    for (unsigned missing : {0u, 6u, 99u, 102u, 104u, 4000000001u}) EXPECT_EQ(index.get(missing), nullptr) << missing;
    for (unsigned gone : {101u, 5u, 4000000000u}) {
        index.erase(gone);
        EXPECT_EQ(index.get(gone), nullptr) << gone;
    }
    EXPECT_EQ(index.get(100), &rows[0]);
    EXPECT_TRUE(index.emplace(101, &rows[9])) << "free again after erase";
    EXPECT_EQ(index.get(101), &rows[9]);
}

TEST_F(CatalogueTest, AnAccountCreatedWithoutARoleLoadsOnTheNextRefresh) {
    open();
    ASSERT_TRUE(admin->createAccount(handle, QxbString("eve"), QxbString("eve"), QxbString(), QxbString("USER"), -1, nullptr));
    ASSERT_TRUE(called("insertAccount('eve','USER','eve',null,null,null,null,-1,&)"));
    // The store answers the role it was given, -1, for the new account.
    scriptCatalogues(-1);
    EXPECT_TRUE(admin->refreshCatalogues(handle)) << handle->errorText.asCstr();
    EXPECT_EQ(admin->findAccountById(handle, 8)->role, nullptr);
}

}  // namespace
}  // namespace rdtest
