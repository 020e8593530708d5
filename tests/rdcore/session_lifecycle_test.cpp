// The life of a session and its handles: close, release, the teardown order,
// error texts, the lazily made admin and viewer objects, and allocation
// failures at every allocation the session makes.
#include "allocation_fault.h"
#include "rdcore_test_support.h"
#include "rdcoreadminimpl.h"
#include "rdcoreeditsession.h"
#include "rdcoreimpl.h"
#include "rdcoreviewerimpl.h"

namespace rdtest {
namespace {

using Lines = std::vector<std::string>;

// The releases of one fully opened handle, in teardown order.
Lines teardownOf(const std::string& adminStore, const std::string& queryStore,
                 const std::string& dataRepository, const std::string& engine,
                 const std::string& repository, const std::string& admin) {
    return {adminStore + ".release()", queryStore + ".release()",
            dataRepository + ".release()", engine + ".release()",
            repository + ".release()", admin + ".release()"};
}

class LifecycleTest : public SessionTest {
protected:
    RefDataImpl* impl() { return static_cast<RefDataImpl*>(session); }
};

TEST_F(LifecycleTest, CloseFreesTheHandleInTeardownOrder) {
    keyValues("sqlite:data.db", "p_");
    ASSERT_TRUE(openMain());
    fakes::callLog().clear();
    EXPECT_TRUE(session->close(&handle, nullptr));
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(releases(), teardownOf("store1", "store2", "repo[sqlite:data.db]", "engine1",
                                     "repo[main]", "repadm1"));
    EXPECT_TRUE(fakes::platform().live.empty()) << liveObjects();
    EXPECT_EQ(impl()->openHandleCount(), 0u);
}

TEST_F(LifecycleTest, CloseOfNullOrForeignHandleFreesNothing) {
    keyValues("sqlite:data.db", "p_");
    ASSERT_TRUE(openMain());
    RefDataHandle* nothing = nullptr;
    EXPECT_TRUE(session->close(&nothing, nullptr));
    EXPECT_TRUE(session->close(nullptr, nullptr));

    RefData* other = createReferenceDataSession(0, nullptr);
    ASSERT_NE(other, nullptr);
    RefDataHandle* foreign = nullptr;
    ASSERT_TRUE(other->open(&foreign, QxbString("main"), &error));
    RefDataHandle* borrowed = foreign;
    fakes::callLog().clear();
    EXPECT_TRUE(session->close(&borrowed, nullptr));
    EXPECT_EQ(borrowed, nullptr);
    EXPECT_TRUE(releases().empty());
    EXPECT_EQ(impl()->openHandleCount(), 1u);

    // A pointer already closed through another variable is not freed twice.
    RefDataHandle* copy = handle;
    EXPECT_TRUE(session->close(&handle, nullptr));
    fakes::callLog().clear();
    EXPECT_TRUE(session->close(&copy, nullptr));
    EXPECT_TRUE(releases().empty());

    other->release(&foreign);
    EXPECT_EQ(foreign, nullptr);
}

TEST_F(LifecycleTest, ReleaseTearsDownEveryHandleInOpeningOrder) {
    keyValues("sqlite:data.db", "p_");
    RefDataHandle* first = nullptr;
    RefDataHandle* second = nullptr;
    RefDataHandle* third = nullptr;
    ASSERT_TRUE(session->open(&first, QxbString("main"), &error));
    ASSERT_TRUE(session->openWithDsn(&second, QxbString("sqlite:main.db"), QxbString("m_"),
                                     &error));
    ASSERT_TRUE(session->open(&third, QxbString("main"), &error));
    EXPECT_EQ(impl()->openHandleCount(), 3u);
    fakes::callLog().clear();

    RefDataHandle* variable = second;
    session->release(&variable);
    session = nullptr;
    EXPECT_EQ(variable, nullptr);
    Lines expected = teardownOf("store1", "store2", "repo[sqlite:data.db]", "engine1",
                                "repo[main]", "repadm1");
    const Lines secondTeardown = teardownOf("store3", "store4", "repo[sqlite:data.db]",
                                            "engine2", "repo[sqlite:main.db]", "repadm2");
    const Lines thirdTeardown = teardownOf("store5", "store6", "repo[sqlite:data.db]", "engine3",
                                           "repo[main]", "repadm3");
    expected.insert(expected.end(), secondTeardown.begin(), secondTeardown.end());
    expected.insert(expected.end(), thirdTeardown.begin(), thirdTeardown.end());
    EXPECT_EQ(releases(), expected);
}

TEST_F(LifecycleTest, ReleaseDiscardsAnOpenEditSession) {
    keyValues("", "p_");
    ASSERT_TRUE(openMain());
    handle->currentDomain = new DomainEditSession();
    // Freed by the teardown; a leak would show under the leak checker.
}

TEST_F(LifecycleTest, ErrorTextOfAHandleAndOfNoHandle) {
    keyValues("", "p_");
    ASSERT_TRUE(openMain());
    handle->errorText.assign("last failure");
    EXPECT_EQ(session->getErrorText(handle), QxbString("last failure"));
    EXPECT_TRUE(logged(5).empty());

    EXPECT_EQ(session->getErrorText(nullptr).str(), referenceDataMessage(3));
    EXPECT_EQ(logged(5), (Lines{referenceDataMessage(3)}));
}

TEST_F(LifecycleTest, AdminAndViewerAreMadeWhenMissing) {
    keyValues("", "p_");
    ASSERT_TRUE(openMain());
    EXPECT_EQ(session->getAdmin(nullptr), nullptr);
    EXPECT_EQ(session->getViewer(nullptr), nullptr);
    EXPECT_TRUE(logged(5).empty());

    delete handle->admin;
    handle->admin = nullptr;
    delete handle->viewer;
    handle->viewer = nullptr;
    RefDataAdmin* admin = session->getAdmin(handle);
    RefDataViewer* viewer = session->getViewer(handle);
    ASSERT_NE(admin, nullptr);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(admin, handle->admin);
    EXPECT_EQ(viewer, handle->viewer);
    EXPECT_EQ(session->getAdmin(handle), admin);
}

TEST_F(LifecycleTest, AdminOrViewerThatCannotBeMadeGives530) {
    keyValues("", "p_");
    ASSERT_TRUE(openMain());
    delete handle->admin;
    handle->admin = nullptr;
    failNothrowAllocation(1);
    EXPECT_EQ(session->getAdmin(handle), nullptr);
    EXPECT_EQ(handle->errorText.str(), referenceDataMessage(530));

    delete handle->viewer;
    handle->viewer = nullptr;
    handle->errorText.setNull();
    failNothrowAllocation(1);
    EXPECT_EQ(session->getViewer(handle), nullptr);
    EXPECT_EQ(handle->errorText.str(), referenceDataMessage(530));
    EXPECT_EQ(logged(5), (Lines{referenceDataMessage(530), referenceDataMessage(530)}));
}

// Fails each allocation of the open in turn until the open succeeds: every
// failed attempt reports 530, keeps no handle and gives back every object.
TEST_F(LifecycleTest, EveryAllocationFailureOfOpenGives530AndLeaksNothing) {
    keyValues("sqlite:data.db", "p_");
    int failures = 0;
    for (int n = 1; n < 20; ++n) {
        error.assign("untouched");
        failNothrowAllocation(n);
        const bool opened = openMain();
        const bool faultFired = !nothrowFaultPending();
        failNothrowAllocation(0);
        if (opened) {
            EXPECT_FALSE(faultFired) << "allocation " << n << " failed but the open succeeded";
            break;
        }
        ++failures;
        EXPECT_EQ(error.str(), referenceDataMessage(530)) << "allocation " << n;
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(impl()->openHandleCount(), 0u);
        EXPECT_TRUE(fakes::platform().live.empty()) << "allocation " << n << ": " << liveObjects();
    }
    EXPECT_GT(failures, 0);
    EXPECT_NE(handle, nullptr);
}

TEST(SessionCreation, FailedAllocationGives530WithoutLogging) {
    LogCapture log(1);
    QxbString error("untouched");
    failNothrowAllocation(1);
    EXPECT_EQ(createReferenceDataSession(7, &error), nullptr);
    EXPECT_EQ(error.str(), referenceDataMessage(530));
    failNothrowAllocation(1);
    EXPECT_EQ(createReferenceDataSession(0, nullptr), nullptr);
    EXPECT_EQ(log.size(), 0u);

    RefData* session = createReferenceDataSession(12345, &error);
    ASSERT_NE(session, nullptr);
    EXPECT_FALSE(static_cast<RefDataImpl*>(session)->usesDataServer());
    session->release(nullptr);
}

}  // namespace
}  // namespace rdtest
