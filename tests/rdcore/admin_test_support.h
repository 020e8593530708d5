// The fixture of the administration tests: a handle open on the recording
// store, its administration object, and helpers to read the admin store's
// transcript and to check what a failed operation left behind.
#pragma once

#include <string>
#include <vector>

#include "RefDataAdmin.h"
#include "rdcore_test_support.h"
#include "rdcoreadminimpl.h"

namespace rdtest {

class AdminTest : public SessionTest {
protected:
    // Opens a handle with both stores; the admin store's transcript and the
    // logs start empty.
    void open() {
        keyValues("sqlite:data.db", "p_");
        ASSERT_TRUE(openMain()) << error.asCstr();
        admin = static_cast<RefDataAdminImpl*>(session->getAdmin(handle));
        ASSERT_NE(admin, nullptr);
        store = static_cast<fakes::RecordingStore*>(handle->adminStore);
        restart();
    }
    // A new handle on new stores, without the old store's scripted answers.
    void reopen() {
        session->close(&handle, nullptr);
        open();
    }
    // Forgets the calls made so far.
    void restart() {
        firstCall = store->calls().size();
        fakes::callLog().clear();
        log.clear();
    }
    // The admin store's calls since the last restart, without getLastError.
    std::vector<std::string> storeCalls() const {
        std::vector<std::string> found;
        const auto& all = store->calls();
        for (std::size_t i = firstCall; i < all.size(); ++i)
            if (all[i] != "getLastError()") found.push_back(all[i]);
        return found;
    }
    // Calls of one operation since the last restart.
    std::vector<std::string> callsOf(const std::string& operation) const {
        std::vector<std::string> found;
        for (const std::string& call : storeCalls())
            if (call.rfind(operation + "(", 0) == 0) found.push_back(call);
        return found;
    }
    bool called(const std::string& call) const {
        for (const std::string& made : storeCalls())
            if (made == call) return true;
        return false;
    }
    // Result sets handed out and not released (labelled "storeN.listing").
    static int openResultSets() {
        int count = 0;
        for (const std::string& label : fakes::platform().live)
            if (label.rfind("store", 0) == 0 && label.find('.') != std::string::npos) ++count;
        return count;
    }
    // A failed operation inside a transaction: the transaction was rolled
    // back after every result set was released, nothing was committed, and
    // the failing call's text is the handle's error text and a level-5 line.
    void expectRolledBack(const std::string& failedOperation, int n) {
        const std::vector<std::string> calls = storeCalls();
        ASSERT_FALSE(calls.empty()) << n;
        EXPECT_EQ(calls.back(), "endTransaction(false)") << failedOperation << " at call " << n;
        EXPECT_FALSE(called("endTransaction(true)")) << n;
        expectStoreFailure(failedOperation, n);
        const std::vector<std::string> lines = fakes::callLog().lines();
        const int rollback = fakes::callLog().indexOf(store->label() + ".endTransaction(false)");
        for (std::size_t i = static_cast<std::size_t>(rollback) + 1; i < lines.size(); ++i)
            EXPECT_EQ(lines[i].find(".release()"), std::string::npos) << lines[i];
    }
    void expectStoreFailure(const std::string& failedOperation, int n) {
        const std::string text = fakes::storeFailureText(store->label(), failedOperation);
        EXPECT_EQ(handle->errorText.str(), text) << n;
        EXPECT_TRUE(log.hasLine(5, text)) << n;
        EXPECT_EQ(openResultSets(), 0) << n;
    }
    // The next account lookup finds account id (the acting account of a
    // write is checked first).
    void scriptAccount(int id) { store->answer("listAccounts", fakes::FakeRows({"ID"}, {{id}})); }
    // The operation of a call ("insertDomain(...)" -> "insertDomain").
    static std::string operationOf(const std::string& call) { return call.substr(0, call.find('(')); }

    RefDataAdminImpl* admin = nullptr;
    fakes::RecordingStore* store = nullptr;
    std::size_t firstCall = 0;
};

}  // namespace rdtest
