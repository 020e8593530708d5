// Countdown fault injection on a real SQLite file: for every write
// operation, fail its call N (N = 1, 2, ... until it succeeds) and check
// that it reports the failure, leaves every table's rows as they were and
// leaks no statement. The library's operations run in this process; the
// import runs as an rdm child process armed through the environment.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "RefData.h"
#include "RefDataAdmin.h"
#include "RefDataAdminEx.h"
#include "RefDataHandle.h"
#include "rdm_runner.h"
#include "repadm.h"
#include "repadm/fault_driver.h"
#include "temp_home.h"

namespace {

namespace fault = repadm::fault;
using Dump = std::map<std::string, std::vector<std::string>>;

const char kPrefix[] = "kiv_rdm_";

// Every row of every table (sqlite_sequence included), rows sorted; REAL
// values (the stamped dates) are masked when maskReals is set.
Dump dumpDatabase(const std::string& path, bool maskReals) {
    Dump dump;
    std::string error;
    std::unique_ptr<repadm::SqlConnection> connection = repadm::openSqliteConnection(path, &error);
    EXPECT_TRUE(connection) << error;
    if (!connection) return dump;
    std::vector<std::string> tables;
    auto names = connection->prepare("SELECT name FROM sqlite_master WHERE type = 'table'", &error);
    EXPECT_TRUE(names) << error;
    while (names && names->step() == 1) {
        std::size_t length = 0;
        const char* name = names->columnText(0, &length);
        tables.emplace_back(name, length);
    }
    names.reset();
    for (const std::string& table : tables) {
        auto rows = connection->prepare("SELECT * FROM \"" + table + "\"", &error);
        EXPECT_TRUE(rows) << error;
        std::vector<std::string>& lines = dump[table];
        while (rows && rows->step() == 1) {
            std::string line;
            for (int i = 0; i < rows->columnCount(); ++i) {
                std::size_t length = 0;
                switch (rows->columnType(i)) {
                    case repadm::SqlType::Null:
                        line += "|null";
                        break;
                    case repadm::SqlType::Integer:
                        line += "|" + std::to_string(rows->columnInt(i));
                        break;
                    case repadm::SqlType::Real:
                        line += maskReals ? "|real" : "|" + std::to_string(rows->columnDouble(i));
                        break;
                    default: {
                        const char* text = rows->columnText(i, &length);
                        line += "|'" + std::string(text, length) + "'";
                    }
                }
            }
            lines.push_back(line);
        }
        std::sort(lines.begin(), lines.end());
    }
    return dump;
}

// The tables whose rows differ, for a failure message.
std::string differences(const Dump& expected, const Dump& actual) {
    std::string tables;
    for (const auto& entry : expected) {
        const auto found = actual.find(entry.first);
        if (found == actual.end() || found->second != entry.second) tables += " " + entry.first;
    }
    for (const auto& entry : actual)
        if (expected.count(entry.first) == 0) tables += " +" + entry.first;
    return tables.empty() ? " none" : tables;
}

// An operation of the library on an open handle; true when it succeeded.
using Operation = std::function<bool(RefDataAdmin*, RefDataHandle*)>;

// What may be left after a failure: "before" only; or also the state of an
// operation whose store calls each commit alone and whose change record
// (the last write) failed; or, for an operation made of several such
// steps, any state from which a second run completes it (change records of
// the failed steps excepted).
enum class Partial { None, AllButChangeRecord, Resumable };

class FaultCountdownTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { fault::enable(); }

