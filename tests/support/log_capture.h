// LogCapture: records every log line written while it lives, so tests can
// assert what was logged and at which level.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

struct LogLine {
    std::string logger;
    int level;
    std::string file;
    int line;
    std::string text;
};

class LogCapture {
public:
    // Installs the capture hook and sets the log threshold (lines below it
    // are neither written nor captured). Only one capture may live at a time.
    explicit LogCapture(int threshold = 1);
    // Removes the hook and puts the threshold back to 2 (QXLOG_INFO).
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogLine> lines() const;
    std::vector<LogLine> linesAt(int level) const;
    // The texts of the lines at one level, in order.
    std::vector<std::string> textsAt(int level) const;
    // A line at this level whose text equals text exactly.
    bool hasLine(int level, const std::string& text) const;
    // A line at this level whose text contains part.
    bool hasLineContaining(int level, const std::string& part) const;
    std::size_t count(int level) const;
    std::size_t size() const;
    void clear();
    // Every line as "level logger file:line: text", one per line, for
    // failure messages.
    std::string dump() const;

private:
    static void record(void* context, const char* logger, int level, const char* file, int line,
                       const char* text);
    mutable std::mutex mutex_;
    std::vector<LogLine> lines_;
};
