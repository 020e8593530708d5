// rdm diff through the rdm binary: three imported versions of a domain, the
// rows between any two of them in key order, as CSV and JSON, with the
// summary on standard error; an unknown domain or version fails; versions
// named by the moment they were the newest.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "rdm_runner.h"
#include "temp_home.h"

namespace {

// Version 1; version 2 relabels C, re-parents B, changes A's German note and
// C's English one, removes D and adds E; version 3 adds F.
const char* const kVersion1 =
    "key,label,parent,note,note@de\nA,Alpha,,a,a-alt\nB,Beta,A,b,\nC,Gamma,,c,\nD,Delta,,d,\n";
const char* const kVersion2 =
    "key,label,parent,note,note@de\nA,Alpha,,a,a-neu\nB,Beta,C,b,\nC,\"Gamma, new\",,c2,\nE,Epsilon,,e,\n";
const std::string kVersion3 = std::string(kVersion2) + "F,Phi,,,\n";

// The rows of each difference, as CSV lines.
const std::vector<std::string> kFirstToSecond = {
    "A,changed,note@de,a-alt,a-neu", "B,changed,parent,A,C", "C,changed,label,Gamma,\"Gamma, new\"",
    "C,changed,note@en,c,c2",        "D,removed,,,",         "E,added,,,"};
const std::string kFAdded = "F,added,,,";

std::string csv(const std::vector<std::string>& rows) {
    std::string text = "KEY,CHANGE,FIELD,OLD,NEW\n";
    for (const std::string& row : rows) text += row + "\n";
    return text;
}

class DiffCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rdm("repo create demo").status, 0);
        for (const std::string& content : {std::string(kVersion1), std::string(kVersion2), kVersion3}) {
            home.writeFile("codes.csv", content);
            const CommandResult imported = rdm("import demo Codes '" + home.file("codes.csv") + "' --quiet");
            ASSERT_EQ(imported.status, 0) << imported.output;
        }
    }
    CommandResult rdm(const std::string& arguments) { return runRdm(home.path(), arguments); }
    TempHome home;
};

TEST_F(DiffCommand, ListsTheChangesBetweenTwoVersions) {
    std::vector<std::string> firstToThird = kFirstToSecond;
    firstToThird.push_back(kFAdded);
    struct Case {
        std::string arguments;
        std::vector<std::string> rows;
        const char* summary;
    };
    for (const Case& c : {
             Case{"Codes", {kFAdded}, "1 added, 0 removed, 0 changed"},
             Case{"Codes --to 2", kFirstToSecond, "1 added, 1 removed, 3 changed"},
             Case{"'#1' --from 1 --to 2", kFirstToSecond, "1 added, 1 removed, 3 changed"},
             Case{"Codes --from 1", firstToThird, "2 added, 1 removed, 3 changed"},
             Case{"Codes --from 2 --to 2", {}, "0 added, 0 removed, 0 changed"},
         }) {
        const CommandResult result = rdm("diff demo " + c.arguments + " --format csv");
        ASSERT_EQ(result.status, 0) << c.arguments << ": " << result.errors;
        EXPECT_EQ(result.errors, std::string(c.summary) + "\n") << c.arguments;
        EXPECT_EQ(result.output, csv(c.rows) + result.errors) << c.arguments;
    }

    // JSON: the same rows, with no old or new value where there is none.
    const CommandResult json = rdm("diff demo Codes --from 1 --to 2 --format json");
    ASSERT_EQ(json.status, 0) << json.output;
    const nlohmann::json rows =
        nlohmann::json::parse(json.output.substr(0, json.output.size() - json.errors.size()));
    ASSERT_EQ(rows.size(), kFirstToSecond.size()) << json.output;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string& line = kFirstToSecond[i];
        const std::size_t comma = line.find(',');
        EXPECT_EQ(rows[i]["KEY"], line.substr(0, comma)) << json.output;
        EXPECT_EQ(rows[i]["CHANGE"], line.substr(comma + 1, line.find(',', comma + 1) - comma - 1))
            << json.output;
    }
    EXPECT_EQ(rows[2],
              nlohmann::json::parse(
                  R"({"KEY":"C","CHANGE":"changed","FIELD":"label","OLD":"Gamma","NEW":"Gamma, new"})"));
    EXPECT_TRUE(rows[4]["OLD"].is_null() && rows[4]["NEW"].is_null()) << rows[4];
}

