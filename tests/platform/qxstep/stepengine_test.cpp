// The step engine: start-up notice, stop message, and the configuration
// switch that keeps it from starting.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "qxstep.h"
#include "temp_home.h"

namespace {

struct RecordingCallback : StepEngineCallback {
    bool keepRunning(int) override { return true; }
    void onMessage(int kind, const QxbString& text) override {
        events.push_back("message " + std::to_string(kind) + ": " + text.str());
    }
    void onDebug(const QxbString& text) override { events.push_back("debug: " + text.str()); }
    void onFatalError(const QxbString& text) override { events.push_back("fatal: " + text.str()); }
    std::vector<std::string> events;
};

TEST(StepEngine, StartsWithNoticeAndStopsWithDebugLine) {
    TempHome home;
    RecordingCallback callback;
    StepEngine* engine = createStepEngine(0);
    ASSERT_NE(engine, nullptr);
    engine->setCallback(&callback);
    EXPECT_TRUE(engine->initialize());
    engine->release();
    ASSERT_EQ(callback.events.size(), 2u);
    EXPECT_EQ(callback.events[0], "message 0: Step engine 0.1 started");
    EXPECT_EQ(callback.events[1], "debug: Step engine stopped");
}

TEST(StepEngine, RunsWithoutCallback) {
    TempHome home;
    StepEngine* engine = createStepEngine(0);
    ASSERT_NE(engine, nullptr);
    EXPECT_TRUE(engine->initialize());
    engine->release();
}

TEST(StepEngine, DisabledByConfigurationDoesNotStart) {
    TempHome home;
    home.writeConfig("[STEPENGINE]\nDISABLED = true\n");
    RecordingCallback callback;
    StepEngine* engine = createStepEngine(0);
    ASSERT_NE(engine, nullptr);
    engine->setCallback(&callback);
    EXPECT_FALSE(engine->initialize());
    EXPECT_NE(std::string(engine->getLastError().asCstr()).find("STEPENGINE/DISABLED"),
              std::string::npos);
    engine->release();
    ASSERT_EQ(callback.events.size(), 1u);
    EXPECT_EQ(callback.events[0], "debug: Step engine stopped");
}

TEST(StepEngine, DisabledFalseOrTextStillStarts) {
    TempHome home;
    for (const char* value : {"false", "\"no\""}) {
        home.writeConfig(std::string("[STEPENGINE]\nDISABLED = ") + value + "\n");
        StepEngine* engine = createStepEngine(0);
        ASSERT_NE(engine, nullptr);
        EXPECT_TRUE(engine->initialize()) << value;
        engine->release();
    }
}

TEST(StepEngine, UnreadableConfigurationIsReported) {
    TempHome home;
    home.writeConfig("[STEPENGINE\nDISABLED = \n");
    StepEngine* engine = createStepEngine(0);
    ASSERT_NE(engine, nullptr);
    EXPECT_FALSE(engine->initialize());
    EXPECT_EQ(engine->getLastError(), qxbGetConfigError());
    EXPECT_GT(engine->getLastError().length(), 0u);
    engine->release();
}

}  // namespace
