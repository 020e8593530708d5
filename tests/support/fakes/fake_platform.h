// The fake platform shared by the unit tests of rdcore: one call log that
// every fake object writes to, the scripts that steer the fake repository
// library and the fake step engine, and a count of objects not yet released.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fakes {

class RecordingStore;

// Calls in the order they were made, one line each: "object.call(args)",
// with " -> result" when the call hands out an object. Texts are quoted
// ('text'), a null text is written null, the all-ones id is written -1.
class CallLog {
public:
    void add(const std::string& line) { lines_.push_back(line); }
    const std::vector<std::string>& lines() const { return lines_; }
    // Lines containing part, in order.
    std::vector<std::string> matching(const std::string& part) const;
    // Position of the first line equal to line, or -1.
    int indexOf(const std::string& line) const;
    bool contains(const std::string& line) const { return indexOf(line) >= 0; }
    std::string dump() const;
    void clear() { lines_.clear(); }

private:
    std::vector<std::string> lines_;
};

// The fake repository library (createRepositoryAdmin and its objects).
struct RepadmScript {
    bool createAdminFails = false;
    std::string createAdminError = "fake repadm: no repository admin";
    // openRepository of these names fails with the mapped text.
    std::map<std::string, std::string> failingRepositories;
    // openRepositoryByDsn and createRepositoryByDsn of these DSNs fail with
    // the mapped text.
    std::map<std::string, std::string> failingDsns;
    // The key/values every repository answers; setKeyValue writes here.
    std::map<std::string, std::string> keyValues;
    // getKeyValue of these keys fails with the mapped text (even if present).
    std::map<std::string, std::string> failingKeys;
    // setKeyValue of these keys fails with the mapped text.
    std::map<std::string, std::string> failingKeyWrites;
    // Called on every store as it is created (store1, store2, ... in order).
    std::function<void(RecordingStore&)> onStoreCreated;
};

// One event the fake step engine sends through its callback.
struct StepEvent {
    enum Kind { Message, Debug, Fatal } kind;
    int messageKind;  // for Message
    std::string text;
};

// The fake step engine (createStepEngine and its engine).
struct StepScript {
    bool createFails = false;
    bool initializeFails = false;
    std::string initializeError = "fake qxstep: engine refused to start";
    // Sent through the callback during initialize, before it answers.
    std::vector<StepEvent> eventsOnInitialize;
    // Sent as a debug line at release when not empty.
    std::string debugOnRelease;
};

struct Platform {
    CallLog log;
    RepadmScript repadm;
    StepScript step;
    int admins = 0;
    int repositories = 0;
    int stores = 0;
    int engines = 0;
    // Labels of the objects handed out and not yet released.
    std::multiset<std::string> live;
};

// The one fake platform of the test program.
Platform& platform();
// Forgets every script, count and logged call.
void reset();
inline CallLog& callLog() { return platform().log; }

// Texts the fakes answer on failure, for tests to compare with.
std::string missingKeyText(const std::string& key);
std::string storeFailureText(const std::string& store, const std::string& operation);

// Bookkeeping of the fakes.
void noteCreated(const std::string& label);
void noteReleased(const std::string& label);

}  // namespace fakes