// A failure is one line on standard error, with no rows and no summary.
TEST_F(DiffCommand, FailuresAreOneLineWithoutASummary) {
    for (const char* arguments : {"Codes --to 4", "Codes --from 9", "Nope", "'#99'", "Codes >/dev/full"}) {
        const CommandResult result = rdm(std::string("diff demo ") + arguments + " --format csv");
        EXPECT_EQ(result.status, 1) << arguments;
        EXPECT_EQ(result.output, result.errors) << arguments << ": nothing on standard output";
        EXPECT_EQ(result.errors.rfind("rdm: ", 0), 0u) << arguments << ": " << result.errors;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1)
            << arguments << ": " << result.errors;
    }
    EXPECT_EQ(rdm("diff demo Codes --from -1").status, 2);
}

// --at, --from-at and --to-at read the version that was the newest at a
// moment; the moments are the creation times `rdm versions` reports (imports
// in the same second tie, and the greater number wins) and the end of a day.
TEST_F(DiffCommand, ReadsTheVersionThatWasNewestAtAMoment) {
    const CommandResult listed = rdm("versions demo Codes --format json");
    ASSERT_EQ(listed.status, 0) << listed.output;
    const nlohmann::json versions = nlohmann::json::parse(listed.output);
    ASSERT_EQ(versions.size(), 3u) << listed.output;
    std::vector<std::string> created;
    for (const nlohmann::json& version : versions) created.push_back(version["CREATED"].get<std::string>());
    const std::string lastDay = created[2].substr(0, 10);

    struct Case {
        std::string moment;
        int version;
    };
    std::vector<Case> cases = {{lastDay, 3}};
    for (int i = 0; i < 3; ++i) {
        int newest = i + 1;
        while (newest < 3 && created[static_cast<std::size_t>(newest)] == created[static_cast<std::size_t>(i)])
            ++newest;
        const std::string& at = created[static_cast<std::size_t>(i)];
        cases.push_back({at, newest});
        cases.push_back({at.substr(0, 10) + "T" + at.substr(11) + "Z", newest});
    }
    for (const Case& c : cases) {
        const std::string at = " '" + c.moment + "'";
        const CommandResult items = rdm("items demo Codes --format json --at" + at);
        ASSERT_EQ(items.status, 0) << c.moment << ": " << items.output;
        const nlohmann::json rows = nlohmann::json::parse(items.output);
        ASSERT_FALSE(rows.empty()) << c.moment;
        for (const nlohmann::json& row : rows) EXPECT_EQ(row["DOMAIN_VERSION"], c.version) << c.moment;
        EXPECT_EQ(rdm("export demo Codes --at" + at).output,
                  rdm("export demo Codes --version " + std::to_string(c.version)).output)
            << c.moment;
        EXPECT_EQ(rdm("diff demo Codes --format csv --from-at" + at + " --to-at " + lastDay).output,
                  rdm("diff demo Codes --format csv --to 3 --from " + std::to_string(c.version)).output)
            << c.moment;
    }

    const CommandResult early = rdm("export demo Codes --at 2000-01-01");
    EXPECT_EQ(early.status, 1);
    EXPECT_EQ(early.output, "rdm: domain 'Codes' has no version at 2000-01-01; its first version is from " +
                                created[0] + "\n");
    for (const char* arguments : {"items demo Codes --at 2026-02-30", "export demo Codes --at 2026-12-08T9:00",
                                  "diff demo Codes --to-at yesterday", "items demo Codes --at 2026-12-08 --version 1"})
        EXPECT_EQ(rdm(arguments).status, 2) << arguments;
}

}  // namespace
