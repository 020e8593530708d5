// Small helpers shared by the sources of rdcore: the library logger, message
// lookup, error logging, allocation without exceptions and release guards.
#pragma once

#include <memory>
#include <new>
#include <utility>

#include "qxbcpp.h"
#include "qxlog.h"

namespace rdcore {

constexpr const char* kLoggerName = "QX.RefData";
constexpr const char* kModule = "Reference Data";

// Message codes of module "Reference Data".
constexpr int kMsgNoConnection = 3;
constexpr int kMsgNoResultSet = 249;
constexpr int kMsgOutOfMemory = 530;
constexpr int kMsgVersionConflict = 1826;
constexpr int kMsgEditNotApplicable = 1827;

// Fetches the library logger once; the logger belongs to the logging library.
inline QxLogger* ensureLogger(QxLogger*& logger) {
    if (logger == nullptr) logger = qxlogGetLogger(kLoggerName);
    return logger;
}

// A message of module "Reference Data" without arguments.
inline QxbString message(const char* sourceFile, int line, int code) {
    return qxb_get_message(sourceFile, line, kModule, code);
}

// Logs a text as the whole line: it is never read as a format.
inline void logText(QxLogger* logger, int level, const char* sourceFile, int line,
                    const QxbString& text) {
    if (logger != nullptr) logger->log(level, sourceFile, line, "%s", text.asCstr());
}

inline void logError(QxLogger* logger, const char* sourceFile, int line, const QxbString& text) {
    logText(logger, QXLOG_ERROR, sourceFile, line, text);
}

// Constructs a T, answering null instead of throwing when memory runs out
// (in the allocation or in T's own constructor).
template <typename T, typename... Args>
T* allocate(Args&&... args) noexcept {
    try {
        return new (std::nothrow) T(std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// Gives a platform object back through its own release.
template <typename T>
struct Releaser {
    void operator()(T* object) const {
        if (object != nullptr) object->release();
    }
};
template <typename T>
using Owned = std::unique_ptr<T, Releaser<T>>;

// Releases *field when set and clears it.
template <typename T>
void releaseField(T*& field) {
    if (field != nullptr) {
        T* object = field;
        field = nullptr;
        object->release();
    }
}

}  // namespace rdcore
