// Import and export through the rdm command line on the sample code lists,
// against a real repository in a temporary home folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qxbcpp.h"
#include "rdm_runner.h"
#include "repadm.h"
#include "temp_home.h"

namespace {

std::string sample(const std::string& name) { return std::string(RDM_SOURCE_DIR) + "/data/" + name; }

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ImportExport : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(runRdm(home.path(), "repo create demo").status, 0); }
    CommandResult rdm(const std::string& arguments) { return runRdm(home.path(), arguments); }

    TempHome home;
};

TEST_F(ImportExport, EverySampleListRoundTrips) {
    for (const char* file : {"countries-2023.csv", "currencies.csv", "units.csv"}) {
        const std::string domain = std::string("D_") + file;
        const CommandResult imported = rdm("import demo '" + domain + "' '" + sample(file) + "'");
        ASSERT_EQ(imported.status, 0) << imported.output;
        const CommandResult exported = rdm("export demo '" + domain + "'");
        ASSERT_EQ(exported.status, 0) << exported.output;
        EXPECT_EQ(sortedLines(exported.output), sortedLines(readFile(sample(file)))) << file;
    }
}

TEST_F(ImportExport, ExportedJsonImportsBackToTheSameItems) {
    ASSERT_EQ(rdm("import demo Units '" + sample("units.csv") + "'").status, 0);
    const CommandResult json = rdm("export demo Units --format json");
    ASSERT_EQ(json.status, 0) << json.output;
    home.writeFile("units.json", json.output);
    const CommandResult again = rdm("import demo UnitsCopy '" + home.file("units.json") + "'");
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(rdm("export demo UnitsCopy").output, rdm("export demo Units").output);
}

TEST_F(ImportExport, ASecondImportMakesVersionTwoAndLeavesVersionOneAlone) {
    ASSERT_EQ(rdm("import demo Countries '" + sample("countries-2023.csv") + "' --version-label 2023").status, 0);
    ASSERT_EQ(rdm("import demo Countries '" + sample("countries-2024.csv") + "' --version-label 2024").status, 0);

    EXPECT_EQ(sortedLines(rdm("export demo Countries --version 1").output),
              sortedLines(readFile(sample("countries-2023.csv"))));
    EXPECT_EQ(sortedLines(rdm("export demo Countries").output), sortedLines(readFile(sample("countries-2024.csv"))));

    EXPECT_EQ(rdm("has-item demo Countries NO --version 1").status, 0);
    EXPECT_EQ(rdm("has-item demo Countries NO").status, 1) << "removed in version 2";
    EXPECT_EQ(rdm("has-item demo Countries CZ").status, 0) << "added in version 2";
    EXPECT_EQ(rdm("has-item demo Countries CZ --version 1").status, 1);

    const CommandResult versions = rdm("versions demo Countries --format csv");
    EXPECT_NE(versions.output.find("2023"), std::string::npos) << versions.output;
    EXPECT_NE(versions.output.find("2024"), std::string::npos) << versions.output;
}

