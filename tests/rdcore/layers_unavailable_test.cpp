// The query and administration objects before their operations exist: each
// operation fails with message 3 in the handle and the log, except the
// viewer's not-implemented lists (silent) and the admin's no-op (true).
#include <functional>

#include "RefDataAdmin.h"
#include "RefDataViewer.h"
#include "rdcore_test_support.h"
#include "rdcoreadminimpl.h"
#include "rdcoreviewerimpl.h"

namespace rdtest {
namespace {

using V = RefDataViewer;
using A = RefDataAdmin;
using H = RefDataHandle*;
using ViewerCall = std::function<bool(RefDataViewer&, RefDataHandle*)>;
using AdminCall = std::function<bool(RefDataAdmin&, RefDataHandle*)>;

// true when the call answered a cursor
template <typename Query>
ViewerCall query(Query query) {
    return [query](RefDataViewer& viewer, RefDataHandle* handle) {
        RefDataCursor* cursor = query(viewer, handle);
        if (cursor != nullptr) cursor->release();
        return cursor != nullptr;
    };
}

std::vector<ViewerCall> silentQueries() {
    return {
        query([](V& v, H h) { return v.getListL(h); }),
        query([](V& v, H h) { return v.getListM(h); }),
        query([](V& v, H h) { return v.getListN(h); }),
        query([](V& v, H h) { return v.getListP(h); }),
        query([](V& v, H h) { return v.getListT(h, nullptr, 1); }),
    };
}

std::vector<AdminCall> failingWrites() {
    const QxbString t("x");
    unsigned id = 0;
    unsigned* out = &id;
    return {
        [=](A& a, H h) { return a.createAttribute(h, t, t, t, t, 1, 1, out); },
        [=](A& a, H h) { return a.deleteAttribute(h, 1, 1); },
        [=](A& a, H h) { return a.addItem(h, t, t, false, false, t, 1, out); },
        [=](A& a, H h) { return a.beginNewDomain(h, t, t, t, false, t, 1, t); },
        [=](A& a, H h) { return a.beginNewDomainVersion(h, 1, t, t, false, 1, t); },
        [=](A& a, H h) { return a.addDomainAttribute(h, t, t, 1, t, 1); },
        [=](A& a, H h) { return a.deleteDomainAttribute(h, 1, 1, 1); },
        [=](A& a, H h) { return a.addDomainItem(h, t, t, false, false, t, 1, t, -1, 1, 1); },
        [=](A& a, H h) { return a.deleteDomainItem(h, 1, 1, 1); },
        [=](A& a, H h) { return a.addItemAttribute(h, 1, t, t, 1, t, 1); },
        [=](A& a, H h) { return a.removeVersionItemTexts(h, 1, 0, 1, 1); },
    };
}

class UnavailableTest : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        keyValues("sqlite:data.db", "p_");
        ASSERT_TRUE(openMain());
        log.clear();
    }
};

TEST_F(UnavailableTest, NotImplementedQueriesTouchNothing) {
    RefDataViewer* viewer = session->getViewer(handle);
    handle->errorText.assign("before");
    for (const ViewerCall& call : silentQueries()) {
        EXPECT_FALSE(call(*viewer, handle));
        EXPECT_FALSE(call(*viewer, nullptr));
    }
    EXPECT_EQ(handle->errorText, QxbString("before"));
    EXPECT_EQ(log.size(), 0u);
}

TEST_F(UnavailableTest, AdminOperationsFailWithMessage3) {
    RefDataAdmin* admin = session->getAdmin(handle);
    const std::string expected = referenceDataMessage(3);
    int position = 0;
    for (const AdminCall& call : failingWrites()) {
        handle->errorText.assign("before");
        log.clear();
        EXPECT_FALSE(call(*admin, handle)) << position;
        EXPECT_EQ(handle->errorText.str(), expected) << position;
        EXPECT_EQ(logged(5), std::vector<std::string>{expected}) << position;
        EXPECT_EQ(log.linesAt(5).at(0).file, "src/rdcoreadminimpl.cpp");
        EXPECT_FALSE(call(*admin, nullptr)) << position;
        ++position;
    }
    EXPECT_TRUE(admin->reservedNoOp(nullptr, 1));
    EXPECT_TRUE(admin->reservedNoOp(handle, 7));
}

}  // namespace
}  // namespace rdtest
