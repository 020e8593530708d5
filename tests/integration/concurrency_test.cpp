// Several rdm processes on one repository at once: writers wait for each
// other (and say so once they wait), readers go on, nothing is lost, and the
// versions of one domain are numbered without gaps or duplicates.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "qxbcpp.h"
#include "rdm_runner.h"
#include "repadm.h"
#include "temp_home.h"

namespace {

const int kItems = 3000;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) out.push_back(line);
    return out;
}

// The first field of each line but the header, sorted.
std::vector<std::string> keys(const std::string& csv) {
    std::vector<std::string> out;
    for (const std::string& line : lines(csv)) out.push_back(line.substr(0, line.find(',')));
    if (!out.empty()) out.erase(out.begin());
    std::sort(out.begin(), out.end());
    return out;
}

class Concurrency : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rdm("repo create r").status, 0);
        for (const char* name : {"a", "b"}) {
            std::string csv = "key,label\n";
            for (int i = 0; i < kItems; ++i)
                csv += name + std::to_string(i) + ",label " + std::to_string(i) + "\n";
            home.writeFile(std::string(name) + ".csv", csv);
        }
    }
    CommandResult rdm(const std::string& arguments) { return runRdm(home.path(), arguments); }
    // "rdm ARGUMENTS" as a shell command writing both streams to log, then
    // "exit N"; bounded by timeout.
    std::string job(const std::string& arguments, const std::string& log) const {
        return "(timeout 120 " + std::string(RDM_BINARY_DIR) + "/rdm --home '" + home.path() + "' " +
               arguments + " >'" + home.file(log) + "' 2>&1 </dev/null; echo \"exit $?\" >>'" +
               home.file(log) + "')";
    }
    // Runs the shell commands at once and waits for all of them.
    void together(const std::vector<std::string>& commands) {
        std::string line;
        for (const std::string& command : commands) line += command + " & ";
        runCommand(line + "wait");
    }
    std::string importOf(const char* domain, const char* file, const std::string& log) const {
        return job(std::string("import r ") + domain + " '" + home.file(file) + "'", log);
    }
    // The version numbers of a domain, in order.
    std::vector<std::string> versions(const char* domain) {
        std::vector<std::string> out;
        for (const std::string& line :
             lines(rdm(std::string("versions r ") + domain + " --format csv").output)) {
            std::stringstream fields(line);
            std::string field;
            for (int i = 0; i < 3; ++i) std::getline(fields, field, ',');
            out.push_back(field);
        }
        if (!out.empty()) out.erase(out.begin());
        return out;
    }

    TempHome home;
};

TEST_F(Concurrency, TwoImportsAtOnceBothLandWhole) {
    struct Case {
        const char* first;
        const char* second;
    };
    for (const Case& c : {Case{"A", "B"}, Case{"S", "S"}}) {
        SCOPED_TRACE(std::string(c.first) + " and " + c.second);
        together({importOf(c.first, "a.csv", "1.log"), importOf(c.second, "b.csv", "2.log")});
        for (const char* log : {"1.log", "2.log"}) {
            const std::string output = home.readFile(log);
            EXPECT_NE(output.find("exit 0"), std::string::npos) << output;
            EXPECT_EQ(output.find("locked"), std::string::npos) << output;
        }
        std::set<std::vector<std::string>> landed;
        if (std::string(c.first) == c.second) {
            EXPECT_EQ(versions(c.first), (std::vector<std::string>{"1", "2"}));
            for (const char* version : {"1", "2"})
                landed.insert(keys(rdm(std::string("export r ") + c.first + " --version " + version).output));
        } else {
            for (const char* domain : {c.first, c.second}) {
                EXPECT_EQ(versions(domain), (std::vector<std::string>{"1"}));
                landed.insert(keys(rdm(std::string("export r ") + domain).output));
            }
        }
        const std::set<std::vector<std::string>> files{keys(home.readFile("a.csv")),
                                                       keys(home.readFile("b.csv"))};
        EXPECT_EQ(landed, files);
    }
}

TEST_F(Concurrency, ReadersGoOnWhileAnImportWrites) {
    ASSERT_EQ(rdm("import r R '" + home.file("b.csv") + "'").status, 0);
    std::vector<std::string> commands{importOf("W", "a.csv", "import.log")};
    for (int reader = 0; reader < 8; ++reader) {
        const std::string log = "reader" + std::to_string(reader) + ".log";
        const std::string read = reader % 2 ? "items r R" : "domains r";
        std::string loop = "(for i in 1 2 3 4 5 6 7 8 9 10; do " + job(read, log) + "; grep -q 'exit 0' '" +
                           home.file(log) + "' || cat '" + home.file(log) + "' >>'" +
                           home.file("failed.log") + "'; done)";
        commands.push_back(loop);
    }
    together(commands);
    const std::string output = home.readFile("import.log");
    EXPECT_NE(output.find("exit 0"), std::string::npos) << output;
    EXPECT_EQ(home.readFile("failed.log"), "");
    EXPECT_EQ(keys(rdm("export r W").output), keys(home.readFile("a.csv")));
}

TEST_F(Concurrency, AnImportWaitsForAnotherWriterAndSaysSo) {
    RepositoryAdmin* admin = createRepositoryAdmin(1, 0);
    ASSERT_NE(admin, nullptr);
    Repository* data = admin->openRepositoryByDsn(QxbString("sqlite:data/r.db"), QxbString("kiv_rdm_"), 0, 0);
    ASSERT_NE(data, nullptr);
    RefDataStore* store = data->createStore();
    ASSERT_TRUE(store->beginTransaction(0, 0)) << store->getLastError().asCstr();
    std::thread importer([&] { runCommand(importOf("Late", "a.csv", "late.log")); });
    // The write lock is held until the import says it waits (at most 60 s).
    for (int i = 0; i < 600 && home.readFile("late.log").find("waiting") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(store->endTransaction(true));
    importer.join();
    store->release();
    data->release();
    admin->release();
    const std::vector<std::string> output = lines(home.readFile("late.log"));
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(
        std::count_if(output.begin(), output.end(),
                      [](const std::string& line) { return line.find("waiting") != std::string::npos; }),
        1);
    EXPECT_EQ(output.back(), "exit 0");
    EXPECT_EQ(keys(rdm("export r Late").output), keys(home.readFile("a.csv")));
}

}  // namespace