TEST_F(ImportExport, ABadRowRejectsTheWholeFileAndWritesNothing) {
    ASSERT_EQ(rdm("import demo Countries '" + sample("countries-2023.csv") + "'").status, 0);
    const auto before = tableCounts();
    ASSERT_FALSE(before.empty());

    struct BadFile {
        std::string content;
        const char* reason;
        const char* name = "bad.csv";
    };
    for (const BadFile& bad :
         {BadFile{"key,label,parent\nA,a,\nB,b,\nA,c,\n", ":4: duplicate key 'A'"},
          BadFile{"key,label,parent\nA,a,\nB,b,Z\n", ":3: parent 'Z'"},
          BadFile{"key,label,parent\nA,a,\nB,b\n", ":3: expected 3 fields, found 2"},
          BadFile{"key,label,parent\nA,a,B\nB,b,A\n", "its own ancestor"},
          BadFile{"key,label,parent\n,a,\n", ":2: the key is empty"},
          BadFile{"key,label,v,v\nA,a,1,2\n", ":1: the column 'v' appears twice"},
          BadFile{"key,label,note,note@en\nA,a,1,2\n", "'note' and 'note@en' both hold attribute 'note'"},
          BadFile{"key,label\nA,\"a\n", ":2: a quoted field is not closed"},
          BadFile{std::string("key,label\nA,a\0b\n", 16), ":2: the line holds a NUL byte"},
          BadFile{"key,label\rA,a\rB,b\r", ":1: a CR outside a quoted field"},
          BadFile{"key,label\n" + std::string((1 << 20) + 1, 'k') + "\n", ":2: the line is longer than 1 MiB"},
          BadFile{R"([{"key":"A"},{"key":"a\u0000b"}])", "bad.json:2: field 'key' holds a NUL byte", "bad.json"},
          BadFile{R"([{"key":"A","v":{"x":1}}])", "bad.json:1: field 'v' is not a text or a number", "bad.json"}}) {
        home.writeFile(bad.name, bad.content);
        const CommandResult result = rdm("import demo Countries '" + home.file(bad.name) + "'");
        EXPECT_EQ(result.status, 1) << bad.content.substr(0, 60);
        EXPECT_NE(result.errors.find(bad.reason), std::string::npos) << result.errors;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
    }
    const CommandResult language = rdm("import demo Countries '" + sample("units.csv") + "' --language xx");
    EXPECT_EQ(language.status, 1);
    EXPECT_NE(language.errors.find("xx"), std::string::npos);
    EXPECT_EQ(tableCounts(), before);
}

// Every bad row is found in one run: the terminal shows the first ten, the
// --errors list holds them all in file order, each cycle once.
TEST_F(ImportExport, EveryBadRowIsReportedAndListed) {
    ASSERT_EQ(rdm("import demo Countries '" + sample("countries-2023.csv") + "'").status, 0);
    const auto before = tableCounts();
    std::string file = "key,label,parent\nA,a,\n,empty,\nA,\"again, twice\",\nB,b,Z\nC,c,D\nD,d,C\nE,e,E\n,x,Y\n";
    for (int i = 0; i < 5; ++i) file += "A,dup,\n";  // lines 10 to 14
    home.writeFile("bad.csv", file);

    const CommandResult shown = rdm("import demo Countries '" + home.file("bad.csv") + "'");
    EXPECT_EQ(shown.status, 1);
    EXPECT_EQ(std::count(shown.errors.begin(), shown.errors.end(), '\n'), 11) << shown.errors;
    EXPECT_NE(shown.errors.find("12 errors in "), std::string::npos) << shown.errors;

    const CommandResult listed =
        rdm("import demo Countries '" + home.file("bad.csv") + "' --errors '" + home.file("errors.csv") + "'");
    EXPECT_EQ(listed.status, 1);
    EXPECT_NE(listed.errors.find(home.file("errors.csv")), std::string::npos) << listed.errors;
    EXPECT_EQ(tableCounts(), before);

    struct Expected {
        std::string start;  // line,column,key,
        const char* message;
    };
    std::vector<Expected> expected = {{"3,key,,", "the key is empty"},
                                      {"4,key,A,", "duplicate key 'A' (first on line 2)"},
                                      {"5,parent,B,", "parent 'Z' is not a key of this file"},
                                      {"6,parent,C,", "item 'C' is its own ancestor"},
                                      {"8,parent,E,", "item 'E' is its own ancestor"},
                                      {"9,key,,", "the key is empty"},
                                      {"9,parent,,", "parent 'Y' is not a key of this file"}};
    for (int line = 10; line <= 14; ++line)
        expected.push_back({std::to_string(line) + ",key,A,", "duplicate key 'A'"});
    std::vector<std::string> lines;
    std::stringstream in(readFile(home.file("errors.csv")));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), expected.size() + 1) << readFile(home.file("errors.csv"));
    EXPECT_EQ(lines[0], "line,column,key,message,row");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(lines[i + 1].rfind(expected[i].start, 0), 0u) << lines[i + 1];
        EXPECT_NE(lines[i + 1].find(expected[i].message), std::string::npos) << lines[i + 1];
    }
    EXPECT_NE(lines[2].find(",\"A,\"\"again, twice\"\",\""), std::string::npos) << "the row, quoted twice: " << lines[2];
}