    void SetUp() override {
        rdm("repo create demo");
        writeFile("colours.csv",
                  "key,label,parent,name@en,name@de,shade\n"
                  "red,Red,,red,rot,warm\nblue,Blue,,blue,blau,cold\nnavy,Navy,blue,navy,marine,\n");
        writeFile("colours2.csv", "key,label,parent,name@en,shade\nred,Red,,red,hot\ngreen,Green,,green,\n");
        rdm("import demo colours " + home.file("colours.csv") + " --quiet");
        rdm("import demo colours " + home.file("colours2.csv") + " --quiet");
        rdm("copy demo colours --name tints");  // shares version 2's values
        database = home.file("data/demo.db");
        // An attribute that nothing uses, for deleteAttribute.
        openSession();
        ASSERT_TRUE(admin->createAttribute(handle, QxbString("spare"), QxbString("Spare"),
                                           QxbString("SINGLELINETEXT"), QxbString("DEFAULT"), 1, 1, &spare))
            << handle->errorText.asCstr();
        closeSession();
        std::filesystem::copy_file(database, pristine());
    }
    void TearDown() override { closeSession(); }

    void rdm(const std::string& arguments) {
        const CommandResult result = runRdm(home.path(), arguments);
        ASSERT_EQ(result.status, 0) << arguments << ": " << result.output;
    }
    void writeFile(const std::string& name, const std::string& content) { home.writeFile(name, content); }
    std::string pristine() const { return home.file("pristine.db"); }

    void openSession() {
        QxbString error;
        session = createReferenceDataSession(0, &error);
        ASSERT_NE(session, nullptr);
        ASSERT_TRUE(session->open(&handle, QxbString("demo"), &error)) << error.asCstr();
        admin = session->getAdmin(handle);
    }
    void closeSession() {
        if (session != nullptr) session->release(&handle);
        session = nullptr;
    }
    // Back to the state before the operation (no connection is open).
    void restore() {
        std::filesystem::remove(database + "-wal");
        std::filesystem::remove(database + "-shm");
        std::filesystem::copy_file(pristine(), database, std::filesystem::copy_options::overwrite_existing);
    }

    // The state a clean run leaves, with dates masked.
    Dump cleanRun(const std::function<bool(long)>& run) {
        EXPECT_TRUE(run(LONG_MAX)) << "the operation fails without a fault: " << lastOutput;
        Dump after = dumpDatabase(database, true);
        restore();
        return after;
    }

    // The clean run's state without its change record (dates masked): the
    // record's row and the change records' place in the id sequences are
    // those of before.
    Dump withoutChangeRecord(const Dump& after) {
        const std::string records = std::string(kPrefix) + "change_records";
        const Dump before = dumpDatabase(database, true);
        Dump partial = after;
        partial[records] = before.at(records);
        auto restoreLine = [&](const std::string& table, const std::string& start) {
            std::vector<std::string>& lines = partial[table];
            auto starts = [&](const std::string& line) { return line.compare(0, start.size(), start) == 0; };
            lines.erase(std::remove_if(lines.begin(), lines.end(), starts), lines.end());
            for (const std::string& line : before.at(table))
                if (starts(line)) lines.push_back(line);
            std::sort(lines.begin(), lines.end());
        };
        restoreLine(std::string(kPrefix) + "id_sequences", "|'change_records'|");
        return partial;
    }

    static Dump withoutChangeRecords(Dump dump) {
        dump.erase(std::string(kPrefix) + "change_records");
        dump.erase(std::string(kPrefix) + "id_sequences");
        return dump;
    }

