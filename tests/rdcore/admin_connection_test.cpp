// The administration object's connection settings and checks, accounts,
// the pass-through store write, publisher access and the end of an edit
// session, against the recording store and the fake repository library.
#include <functional>
#include <string>
#include <vector>

#include "admin_test_support.h"
#include "rdcoreeditsession.h"

namespace rdtest {
namespace {

using fakes::FakeRows;
using AdminCall = std::function<bool(RefDataAdmin&, RefDataHandle*)>;

// Every operation that needs the admin store.
std::vector<AdminCall> storeOperations() {
    const QxbString t("x");
    return {
        [=](RefDataAdmin& a, RefDataHandle* h) { return a.createAccount(h, t, t, t, t, -1, nullptr); },
        [=](RefDataAdmin& a, RefDataHandle* h) { return a.forwardStoreWrite(h, 1, &t, nullptr, 1, nullptr, nullptr); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.checkConnection(h); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.removePublisherAccess(h, 1); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.copyDomain(h, 1, 1, nullptr); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.removeDomain(h, 1, 1); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.removeDomainVersion(h, 1, 1); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.reservedOperationA(h, 1, 'Y'); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.reservedOperationB(h, 1); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.reservedOperationC(h, 1); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.cancelDomainEdit(h); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.endDomainEdit(h); },
        [=](RefDataAdmin& a, RefDataHandle* h) { return a.createAttribute(h, t, t, t, t, 1, 1, nullptr); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.deleteAttribute(h, 1, 1); },
        [=](RefDataAdmin& a, RefDataHandle* h) { return a.addItem(h, t, t, true, true, t, 1, nullptr); },
        [=](RefDataAdmin& a, RefDataHandle* h) { return a.beginNewDomain(h, t, t, t, true, t, 1, t); },
        [=](RefDataAdmin& a, RefDataHandle* h) { return a.beginNewDomainVersion(h, 1, t, t, true, 1, t); },
        [=](RefDataAdmin& a, RefDataHandle* h) { return a.addDomainAttribute(h, t, t, 1, t, 1); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.deleteDomainAttribute(h, 1, 1, 1); },
        [=](RefDataAdmin& a, RefDataHandle* h) { return a.addDomainItem(h, t, t, true, true, t, 1, t, -1, 1, 1); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.deleteDomainItem(h, 1, 1, 1); },
        [=](RefDataAdmin& a, RefDataHandle* h) { return a.addItemAttribute(h, 1, t, t, 1, t, 1); },
        [](RefDataAdmin& a, RefDataHandle* h) { return a.removeVersionItemTexts(h, 1, 0, 1, 1); },
    };
}

// --- connection check ----------------------------------------------------------------------

TEST_F(AdminTest, WithoutAStoreEveryOperationLogsMessage3AndKeepsTheErrorText) {
    keyValues("", "");
    ASSERT_TRUE(openMain());
    RefDataAdmin* plain = session->getAdmin(handle);
    int position = 0;
    for (const AdminCall& call : storeOperations()) {
        handle->errorText.assign("before");
        log.clear();
        EXPECT_FALSE(call(*plain, handle)) << position;
        EXPECT_FALSE(call(*plain, nullptr)) << position;
        EXPECT_EQ(handle->errorText.str(), "before") << position;
        EXPECT_EQ(log.textsAt(5), std::vector<std::string>(2, referenceDataMessage(3))) << position;
        ++position;
    }
    EXPECT_TRUE(plain->reservedNoOp(nullptr, 1));
    // The connection settings need only a handle with a repository.
    log.clear();
    EXPECT_FALSE(plain->setConnection(nullptr, QxbString("sqlite:x.db"), QxbString("x_")));
    EXPECT_FALSE(plain->getConnection(nullptr, nullptr, nullptr));
    EXPECT_EQ(log.textsAt(5), std::vector<std::string>(2, referenceDataMessage(3)));
}

TEST_F(AdminTest, ChecksAndReservedOperationsPassWithAStoreAndTouchNothing) {
    open();
    EXPECT_TRUE(admin->checkConnection(handle));
    EXPECT_TRUE(admin->reservedOperationA(handle, 3, 'N'));
    EXPECT_TRUE(admin->reservedOperationB(handle, 1LL << 40));
    EXPECT_TRUE(admin->reservedOperationC(handle, -1));
    EXPECT_TRUE(admin->reservedNoOp(handle, 7));
    EXPECT_TRUE(storeCalls().empty());
    EXPECT_EQ(log.size(), 0u);
}

// --- connection settings -----------------------------------------------------------------------

TEST_F(AdminTest, SetConnectionStoresTheKeysAndReattachesNewStores) {
    open();
    ASSERT_TRUE(admin->setConnection(handle, QxbString("sqlite:other.db"), QxbString("q_")));
    EXPECT_EQ(fakes::platform().repadm.keyValues["REFDATA_DSN"], "sqlite:other.db");
    EXPECT_EQ(fakes::platform().repadm.keyValues["REFDATA_PREFIX"], "q_");
    EXPECT_EQ(releases(), (std::vector<std::string>{"store1.release()", "store2.release()",
                                                    "repo[sqlite:data.db].release()"}));
    EXPECT_EQ(label(handle->adminStore), "store3");
    EXPECT_EQ(label(handle->queryStore), "store4");
    EXPECT_TRUE(fakes::callLog().contains("repadm1.openRepositoryByDsn('sqlite:other.db','q_',0,0) -> repo[sqlite:other.db]"));
}

TEST_F(AdminTest, SetConnectionWithAnEmptyDsnDropsTheStores) {
    open();
    ASSERT_TRUE(admin->setConnection(handle, QxbString(""), QxbString("")));
    EXPECT_EQ(handle->adminStore, nullptr);
    EXPECT_EQ(handle->queryStore, nullptr);
    EXPECT_EQ(handle->dataRepository, nullptr);
    EXPECT_EQ(fakes::platform().repadm.keyValues["REFDATA_DSN"], "");
    handle->errorText.assign("before");
    EXPECT_FALSE(admin->copyDomain(handle, 1, 1, nullptr));
    EXPECT_EQ(handle->errorText.str(), "before");
    EXPECT_TRUE(log.hasLine(5, referenceDataMessage(3)));
}

TEST_F(AdminTest, SetConnectionWhoseFirstKeyFailsWritesNothingElseAndKeepsTheStores) {
    open();
    fakes::platform().repadm.failingKeyWrites["REFDATA_DSN"] = "read-only repository";
    handle->errorText.assign("before");
    EXPECT_FALSE(admin->setConnection(handle, QxbString("sqlite:x.db"), QxbString("x_")));
    EXPECT_TRUE(fakes::callLog().matching("setKeyValue('REFDATA_PREFIX'").empty());
    EXPECT_EQ(label(handle->adminStore), "store1");
    EXPECT_EQ(handle->errorText.str(), "before");
    EXPECT_TRUE(log.hasLine(5, "read-only repository"));
}

TEST_F(AdminTest, SetConnectionToADsnThatCannotOpenLeavesNoStores) {
    open();
    fakes::platform().repadm.failingDsns["sqlite:bad.db"] = "cannot open bad.db";
    EXPECT_FALSE(admin->setConnection(handle, QxbString("sqlite:bad.db"), QxbString("p_")));
    EXPECT_EQ(handle->errorText.str(), "cannot open bad.db");
    EXPECT_EQ(handle->adminStore, nullptr);
    EXPECT_EQ(fakes::platform().repadm.keyValues["REFDATA_DSN"], "sqlite:bad.db") << "the keys stay stored";
    EXPECT_TRUE(admin->setConnection(handle, QxbString("sqlite:data.db"), QxbString("p_")));
    EXPECT_NE(handle->adminStore, nullptr);
}

TEST_F(AdminTest, GetConnectionReadsBothKeys) {
    open();
    QxbString dsn, prefix;
    ASSERT_TRUE(admin->getConnection(handle, &dsn, &prefix));
    EXPECT_EQ(dsn.str(), "sqlite:data.db");
    EXPECT_EQ(prefix.str(), "p_");
    fakes::callLog().clear();
    EXPECT_TRUE(admin->getConnection(handle, nullptr, nullptr));
    EXPECT_EQ(fakes::callLog().matching("getKeyValue").size(), 2u);
}

TEST_F(AdminTest, GetConnectionWithAMissingKeyLeavesTheOutputsAlone) {
    open();
    fakes::platform().repadm.keyValues.erase("REFDATA_PREFIX");
    QxbString dsn("old"), prefix("old");
    EXPECT_FALSE(admin->getConnection(handle, &dsn, &prefix));
    EXPECT_EQ(dsn.str(), "old");
    EXPECT_EQ(prefix.str(), "old");
    EXPECT_TRUE(log.hasLine(5, fakes::missingKeyText("REFDATA_PREFIX")));
    EXPECT_FALSE(admin->getConnection(nullptr, &dsn, &prefix));
}

// --- accounts ---------------------------------------------------------------------------------

TEST_F(AdminTest, CreateAccountFindsAnExistingKeyWithoutWriting) {
    open();
    store->answer("listAccounts", FakeRows({"ID", "NAME"}, {{12, "ann"}}));
    unsigned id = 0;
    ASSERT_TRUE(admin->createAccount(handle, QxbString("Ann"), QxbString("ann"), QxbString("t"),
                                     QxbString("USER"), -1, &id));
    EXPECT_EQ(id, 12u);
    EXPECT_EQ(storeCalls(), std::vector<std::string>{"listAccounts(-1,null,null,'ann',null,null,null)"});
    store->answer("listAccounts", FakeRows({"ID", "NAME"}, {{12, "ann"}}));
    EXPECT_TRUE(admin->createAccount(handle, QxbString("Ann"), QxbString("ann"), QxbString(), QxbString(), -1, nullptr));
    EXPECT_EQ(openResultSets(), 0);
}

TEST_F(AdminTest, CreateAccountInsertsAndRecordsTheActingAccount) {
    open();
    store->setNextId(55);
    unsigned id = 0;
    ASSERT_TRUE(admin->createAccount(handle, QxbString("Bob"), QxbString("bob"), QxbString("text"),
                                     QxbString("USER"), -1, &id));
    EXPECT_EQ(id, 55u);
    EXPECT_EQ(storeCalls(),
              (std::vector<std::string>{
                  "listAccounts(-1,null,null,'bob',null,null,null)", "beginTransaction(0,0)",
                  "insertAccount('Bob','USER','bob','text',null,null,null,-1,&)",
                  "writeChangeRecord(-1,'A',-1,'RDACTS','Created Account: ID = 55, NAME = Bob, TYPE = USER',1,1,null)",
                  "endTransaction(true)"}));
    restart();
    EXPECT_TRUE(admin->createAccount(handle, QxbString("Cy"), QxbString("cy"), QxbString(), QxbString("USER"), 7, nullptr));
    EXPECT_EQ(callsOf("writeChangeRecord").at(0),
              "writeChangeRecord(-1,'A',-1,'RDACTS','Created Account: ID = 56, NAME = Cy, TYPE = USER',1,7,null)");
}

TEST_F(AdminTest, CreateAccountWithANullKeyLooksForTheEmptyKeyNotForAnyAccount) {
    open();
    EXPECT_TRUE(admin->createAccount(handle, QxbString("n"), QxbString(), QxbString(), QxbString(), -1, nullptr));
    EXPECT_EQ(storeCalls().at(0), "listAccounts(-1,null,null,'',null,null,null)");
    EXPECT_EQ(storeCalls().at(2), "insertAccount('n',null,'',null,null,null,null,-1,&)");
}

TEST_F(AdminTest, CreateAccountFailuresRollBackAndAFailedCommitGivesMessage3) {
    open();
    const std::vector<std::string> failing = {"listAccounts", "beginTransaction", "insertAccount",
                                              "writeChangeRecord", "endTransaction"};
    for (const std::string& operation : failing) {
        reopen();
        store->failOperation(operation);
        unsigned id = 9;
        EXPECT_FALSE(admin->createAccount(handle, QxbString("d"), QxbString("d"), QxbString(), QxbString(), -1, &id));
        EXPECT_EQ(id, 9u) << operation;
        if (operation == "endTransaction") {
            // The caller gets message 3; the log keeps the store's reason before it.
            EXPECT_EQ(handle->errorText.str(), referenceDataMessage(3));
            EXPECT_EQ(log.textsAt(5), (std::vector<std::string>{fakes::storeFailureText(store->label(), "endTransaction"),
                                                                  referenceDataMessage(3)}));
        } else if (operation == "insertAccount" || operation == "writeChangeRecord") {
            expectRolledBack(operation, 0);
        } else {
            expectStoreFailure(operation, 0);
            EXPECT_TRUE(callsOf("endTransaction").empty()) << operation;
        }
    }
}

// --- pass-through write and publisher access ---------------------------------------------------------

TEST_F(AdminTest, ForwardStoreWritePassesItsArgumentsInTheStoresOrder) {
    open();
    const QxbString text("hello");
    unsigned textId = 0;
    const unsigned version = 41;
    ASSERT_TRUE(admin->forwardStoreWrite(handle, 2, &text, &textId, 71, &version, nullptr));
    EXPECT_EQ(storeCalls(), std::vector<std::string>{"writeRow('hello',&,2,71,41,null,null)"});
    store->failOperation("writeRow");
    EXPECT_FALSE(admin->forwardStoreWrite(handle, 2, &text, nullptr, 71, &version, nullptr));
    expectStoreFailure("writeRow", 0);
    EXPECT_TRUE(callsOf("beginTransaction").empty());
}

TEST_F(AdminTest, RemovePublisherAccessDeletesTheDomainsUserPubsRows) {
    open();
    ASSERT_TRUE(admin->removePublisherAccess(handle, 4));
    EXPECT_EQ(storeCalls(), std::vector<std::string>{"deleteDomainAccessRows(-1,4,null,-1,'USER_PUBS',null,-1,-1)"});
    store->failOperation("deleteDomainAccessRows");
    EXPECT_FALSE(admin->removePublisherAccess(handle, 4));
    expectStoreFailure("deleteDomainAccessRows", 0);
}

// --- end of an edit session ----------------------------------------------------------------------

TEST_F(AdminTest, CancelAndEndDiscardTheEditSessionIfAny) {
    open();
    EXPECT_TRUE(admin->cancelDomainEdit(handle));
    handle->currentDomain = new DomainEditSession();
    EXPECT_TRUE(admin->endDomainEdit(handle));
    EXPECT_EQ(handle->currentDomain, nullptr);
    handle->currentDomain = new DomainEditSession();
    EXPECT_TRUE(admin->cancelDomainEdit(handle));
    EXPECT_EQ(handle->currentDomain, nullptr);
    EXPECT_TRUE(storeCalls().empty());
}

}  // namespace
}  // namespace rdtest
