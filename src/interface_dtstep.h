// RefStepInterface: the bridge between a connection handle and the step
// engine it starts; the engine's messages go to the library log.
#pragma once

#include "qxbcpp.h"
#include "qxlog.h"
#include "qxstep.h"

class RefStepInterface : public StepEngineCallback {
public:
    RefStepInterface() = default;
    RefStepInterface(const RefStepInterface&) = delete;
    RefStepInterface& operator=(const RefStepInterface&) = delete;
    ~RefStepInterface() override = default;

    bool keepRunning(int value) override;
    void onMessage(int kind, const QxbString& text) override;
    void onDebug(const QxbString& text) override;
    void onFatalError(const QxbString& text) override;

    // Creates and starts a step engine with this bridge as its callback. On
    // failure the reason is in errorText and in the log; an engine that was
    // created stays referenced until shutdown.
    bool start();
    // Releases the engine, when there is one. The owner then frees the bridge.
    void shutdown();

    const QxbString& lastError() const { return errorText; }

private:
    void logLine(int level, const char* prefix, const QxbString& text, int line);

    QxbString errorText;
    StepEngine* engine = nullptr;
    QxLogger* logger = nullptr;
};
