// rdm killed (SIGKILL) at a random moment of an import, a copy and a removal:
// afterwards the database passes SQLite's integrity check and the domain is
// whole (the rows of a clean run) or absent. RDM_CRASH_RUNS sets the
// runs per operation (default 20; scripts/crash runs more), RDM_CRASH_SEED
// repeats a sequence of moments.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "rdm_runner.h"
#include "repadm/sql_driver.h"
#include "temp_home.h"

namespace {

const int kItems = 15000;

int envNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::atoi(text) : fallback;
}

class CrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rdm("repo create demo").status, 0);
        std::string csv = "key,label,parent,note@de,note\n";
        for (int i = 0; i < kItems; ++i)
            csv += "K" + std::to_string(i) + ",Label " + std::to_string(i) + "," + (i > 0 ? "K0" : "") + ",de,en\n";
        home.writeFile("big.csv", csv);
        const unsigned seed = static_cast<unsigned>(envNumber("RDM_CRASH_SEED", static_cast<int>(std::random_device()())));
        random.seed(seed);
        std::printf("crash test seed: RDM_CRASH_SEED=%u\n", seed);
    }

    CommandResult rdm(const std::string& arguments) { return runRdm(home.path(), arguments); }

    // Runs rdm with the arguments and kills it after a random part of
    // window; answers true when the kill came first.
    bool runKilled(const std::vector<std::string>& arguments, std::chrono::microseconds window) {
        const long delay = std::uniform_int_distribution<long>(0, static_cast<long>(window.count()))(random);
        const pid_t child = fork();
        if (child == 0) {
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            std::vector<const char*> argv{"rdm", "--home", home.path().c_str()};
            for (const std::string& argument : arguments) argv.push_back(argument.c_str());
            argv.push_back(nullptr);
            const std::string binary = std::string(RDM_BINARY_DIR) + "/rdm";
            execv(binary.c_str(), const_cast<char* const*>(argv.data()));
            _exit(127);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), 0) << "a run that was not killed succeeds";
        }
        return WIFSIGNALED(status);
    }

    // A clean run of the command, timed: the window the kills fall into.
    std::chrono::microseconds timedRun(const std::string& arguments) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(rdm(arguments).status, 0) << arguments;
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    }

    std::string integrity() {
        std::string error;
        std::unique_ptr<repadm::SqlConnection> connection =
            repadm::openSqliteConnection(home.file("data/demo.db"), &error);
        if (!connection) return error;
        std::unique_ptr<repadm::SqlStatement> check = connection->prepare("PRAGMA integrity_check", &error);
        if (!check || check->step() != 1) return "the check did not run: " + connection->errorText();
        std::size_t length = 0;
        const char* text = check->columnText(0, &length);
        return std::string(text, length);
    }

    // The rows of the domain's items with their values, or -1 when the
    // repository has no such domain.
    int rowCount(const std::string& domain) {
        if (rdm("domains demo --name '" + domain + "'").status != 0) return -1;
        const CommandResult items = rdm("items demo '" + domain + "' --format csv");
        EXPECT_EQ(items.status, 0) << items.output;
        int lines = 0;
        for (const char c : items.output) lines += c == '\n';
        return lines - 1;  // the header
    }

    // After a run: the database is sound and the domain whole (the rows of
    // a clean run) or absent; answers whether it is there.
    bool expectWholeOrAbsent(const std::string& domain, int whole) {
        EXPECT_EQ(integrity(), "ok");
        const int count = rowCount(domain);
        EXPECT_TRUE(count == -1 || count == whole) << domain << " has " << count << " rows, not " << whole;
        return count != -1;
    }

    TempHome home;
    std::mt19937 random;
    const int runs = envNumber("RDM_CRASH_RUNS", 20);
};

TEST_F(CrashTest, AKilledImportCopyOrRemovalLeavesTheDomainWholeOrAbsent) {
    const auto importWindow = timedRun("import demo Big '" + home.file("big.csv") + "' --quiet");
    const int whole = rowCount("Big");
    ASSERT_GE(whole, kItems) << "the clean run";
    const auto copyWindow = timedRun("copy demo Big --name Copy");
    ASSERT_EQ(rowCount("Copy"), whole);
    const auto removeWindow = timedRun("remove demo Copy");
    ASSERT_EQ(rowCount("Copy"), -1);
    int killed = 0;
    for (int run = 0; run < runs; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const std::string name = "Imported" + std::to_string(run);
        killed += runKilled({"import", "demo", name, home.file("big.csv"), "--quiet"}, importWindow);
        expectWholeOrAbsent(name, whole);

        killed += runKilled({"copy", "demo", "Big", "--name", "Copy"}, copyWindow);
        if (!expectWholeOrAbsent("Copy", whole)) {
            ASSERT_EQ(rdm("copy demo Big --name Copy").status, 0);
        }

        killed += runKilled({"remove", "demo", "Copy"}, removeWindow);
        if (expectWholeOrAbsent("Copy", whole)) {
            ASSERT_EQ(rdm("remove demo Copy").status, 0);
        }
    }
    std::printf("%d of %d runs killed before they ended (windows: import %lld, copy %lld, remove %lld ms)\n",
                killed, 3 * runs, static_cast<long long>(importWindow.count() / 1000),
                static_cast<long long>(copyWindow.count() / 1000), static_cast<long long>(removeWindow.count() / 1000));
    EXPECT_EQ(rowCount("Big"), whole) << "the source is never touched";
}

}  // namespace
