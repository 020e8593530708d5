// The viewer's not-implemented lists: they answer no cursor and touch
// neither the handle's error text nor the log.
#include <functional>

#include "RefDataViewer.h"
#include "rdcore_test_support.h"
#include "rdcoreviewerimpl.h"

namespace rdtest {
namespace {

using V = RefDataViewer;
using H = RefDataHandle*;
using ViewerCall = std::function<bool(RefDataViewer&, RefDataHandle*)>;

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

}  // namespace
}  // namespace rdtest