// A file holding what the newest version holds makes no version, unless forced.
TEST_F(ImportExport, AnUnchangedFileMakesNoNewVersionUnlessForced) {
    std::string changed = readFile(sample("units.csv"));
    changed.replace(changed.find("Masse,Masse"), 11, "Masse,Massé");
    home.writeFile("changed.csv", changed);
    struct Step {
        std::string file, options;
        int versions;
        bool unchanged;
    };
    for (const Step& step : {Step{sample("units.csv"), "", 1, false}, Step{sample("units.csv"), "", 1, true},
                             Step{home.file("changed.csv"), "", 2, false}, Step{home.file("changed.csv"), "", 2, true},
                             Step{home.file("changed.csv"), "--force", 3, false}}) {
        const CommandResult result = rdm("import demo Units '" + step.file + "' --quiet " + step.options);
        ASSERT_EQ(result.status, 0) << result.output;
        EXPECT_EQ(result.output.find("version " + std::to_string(step.versions) + " already holds this content") !=
                      std::string::npos,
                  step.unchanged)
            << result.output;
        const CommandResult versions = rdm("versions demo Units --format csv");
        EXPECT_EQ(std::count(versions.output.begin(), versions.output.end(), '\n'), step.versions + 1)
            << step.file << " " << step.options;
    }
}

// A dry run writes nothing and counts what the diff of the real import then
// lists: one item added, one removed, one changed.
TEST_F(ImportExport, ADryRunWritesNothingAndCountsWhatTheDiffThenShows) {
    home.writeFile("v1.csv", "key,label,parent,name@en\na,A,,aa\nb,B,a,bb\nc,C,,cc\n");
    home.writeFile("v2.csv", "key,label,parent,name@en\na,A,,aa\nb,Bee,a,bb\nd,D,,dd\n");
    ASSERT_EQ(rdm("import demo x '" + home.file("v1.csv") + "' --quiet").status, 0);
    const auto before = tableCounts();
    const CommandResult dry = rdm("import demo x '" + home.file("v2.csv") + "' --dry-run");
    ASSERT_EQ(dry.status, 0) << dry.output;
    EXPECT_NE(dry.output.find("version 2 of domain 'x': 1 added, 1 removed, 1 changed"), std::string::npos)
        << dry.output;
    EXPECT_EQ(tableCounts(), before);
    ASSERT_EQ(rdm("import demo x '" + home.file("v2.csv") + "' --quiet").status, 0);
    const CommandResult diff = rdm("diff demo x --format csv");
    EXPECT_NE(diff.output.find("1 added, 1 removed, 1 changed"), std::string::npos) << diff.output;
}

TEST_F(ImportExport, MissingThingsFailWithOneLineAndChangeNothing) {
    const auto before = tableCounts();
    for (const std::string& arguments :
         {std::string("import demo X /nonexistent.csv"), std::string("import nowhere X '") + sample("units.csv") + "'",
          std::string("export demo Nothing"), std::string("export nowhere Nothing"),
          std::string("import demo X '") + sample("units.csv") + "' --account 999"}) {
        const CommandResult result = rdm(arguments);
        EXPECT_EQ(result.status, 1) << arguments;
        EXPECT_EQ(result.errors.rfind("rdm: ", 0), 0u) << result.errors;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
    }
    EXPECT_EQ(tableCounts(), before);
}

