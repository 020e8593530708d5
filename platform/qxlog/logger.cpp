// qxlog: named loggers, the threshold, the configuration read at the first
// line, and the capture hook for tests.
#include "qxlog.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "qxbcpp.h"
#include "sink.h"

namespace {

const char* const kLevelNames[] = {"trace", "info", "notice", "warning", "error"};
const char* const kDefaultLogFile = "logs/rdm.log";

std::mutex stateMutex;
std::atomic<int> threshold{QXLOG_INFO};
std::atomic<bool> initialised{false};
bool levelDecided = false;  // by qxlogConfigure
bool sinkDecided = false;   // by qxlogConfigure
QxLogCapture captureHook = nullptr;
void* captureContext = nullptr;

std::string levelName(int level) {
    if (level >= QXLOG_TRACE && level <= QXLOG_ERROR) return kLevelNames[level - 1];
    return "level " + std::to_string(level);
}

// "[error] QX.RefData src/rdcoreimpl.cpp:123: text" (the sink adds the time).
std::string composeLine(const char* logger, int level, const char* file, int line,
                        const std::string& text) {
    return "[" + levelName(level) + "] " + logger + " " + (file ? file : "(unknown)") + ":" +
           std::to_string(line) + ": " + text;
}

void emit(const char* logger, int level, const char* file, int line, const std::string& text) {
    qxlog::writeLine(composeLine(logger, level, file, line, text));
    QxLogCapture hook;
    void* context;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        hook = captureHook;
        context = captureContext;
    }
    if (hook) hook(context, logger, level, file, line, text.c_str());
}

// A level from the configuration: 1-5 or a level name.
bool parseLevel(const QxbString& text, int* level) {
    bool ok = false;
    const int number = text.asInt(&ok);
    if (ok && number >= QXLOG_TRACE && number <= QXLOG_ERROR) {
        *level = number;
        return true;
    }
    for (int i = QXLOG_TRACE; i <= QXLOG_ERROR; ++i) {
        if (text.compare(kLevelNames[i - 1], false) == 0) {
            *level = i;
            return true;
        }
    }
    return false;
}

std::string sinkTarget(const std::string& configured, std::vector<std::string>* warnings) {
    if (configured == "stderr") return configured;
    if (configured.empty()) {
        QxbString error;
        if (!qxbEnsureHomeFolder(&error)) warnings->push_back(error.asCstr());
        return qxbResolveHomePath(kDefaultLogFile);
    }
    return qxbResolveHomePath(configured);
}

std::mutex initMutex;

// A whole number of at least minimum from the [logging] table, else the
// default with a warning.
template <typename Number>
void readLimit(QxbConfigOptions* options, const char* key, Number minimum, Number* value,
               std::vector<std::string>* warnings) {
    QxbString text;
    if (!options->get(QxbString((std::string("logging/") + key).c_str()), &text, 0)) return;
    char* end = nullptr;
    errno = 0;
    const unsigned long long number = std::strtoull(text.asCstr(), &end, 10);
    const bool whole = text.length() > 0 && text.asCstr()[0] != '-' && *end == '\0' && errno == 0;
    if (whole && number >= static_cast<unsigned long long>(minimum) &&
        number <= static_cast<unsigned long long>(std::numeric_limits<Number>::max())) {
        *value = static_cast<Number>(number);
        return;
    }
    warnings->push_back(std::string("The logging ") + key + " '" + text.asCstr() +
                        "' in the configuration is not a whole number of at least " + std::to_string(minimum) +
                        "; using " + std::to_string(*value));
}