    // Fails call N = 1, 2, ... of run(N) until a run meets no fault; each
    // run must fail and leave "before" (or the allowed partial state), or
    // succeed with the whole effect. Answers the number of points covered.
    long countdown(const std::string& name, Partial partial, const std::function<bool(long)>& run) {
        restore();
        const Dump before = dumpDatabase(database, false);
        const Dump after = cleanRun(run);
        EXPECT_FALSE(after == dumpDatabase(database, true))
            << name << " changes nothing: the countdown proves nothing";
        const Dump allowed = partial == Partial::AllButChangeRecord ? withoutChangeRecord(after) : Dump();
        long points = 0, swallowed = 0;
        for (long n = 1; n < 100000; ++n) {
            const bool ok = run(n);
            const Dump now = dumpDatabase(database, false);
            if (!lastFired) {
                const Dump masked = dumpDatabase(database, true);
                EXPECT_TRUE(ok) << name << " fails without a fault: " << lastOutput;
                EXPECT_TRUE(masked == after)
                    << name << " differs from a clean run in" << differences(after, masked);
                break;
            }
            ++points;
            if (ok) {
                ++swallowed;
                const Dump masked = dumpDatabase(database, true);
                EXPECT_TRUE(masked == after) << name << ": the fault at call " << n
                                             << " was swallowed and success answered with a partial effect;"
                                             << " differing tables:" << differences(after, masked);
            } else if (now != before && partial == Partial::Resumable) {
                EXPECT_TRUE(run(LONG_MAX)) << name << " cannot be run again after the fault at call " << n;
                EXPECT_TRUE(withoutChangeRecords(dumpDatabase(database, true)) == withoutChangeRecords(after))
                    << name << ": a second run after the fault at call " << n << " differs in"
                    << differences(withoutChangeRecords(after),
                                   withoutChangeRecords(dumpDatabase(database, true)));
            } else if (now != before) {
                const Dump masked = dumpDatabase(database, true);
                EXPECT_TRUE(partial != Partial::None && masked == allowed)
                    << name << ": the fault at call " << n << " (" << lastOutput
                    << ") changed the database; differing tables:" << differences(before, now);
            }
            if (now != before) restore();
        }
        std::printf("[ fault    ] %s: %ld injection points, %ld faults swallowed\n", name.c_str(), points,
                    swallowed);
        RecordProperty(name + "_points", static_cast<int>(points));
        return points;
    }

    // A library operation as a countdown run: the session opens before the
    // countdown is armed and closes after, so the count covers the operation.
    long libraryCountdown(const std::string& name, Operation operation, Partial partial = Partial::None) {
        return countdown(name, partial, [this, operation](long n) {
            openSession();
            fault::arm(n);
            const bool ok = operation(admin, handle);
            fault::disarm();
            lastFired = fault::fired();
            lastOutput = handle->errorText.str();
            closeSession();
            EXPECT_EQ(fault::liveStatements(), 0) << "a statement or result set leaked at call " << n;
            EXPECT_EQ(fault::liveConnections(), 0) << "a connection leaked at call " << n;
            return ok;
        });
    }

    TempHome home;
    std::string database;
    RefData* session = nullptr;
    RefDataHandle* handle = nullptr;
    RefDataAdmin* admin = nullptr;
    unsigned spare = 0;
    bool lastFired = false;
    std::string lastOutput;
};

