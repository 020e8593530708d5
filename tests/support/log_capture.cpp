// LogCapture: the qxlog capture hook turned into a list of lines.
#include "log_capture.h"

#include "qxlog.h"

LogCapture::LogCapture(int threshold) {
    qxlogConfigure(threshold, nullptr);
    qxlogSetCapture(&LogCapture::record, this);
}

LogCapture::~LogCapture() {
    qxlogSetCapture(nullptr, nullptr);
    qxlogConfigure(QXLOG_INFO, nullptr);
}

void LogCapture::record(void* context, const char* logger, int level, const char* file, int line,
                        const char* text) {
    auto* self = static_cast<LogCapture*>(context);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->lines_.push_back(
        LogLine{logger ? logger : "", level, file ? file : "", line, text ? text : ""});
}

std::vector<LogLine> LogCapture::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

std::vector<LogLine> LogCapture::linesAt(int level) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<LogLine> result;
    for (const LogLine& line : lines_)
        if (line.level == level) result.push_back(line);
    return result;
}

std::vector<std::string> LogCapture::textsAt(int level) const {
    std::vector<std::string> texts;
    for (const LogLine& line : linesAt(level)) texts.push_back(line.text);
    return texts;
}

bool LogCapture::hasLine(int level, const std::string& text) const {
    for (const LogLine& line : linesAt(level))
        if (line.text == text) return true;
    return false;
}

bool LogCapture::hasLineContaining(int level, const std::string& part) const {
    for (const LogLine& line : linesAt(level))
        if (line.text.find(part) != std::string::npos) return true;
    return false;
}

std::size_t LogCapture::count(int level) const { return linesAt(level).size(); }

std::size_t LogCapture::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.size();
}

void LogCapture::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

std::string LogCapture::dump() const {
    std::string out;
    for (const LogLine& line : lines()) {
        out += std::to_string(line.level) + " " + line.logger + " " + line.file + ":" +
               std::to_string(line.line) + ": " + line.text + "\n";
    }
    return out;
}
