// qxstep: the platform's step engine, which runs steps and reports its
// messages to a registered callback object.
#pragma once

#include "qxbcpp.h"

#define QXSTEP_API __attribute__((visibility("default")))

// Message kinds of onMessage.
enum StepMessageKind { STEP_MSG_NOTICE = 0, STEP_MSG_WARNING = 1, STEP_MSG_ERROR = 2 };

class StepEngineCallback {
public:
    virtual bool keepRunning(int value) = 0;
    virtual void onMessage(int kind, const QxbString& text) = 0;
    virtual void onDebug(const QxbString& text) = 0;
    virtual void onFatalError(const QxbString& text) = 0;
    virtual ~StepEngineCallback() {}
};

class QXSTEP_API StepEngine {
public:
    // The callback is borrowed; it must outlive the engine or be replaced.
    virtual void setCallback(StepEngineCallback* callback) = 0;
    // Starts the engine; reports a notice naming the engine through the
    // callback. False with the reason in getLastError().
    virtual bool initialize() = 0;
    virtual QxbString getLastError() = 0;
    // Stops the engine (a debug message goes to the callback) and frees it.
    virtual void release() = 0;

protected:
    virtual ~StepEngine();  // defined in the library, which then owns the type's identity
};

// A new engine, or null when none can be made. The argument is reserved.
QXSTEP_API StepEngine* createStepEngine(int reserved);