// Domains: 1 colours (versions 1 and 2), 2 tints (version 3, a copy of 2).
TEST_F(FaultCountdownTest, EveryLibraryWriteFailsWholeAtEveryCall) {
    long points = 0;
    points += libraryCountdown("copyDomain", [](RefDataAdmin* a, RefDataHandle* h) {
        unsigned copy = 0;
        return a->copyDomain(h, 1, 1, &copy);
    });
    points += libraryCountdown("removeDomain",
                               [](RefDataAdmin* a, RefDataHandle* h) { return a->removeDomain(h, 1, 1); });
    points += libraryCountdown("removeDomainVersion", [](RefDataAdmin* a, RefDataHandle* h) {
        return a->removeDomainVersion(h, 2, 1);
    });
    points += libraryCountdown("createAccount", [](RefDataAdmin* a, RefDataHandle* h) {
        unsigned id = 0;
        return a->createAccount(h, QxbString("Ann"), QxbString("ann"), QxbString("A"), QxbString("USER"), 1,
                                &id);
    });
    points += libraryCountdown("createAttribute", [](RefDataAdmin* a, RefDataHandle* h) {
        unsigned id = 0;
        return a->createAttribute(h, QxbString("weight"), QxbString("Weight"), QxbString("NUMBER"),
                                  QxbString("DEFAULT"), 1, 1, &id);
    });
    const unsigned attribute = spare;
    points += libraryCountdown(
        "deleteAttribute",
        [attribute](RefDataAdmin* a, RefDataHandle* h) { return a->deleteAttribute(h, attribute, 1); },
        Partial::AllButChangeRecord);
    points += libraryCountdown(
        "addItem",
        [](RefDataAdmin* a, RefDataHandle* h) {
            unsigned id = 0;
            return a->addItem(h, QxbString("white"), QxbString("White"), true, true, QxbString(), 1, &id);
        },
        Partial::AllButChangeRecord);
    points += libraryCountdown("forwardStoreWrite", [](RefDataAdmin* a, RefDataHandle* h) {
        const QxbString text("crimson");
        const unsigned version = 1;
        unsigned id = 0;
        return a->forwardStoreWrite(h, 1, &text, &id, 1, &version, nullptr);
    });
    points += libraryCountdown(
        "removeVersionItemTexts",
        [](RefDataAdmin* a, RefDataHandle* h) { return a->removeVersionItemTexts(h, 1, 0, 1, 2); },
        Partial::Resumable);
    std::printf("[ fault    ] library writes: %ld injection points\n", points);
    RecordProperty("injection_points", static_cast<int>(points));
}

// The session is opened and edited before the countdown is armed, so the
// count covers the commit alone; a failed commit keeps the session open.
TEST_F(FaultCountdownTest, ACommitFailsWholeAtEveryCallAndKeepsTheSession) {
    const long points = countdown("commitDomainEdit", Partial::None, [this](long n) {
        openSession();
        RefDataAdminEx* ex = session->getAdminEx(handle);
        const bool edited =
            ex->beginNewDomainVersion(handle, 1, QxbString(), QxbString(), false, 1, QxbString("edited")) &&
            ex->editAddItem(handle, "white", "White", "") && ex->editSetItemValue(handle, "white", "name", "en", "white") &&
            ex->editRelabelItem(handle, "red", "Scarlet") && ex->editAddDomainAttribute(handle, "hue", "Hue") &&
            ex->editSetItemValue(handle, "red", "hue", "en", "warm") && ex->editRemoveItem(handle, "green");
        EXPECT_TRUE(edited) << handle->errorText.asCstr();
        fault::arm(n);
        const bool ok = ex->commitDomainEdit(handle, QxbString(), nullptr, nullptr, nullptr);
        fault::disarm();
        lastFired = fault::fired();
        lastOutput = handle->errorText.str();
        if (!ok) {
            EXPECT_NE(handle->currentDomain, nullptr) << "the commit failed at call " << n << " ended the session";
        }
        closeSession();
        EXPECT_EQ(fault::liveStatements(), 0) << "a statement or result set leaked at call " << n;
        return ok;
    });
    EXPECT_GT(points, 0);
}

TEST_F(FaultCountdownTest, AnImportFailsWholeAtEveryCall) {
    writeFile("colours3.csv",
              "key,label,parent,name@en,name@fr,size\nred,Red,,red,rouge,L\nblack,Black,,black,noir,S\n");
    const std::string command = std::string(RDM_BINARY_DIR) + "/rdm --home '" + home.path() +
                                "' import demo colours '" + home.file("colours3.csv") + "' --quiet 2>&1";
    const long points = countdown("rdm import", Partial::None, [this, command](long n) {
        const std::string armed =
            n == LONG_MAX ? "" : std::string(fault::kEnvironmentVariable) + "=" + std::to_string(n) + " ";
        const CommandResult result = runCommand(armed + command);
        lastOutput = result.output;
        lastFired = lastOutput.find("repadm: injected fault") != std::string::npos;
        return result.status == 0;
    });
    EXPECT_GT(points, 0);
}

}  // namespace