// Applies the [logging] table to what qxlogConfigure has not decided; answers
// the configured file ("" for the default) and sets the rotation limits.
std::string readLoggingSettings(bool decideLevel, bool decideSink, qxlog::SinkLimits* limits,
                                std::vector<std::string>* warnings) {
    QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
    if (!options) {
        warnings->push_back(std::string("Logging uses its defaults: ") + qxbGetConfigError().asCstr());
        return std::string();
    }
    QxbString levelText, file;
    if (decideLevel && options->get(QxbString("logging/level"), &levelText, 0)) {
        int level = QXLOG_INFO;
        if (parseLevel(levelText, &level))
            threshold.store(level);
        else
            warnings->push_back(std::string("Unknown logging level '") + levelText.asCstr() +
                                "' in the configuration; using 'info'");
    }
    if (decideSink) {
        options->get(QxbString("logging/file"), &file, 0);
        readLimit<std::uint64_t>(options, "max_size", 1, &limits->maxSize, warnings);
        readLimit<unsigned>(options, "files", 0, &limits->keptFiles, warnings);
    }
    return file.str();
}

// Runs before the first line: reads the configuration and opens the sink.
// Problems become warning lines in the log itself.
void initialiseOnce() {
    std::lock_guard<std::mutex> lock(initMutex);
    if (initialised.load()) return;
    bool decideLevel, decideSink;
    {
        std::lock_guard<std::mutex> state(stateMutex);
        decideLevel = !levelDecided;
        decideSink = !sinkDecided;
    }
    std::vector<std::string> warnings;
    std::string file;
    qxlog::SinkLimits limits;
    if (decideLevel || decideSink) file = readLoggingSettings(decideLevel, decideSink, &limits, &warnings);
    if (decideSink) {
        std::string error;
        qxlog::openSink(sinkTarget(file, &warnings), limits, &error);
        if (!error.empty()) warnings.push_back(error);
    }
    initialised.store(true);
    for (const std::string& warning : warnings) emit("qxlog", QXLOG_WARNING, __FILE__, __LINE__, warning);
}

std::string formatText(const char* format, va_list args) {
    if (!format) return std::string();
    char stackBuffer[512];
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(stackBuffer, sizeof stackBuffer, format, copy);
    va_end(copy);
    if (needed < 0) return format;
    if (static_cast<std::size_t>(needed) < sizeof stackBuffer) return std::string(stackBuffer, needed);
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<std::size_t>(needed));
    return text;
}

class LoggerImpl : public QxLogger {
public:
    explicit LoggerImpl(std::string name) : name_(std::move(name)) {}

    void log(int level, const char* sourceFile, int line, const char* format, ...) override
        __attribute__((format(printf, 5, 6))) {
        if (!initialised.load()) initialiseOnce();
        if (level < threshold.load()) return;
        try {
            va_list args;
            va_start(args, format);
            const std::string text = formatText(format, args);
            va_end(args);
            emit(name_.c_str(), level, sourceFile, line, text);
        } catch (const std::exception&) {
            // Logging never fails its caller.
        }
    }

    const char* name() const override { return name_.c_str(); }

private:
    std::string name_;
};

}  // namespace

QxLogger* qxlogGetLogger(const char* name) {
    // Never destroyed: callers keep their loggers to the very end.
    static auto* loggers = new std::map<std::string, LoggerImpl*>();
    std::lock_guard<std::mutex> lock(stateMutex);
    const std::string key = name ? name : "";
    LoggerImpl*& logger = (*loggers)[key];
    if (!logger) logger = new LoggerImpl(key);
    return logger;
}

void qxlogConfigure(int newThreshold, const char* path) {
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        levelDecided = true;
        if (path) sinkDecided = true;
    }
    threshold.store(newThreshold);
    if (!path) return;
    std::string error;
    const std::string target = std::string(path) == "stderr" ? "stderr" : qxbResolveHomePath(path);
    qxlog::openSink(target, qxlog::SinkLimits(), &error);
    if (!error.empty()) emit("qxlog", QXLOG_WARNING, __FILE__, __LINE__, error);
}

void qxlogSetCapture(QxLogCapture capture, void* context) {
    std::lock_guard<std::mutex> lock(stateMutex);
    captureHook = capture;
    captureContext = context;
}

QxLogger::~QxLogger() = default;
