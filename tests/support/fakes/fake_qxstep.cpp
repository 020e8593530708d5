// A fake step engine: createStepEngine and its engine, steered by
// platform().step and recorded in the call log. Linked instead of the real
// library.
#include <string>

#include "fake_platform.h"
#include "qxstep.h"

namespace fakes {
namespace {

class FakeStepEngine : public StepEngine {
public:
    FakeStepEngine() : label_("engine" + std::to_string(++platform().engines)) {
        noteCreated(label_);
    }
    const std::string& label() const { return label_; }

    void setCallback(StepEngineCallback* callback) override {
        record(callback != nullptr ? "setCallback(ptr)" : "setCallback(null)");
        callback_ = callback;
    }
    bool initialize() override {
        record("initialize()");
        const StepScript& script = platform().step;
        for (const StepEvent& event : script.eventsOnInitialize) deliver(event);
        return !script.initializeFails;
    }
    QxbString getLastError() override {
        record("getLastError()");
        return QxbString(platform().step.initializeError);
    }
    void release() override {
        record("release()");
        const std::string& debug = platform().step.debugOnRelease;
        if (!debug.empty()) deliver(StepEvent{StepEvent::Debug, 0, debug});
        noteReleased(label_);
        delete this;
    }

private:
    ~FakeStepEngine() override = default;
    void record(const std::string& call) { callLog().add(label_ + "." + call); }

    void deliver(const StepEvent& event) {
        if (callback_ == nullptr) return;
        const QxbString text(event.text);
        switch (event.kind) {
            case StepEvent::Message:
                callback_->onMessage(event.messageKind, text);
                break;
            case StepEvent::Debug:
                callback_->onDebug(text);
                break;
            case StepEvent::Fatal:
                callback_->onFatalError(text);
                break;
        }
    }

    std::string label_;
    StepEngineCallback* callback_ = nullptr;
};

}  // namespace
}  // namespace fakes

QXSTEP_API StepEngine* createStepEngine(int reserved) {
    using namespace fakes;
    const std::string call = "createStepEngine(" + std::to_string(reserved) + ")";
    if (platform().step.createFails) {
        callLog().add(call + " -> null");
        return nullptr;
    }
    auto* engine = new FakeStepEngine();
    callLog().add(call + " -> " + engine->label());
    return engine;
}

// The fake engine stands in for the whole library, the interface's identity included.
StepEngine::~StepEngine() = default;
