// The shared state of the fake platform: call log, scripts, live objects.
#include "fake_platform.h"

namespace fakes {

std::vector<std::string> CallLog::matching(const std::string& part) const {
    std::vector<std::string> found;
    for (const std::string& line : lines_) {
        if (line.find(part) != std::string::npos) found.push_back(line);
    }
    return found;
}

int CallLog::indexOf(const std::string& line) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i] == line) return static_cast<int>(i);
    }
    return -1;
}

std::string CallLog::dump() const {
    std::string text;
    for (const std::string& line : lines_) text += line + "\n";
    return text;
}

Platform& platform() {
    static Platform instance;
    return instance;
}

void reset() {
    platform() = Platform();
}

std::string missingKeyText(const std::string& key) {
    return "fake repository: key '" + key + "' does not exist";
}

std::string storeFailureText(const std::string& store, const std::string& operation) {
    return "fake " + store + ": " + operation + " failed";
}

void noteCreated(const std::string& label) {
    platform().live.insert(label);
}

void noteReleased(const std::string& label) {
    auto& live = platform().live;
    auto found = live.find(label);
    if (found != live.end()) live.erase(found);
}

}  // namespace fakes
