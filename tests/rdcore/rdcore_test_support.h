// The fixture the session tests share: a temporary home folder, a log
// capture, a reset fake platform and a fresh session.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RefData.h"
#include "RefDataHandle.h"
#include "fake_platform.h"
#include "log_capture.h"
#include "qxbcpp.h"
#include "recording_store.h"
#include "temp_home.h"

namespace rdtest {

inline QxbString message(const char* module, int code) {
    return qxb_get_message("test", 0, module, code);
}
inline std::string referenceDataMessage(int code) {
    return message("Reference Data", code).str();
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakes::reset();
        session = createReferenceDataSession(0, nullptr);
        ASSERT_NE(session, nullptr);
    }
    void TearDown() override {
        if (session != nullptr) session->release(&handle);
        EXPECT_TRUE(fakes::platform().live.empty()) << liveObjects();
        fakes::reset();
    }

    // The repository's key/values name the data repository.
    void keyValues(const std::string& dsn, const std::string& prefix) {
        fakes::platform().repadm.keyValues["REFDATA_DSN"] = dsn;
        fakes::platform().repadm.keyValues["REFDATA_PREFIX"] = prefix;
    }
    bool openMain() { return session->open(&handle, QxbString("main"), &error); }

    // Lines of the library's logger at one level.
    std::vector<std::string> logged(int level) const {
        std::vector<std::string> texts;
        for (const LogLine& line : log.linesAt(level)) {
            if (line.logger == "QX.RefData") texts.push_back(line.text);
        }
        return texts;
    }
    static std::vector<std::string> calls() { return fakes::callLog().lines(); }
    // The release calls of the call log, in order.
    static std::vector<std::string> releases() { return fakes::callLog().matching(".release()"); }
    static std::string liveObjects() {
        std::string text = "still alive:";
        for (const std::string& label : fakes::platform().live) text += " " + label;
        return text;
    }
    static std::string label(RefDataStore* store) {
        return store != nullptr ? static_cast<fakes::RecordingStore*>(store)->label() : "none";
    }

    TempHome home;
    LogCapture log{1};
    RefData* session = nullptr;
    RefDataHandle* handle = nullptr;
    QxbString error{"untouched"};
};

}  // namespace rdtest
