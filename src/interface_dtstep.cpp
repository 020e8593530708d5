// The step-engine bridge: starts the engine of a handle and logs what the
// engine reports, each line prefixed with its kind.
#include "interface_dtstep.h"

#include "rdcorecommon.h"

namespace {
constexpr const char* kEngineModule = "Profile Engine";
constexpr int kMsgNoStepEngine = 1103;
}  // namespace

bool RefStepInterface::keepRunning(int /*value*/) {
    return true;
}

void RefStepInterface::onMessage(int kind, const QxbString& text) {
    const char* prefix = "";
    int level = QXLOG_ERROR;
    switch (kind) {
        case STEP_MSG_NOTICE:
            prefix = "Notice: ";
            level = QXLOG_NOTICE;
            break;
        case STEP_MSG_WARNING:
            prefix = "Warning: ";
            level = QXLOG_WARNING;
            break;
        case STEP_MSG_ERROR:
            prefix = "Error: ";
            break;
        default:
            break;
    }
    logLine(level, prefix, text, __LINE__);
}

void RefStepInterface::onDebug(const QxbString& text) {
    logLine(QXLOG_TRACE, "Debug: ", text, __LINE__);
}

void RefStepInterface::onFatalError(const QxbString& text) {
    logLine(QXLOG_ERROR, "Fatal Error: ", text, __LINE__);
}

// Each kind at its own level: an engine's notice is no failure.
void RefStepInterface::logLine(int level, const char* prefix, const QxbString& text, int line) {
    QxbString whole(prefix);
    whole.append(text);
    rdcore::logText(rdcore::ensureLogger(logger), level, __FILE__, line, whole);
}

bool RefStepInterface::start() {
    rdcore::ensureLogger(logger);
    engine = createStepEngine(0);
    if (engine == nullptr) {
        errorText = qxb_get_message(__FILE__, __LINE__, kEngineModule, kMsgNoStepEngine);
        rdcore::logError(logger, __FILE__, __LINE__, errorText);
        return false;
    }
    engine->setCallback(this);
    if (engine->initialize()) return true;
    errorText = engine->getLastError();
    rdcore::logError(logger, __FILE__, __LINE__, errorText);
    return false;
}

void RefStepInterface::shutdown() {
    rdcore::releaseField(engine);
}
