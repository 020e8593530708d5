// qxlog: the platform's logging library. One logger object per name and
// process; loggers belong to the library and are never released.
#pragma once

#define QXLOG_API __attribute__((visibility("default")))

enum QxLogLevel {
    QXLOG_TRACE = 1,
    QXLOG_INFO = 2,  // informational lines (configuration decisions, query traces)
    QXLOG_NOTICE = 3,
    QXLOG_WARNING = 4,
    QXLOG_ERROR = 5  // failures; the text is passed as "%s", never as the format
};

class QXLOG_API QxLogger {
public:
    // Writes one line: timestamp, level, logger name, file:line, then the
    // printf-formatted text. Lines below the threshold are dropped.
    virtual void log(int level, const char* sourceFile, int line, const char* format, ...)
        __attribute__((format(printf, 5, 6))) = 0;
    virtual const char* name() const = 0;

protected:
    virtual ~QxLogger();  // defined in the library, which then owns the type's identity
};

QXLOG_API QxLogger* qxlogGetLogger(const char* name);

// Where lines go. By default: "logs/rdm.log" in the home folder with the
// threshold QXLOG_INFO, or what the configuration's [logging] table says
// (keys "level": 1-5 or trace/info/notice/warning/error, "file": a path
// relative to the home folder or "stderr"). Read once, at the first line.
// qxlogConfigure overrides both; a null path keeps the current sink.
QXLOG_API void qxlogConfigure(int threshold, const char* path);

// Test hook: every line at or above the threshold is also handed to the
// callback, already formatted (text without timestamp). Null removes it.
typedef void (*QxLogCapture)(void* context, const char* logger, int level, const char* sourceFile,
                             int line, const char* text);
QXLOG_API void qxlogSetCapture(QxLogCapture capture, void* context);