// A killed import leaves the repository as it was before it: the writes are
// one transaction, so the state afterwards is "before" or, if the import won
// the race, "after", never anything between.
TEST_F(ImportExport, AKilledImportLeavesNoTrace) {
    std::string big = "key,label,parent,note@de,note\n";
    for (int i = 0; i < 40000; ++i)
        big += "K" + std::to_string(i) + ",Label " + std::to_string(i) + "," + (i > 0 ? "K0" : "") + ",de,en\n";
    home.writeFile("big.csv", big);
    const auto before = tableCounts();

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string rdm = std::string(RDM_BINARY_DIR) + "/rdm";
        execl(rdm.c_str(), "rdm", "--home", home.path().c_str(), "import", "demo", "Big", home.file("big.csv").c_str(),
              "--quiet", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);

    const auto after = tableCounts();
    if (WIFEXITED(status)) {
        ASSERT_EQ(WEXITSTATUS(status), 0) << "the import ended before the kill, so it must have succeeded";
        EXPECT_EQ(rdm("has-item demo Big K39999").status, 0);
    } else {
        EXPECT_EQ(after, before) << "a killed import must leave every table as it was";
        EXPECT_EQ(rdm("domains demo --name Big").status, 1);
    }
    // Either way the repository stays usable.
    EXPECT_EQ(rdm("import demo Small '" + sample("units.csv") + "' --quiet").status, 0);
}

TEST_F(ImportExport, SelectedColumnsAndAJsonFileImport) {
    home.writeFile("codes.json",
                   R"([{"code":"A","name":"Alpha","up":null,"note":"n1","skip":"x"},)"
                   R"({"code":"B","name":"Beta","up":"A","note":"it's \"quoted\"; 100%s","skip":"y"}])");
    const CommandResult result =
        rdm("import demo Codes '" + home.file("codes.json") + "' --key code --label name --parent up --attributes note");
    ASSERT_EQ(result.status, 0) << result.output;
    const CommandResult exported = rdm("export demo Codes");
    EXPECT_EQ(exported.output, "key,label,parent,note\nA,Alpha,,n1\nB,Beta,A,\"it's \"\"quoted\"\"; 100%s\"\n");
}

// A wide file with line breaks, quotes and commas in its values, and
// numbers as JSON writes them, survives import, export and import again.
TEST_F(ImportExport, WideFilesAndMultiLineValuesRoundTripAsWritten) {
    nlohmann::ordered_json items = nlohmann::ordered_json::array();
    for (int row = 0; row < 3; ++row) {
        nlohmann::ordered_json item = {{"key", "K" + std::to_string(row)}, {"label", "l1\nl2, \"quoted\"\n\nl4"}};
        for (int c = 0; c < 1100; ++c) item["c" + std::to_string(c)] = "v" + std::to_string(row) + "." + std::to_string(c);
        items.push_back(std::move(item));
    }
    // Numbers as a person writes them: a 30-digit key, a value with a trailing zero.
    std::string json = items.dump();
    json.replace(json.find("\"K0\""), 4, "123456789012345678901234567890");
    json.replace(json.find("\"v0.7\""), 6, "1.10");
    home.writeFile("wide.json", json);
    ASSERT_EQ(rdm("import demo Wide '" + home.file("wide.json") + "' --quiet").status, 0);
    const CommandResult exported = rdm("export demo Wide");
    ASSERT_EQ(exported.status, 0) << exported.errors;
    EXPECT_EQ(exported.output.rfind("key,label,parent,c0,", 0), 0u);
    EXPECT_NE(exported.output.find(",c1099\n123456789012345678901234567890,\"l1\nl2, \"\"quoted\"\"\n\nl4\",,"),
              std::string::npos);
    EXPECT_NE(exported.output.find(",1.10,"), std::string::npos) << "numbers stay as written";

    home.writeFile("wide.csv", exported.output);
    const CommandResult again = rdm("import demo WideAgain '" + home.file("wide.csv") + "' --quiet");
    ASSERT_EQ(again.status, 0) << again.errors;
    EXPECT_NE(again.output.find("with 3300 values"), std::string::npos) << again.output;
    EXPECT_EQ(rdm("export demo WideAgain").output, exported.output);
}

}  // namespace
