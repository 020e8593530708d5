// The step-engine bridge: what the engine reports reaches the log with a
// prefix naming its kind, verbatim, at the level of its kind.
#include "interface_dtstep.h"
#include "rdcore_test_support.h"

namespace rdtest {
namespace {

using Lines = std::vector<std::string>;

class BridgeTest : public SessionTest {};

TEST_F(BridgeTest, EngineMessagesAreLoggedWithTheirPrefix) {
    keyValues("", "p_");
    fakes::platform().step.eventsOnInitialize = {
        {fakes::StepEvent::Message, 0, "started"},  {fakes::StepEvent::Message, 1, "slow"},
        {fakes::StepEvent::Message, 2, "broken"},   {fakes::StepEvent::Message, 7, "odd kind"},
        {fakes::StepEvent::Debug, 0, "tracing"},    {fakes::StepEvent::Fatal, 0, "gone"},
        {fakes::StepEvent::Message, 0, "100% %s %n"}};
    fakes::platform().step.debugOnRelease = "stopping";
    ASSERT_TRUE(openMain());
    EXPECT_EQ(logged(QXLOG_ERROR), (Lines{"Error: broken", "odd kind", "Fatal Error: gone"}));
    EXPECT_EQ(logged(QXLOG_WARNING), (Lines{"Warning: slow"}));
    EXPECT_EQ(logged(QXLOG_NOTICE), (Lines{"Notice: started", "Notice: 100% %s %n"}));
    EXPECT_EQ(logged(QXLOG_TRACE), (Lines{"Debug: tracing"}));
    for (const LogLine& line : log.linesAt(5)) EXPECT_EQ(line.file, "src/interface_dtstep.cpp");

    log.clear();
    EXPECT_TRUE(session->close(&handle, nullptr));
    EXPECT_EQ(logged(QXLOG_TRACE), (Lines{"Debug: stopping"}));
    EXPECT_TRUE(logged(QXLOG_ERROR).empty());
}

TEST(RefStepInterface, KeepsRunningAndStartsOnlyOnce) {
    fakes::reset();
    LogCapture log(1);
    auto* bridge = new RefStepInterface();
    EXPECT_TRUE(bridge->keepRunning(0));
    EXPECT_TRUE(bridge->keepRunning(-5));
    EXPECT_TRUE(bridge->start());
    EXPECT_EQ(fakes::callLog().lines(),
              (Lines{"createStepEngine(0) -> engine1", "engine1.setCallback(ptr)",
                     "engine1.initialize()"}));
    bridge->shutdown();
    bridge->shutdown();  // the engine is gone: nothing more to release
    EXPECT_EQ(fakes::callLog().matching("release").size(), 1u);
    delete bridge;
    fakes::reset();
}

TEST(RefStepInterface, FailureTextStaysInTheBridge) {
    fakes::reset();
    LogCapture log(1);
    RefStepInterface bridge;
    fakes::platform().step.createFails = true;
    EXPECT_FALSE(bridge.start());
    EXPECT_EQ(bridge.lastError(), message("Profile Engine", 1103));
    fakes::platform().step.createFails = false;
    fakes::platform().step.initializeFails = true;
    RefStepInterface refused;
    EXPECT_FALSE(refused.start());
    EXPECT_EQ(refused.lastError().str(), fakes::platform().step.initializeError);
    refused.shutdown();
    EXPECT_TRUE(fakes::platform().live.empty());
    fakes::reset();
}

}  // namespace
}  // namespace rdtest
