// The step engine: started per client, it reports its life through the
// client's callback. The configuration key "STEPENGINE/DISABLED" set to true
// keeps it from starting.
#include <new>

#include "qxstep.h"

namespace {

constexpr const char* kStartedText = "Step engine 0.1 started";
constexpr const char* kStoppedText = "Step engine stopped";
constexpr const char* kDisabledText =
    "Step engine is disabled by the configuration (STEPENGINE/DISABLED is true)";

class StepEngineImpl : public StepEngine {
public:
    void setCallback(StepEngineCallback* callback) override { callback_ = callback; }

    bool initialize() override {
        if (!allowedByConfiguration()) return false;
        if (callback_ != nullptr) callback_->onMessage(STEP_MSG_NOTICE, QxbString(kStartedText));
        return true;
    }

    QxbString getLastError() override { return lastError_; }

    void release() override {
        if (callback_ != nullptr) callback_->onDebug(QxbString(kStoppedText));
        delete this;
    }

private:
    ~StepEngineImpl() override = default;

    // A configuration that cannot be read gives no answer either way, so the
    // engine does not start and says why.
    bool allowedByConfiguration() {
        QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
        if (options == nullptr) {
            lastError_ = qxbGetConfigError();
            return false;
        }
        QxbString setting;
        if (!options->get(QxbString("STEPENGINE/DISABLED"), &setting, 0)) return true;
        QxbDatavar disabled;
        disabled.assign(setting);
        if (!disabled.asBool()) return true;
        lastError_.assign(kDisabledText);
        return false;
    }

    StepEngineCallback* callback_ = nullptr;
    QxbString lastError_;
};

}  // namespace

QXSTEP_API StepEngine* createStepEngine(int /*reserved*/) {
    try {
        return new (std::nothrow) StepEngineImpl();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

StepEngine::~StepEngine() = default;
