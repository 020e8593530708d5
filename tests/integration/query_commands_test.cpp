// The query commands of rdm end to end: output, formats and exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "RefData.h"
#include "RefDataAdmin.h"
#include "RefDataHandle.h"
#include "rdm_runner.h"
#include "repadm/sql_driver.h"
#include "temp_home.h"

namespace {

std::string sample(const std::string& name) { return std::string(RDM_SOURCE_DIR) + "/data/" + name; }

class QueryCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rdm("repo create demo").status, 0);
        ASSERT_EQ(rdm("import demo Currencies '" + sample("currencies.csv") + "'").status, 0);
    }
    CommandResult rdm(const std::string& arguments) { return runRdm(home.path(), arguments); }
    TempHome home;
};

TEST_F(QueryCommands, DomainsListsEveryDomainWithItsNewestVersion) {
    ASSERT_EQ(rdm("import demo \"Odd 'name' 100%s\" '" + sample("units.csv") + "'").status, 0);
    const CommandResult all = rdm("domains demo --format csv");
    ASSERT_EQ(all.status, 0) << all.output;
    EXPECT_NE(all.output.find("Currencies"), std::string::npos);
    EXPECT_NE(all.output.find("Odd 'name' 100%s"), std::string::npos) << all.output;

    const CommandResult one = rdm("domains demo --name \"Odd 'name' 100%s\" --format json");
    ASSERT_EQ(one.status, 0) << one.output;
    EXPECT_EQ(one.output.find("Currencies"), std::string::npos);
    EXPECT_NE(one.output.find("\"NAME\":\"Odd 'name' 100%s\""), std::string::npos) << one.output;

    const CommandResult missing = rdm("domains demo --name Nope");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.errors.find("[Nope]"), std::string::npos) << missing.errors;
}

TEST_F(QueryCommands, ItemsAtAVersionAndTheirErrors) {
    const CommandResult items = rdm("items demo Currencies --format csv");
    ASSERT_EQ(items.status, 0) << items.output;
    EXPECT_NE(items.output.find(",EUR,Euro,"), std::string::npos) << items.output;

    const CommandResult version = rdm("items demo Currencies --version 7");
    EXPECT_EQ(version.status, 1);
    EXPECT_NE(version.errors.find("7"), std::string::npos) << version.errors;
    EXPECT_NE(version.errors.find("Currencies"), std::string::npos) << version.errors;

    const CommandResult domain = rdm("items demo Nothing");
    EXPECT_EQ(domain.status, 1);
    EXPECT_NE(domain.errors.find("Nothing"), std::string::npos);
}

TEST_F(QueryCommands, HasItemAnswersByExitStatus) {
    EXPECT_EQ(rdm("has-item demo Currencies CHF").status, 0);
    EXPECT_EQ(rdm("has-item demo Currencies chf").status, 1) << "keys compare exactly";
    EXPECT_EQ(rdm("has-item demo Currencies XXX").status, 1);
    EXPECT_EQ(rdm("has-item demo Nothing CHF").status, 2);
    EXPECT_EQ(rdm("has-item nowhere Currencies CHF").status, 2);
}

// has-item answers what a walk over the item rows answers (the key in
// column 1; an item without a key shows as the empty key), at the newest
// and at older versions, directly and in data-server mode.
TEST_F(QueryCommands, HasItemAgreesWithTheItemRows) {
    home.writeFile("v1.csv", "key,label,name@en\nA,Alpha,a\nb,Beta,b\n\xc3\x84,Umlaut,u\n");
    home.writeFile("v2.csv", "key,label,name@en\nA,Alpha,a\nC,Gamma,c\n\xc3\x84,Umlaut,u\n");
    ASSERT_EQ(rdm("import demo D " + home.file("v1.csv")).status, 0);
    ASSERT_EQ(rdm("import demo D " + home.file("v2.csv")).status, 0);
    {
        // Items without a key (empty, NULL) are not made by rdm; the store holds them.
        std::string error;
        auto db = repadm::openSqliteConnection(home.file("data/demo.db"), &error);
        ASSERT_TRUE(db) << error;
        ASSERT_TRUE(db->execute(
            "INSERT INTO kiv_rdm_items (ID, ITEM_KEY, ITEM_TEXT) VALUES (900, '', 'empty'), (901, NULL, 'none');"
            "INSERT INTO kiv_rdm_version_items (ID, VERSION_ID, ITEM_ID, POSITION, LABEL) "
            "SELECT i.ID, v.ID, i.ID, 9, i.ITEM_TEXT FROM kiv_rdm_items i, kiv_rdm_domain_versions v "
            "JOIN kiv_rdm_domains d ON d.ID = v.DOMAIN_ID WHERE d.NAME = 'D' AND "
            "((i.ID = 900 AND v.VERSION_NUMBER = 1) OR (i.ID = 901 AND v.VERSION_NUMBER = 2));",
            &error))
            << error;
    }
    int answers = 0, found = 0;
    for (const bool dataServer : {false, true}) {
        if (dataServer) home.writeConfig("[REFDATA]\nDATASERVER = true\nDSN = \"sqlite:data/demo.db\"\n");
        for (const char* version : {"0", "1", "2"}) {
            const CommandResult items = rdm(std::string("items demo D --format csv --version ") + version);
            ASSERT_EQ(items.status, 0) << items.output;
            for (const std::string key : {"A", "a", "b", "C", "c", "\xc3\x84", "\xc3\xa4", "", " A", "Z"}) {
                bool listed = false;
                std::size_t start = items.output.find('\n') + 1;
                for (std::size_t end; (end = items.output.find('\n', start)) != std::string::npos; start = end + 1) {
                    const std::string line = items.output.substr(start, end - start);
                    const std::size_t first = line.find(',');
                    listed = listed || line.compare(first + 1, line.find(',', first + 1) - first - 1, key) == 0;
                }
                const std::string what = "key '" + key + "' at version " + version + (dataServer ? " (data server)" : "");
                EXPECT_EQ(rdm("has-item demo D '" + key + "' --version " + version).status, listed ? 0 : 1) << what;
                ++answers;
                found += listed;
            }
        }
    }
    EXPECT_EQ(found, 2 * 12) << "A and \xc3\x84 in three versions, b and the empty key in two, C in two";
    EXPECT_EQ(answers, 60);
}

TEST_F(QueryCommands, FieldsOfADelimitedFile) {
    home.writeFile("in.csv", "code;\"name; long\";region\nx;y;z\n");
    const CommandResult fields = rdm("fields '" + home.file("in.csv") + "' --separator ';' --format csv");
    ASSERT_EQ(fields.status, 0) << fields.output;
    EXPECT_EQ(fields.output, "NAME,POSITION\ncode,0\nname; long,1\nregion,2\n");

    const CommandResult viaLibrary =
        rdm("fields '" + home.file("in.csv") + "' --separator ';' --format csv --repository demo");
    EXPECT_EQ(viaLibrary.output, fields.output) << viaLibrary.errors;

    home.writeFile("empty.csv", "");
    EXPECT_EQ(rdm("fields '" + home.file("empty.csv") + "' --repository demo").status, 1);
    const CommandResult empty = rdm("fields '" + home.file("empty.csv") + "'");
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.errors.find("empty"), std::string::npos);
    EXPECT_EQ(rdm("fields '" + home.file("missing.csv") + "'").status, 1);

    const CommandResult endless = rdm("fields /dev/zero");
    EXPECT_EQ(endless.status, 1);
    EXPECT_EQ(endless.errors, "rdm: the first line of /dev/zero is longer than 1 MiB\n");
    const CommandResult endlessViaLibrary = rdm("fields /dev/zero --repository demo");
    EXPECT_EQ(endlessViaLibrary.status, 1);
    EXPECT_NE(endlessViaLibrary.errors.find("longer than 1 MiB"), std::string::npos) << endlessViaLibrary.errors;
    EXPECT_NE(endlessViaLibrary.errors.find("/dev/zero"), std::string::npos) << endlessViaLibrary.errors;
}

TEST_F(QueryCommands, SourcesMaskPasswords) {
    home.writeConfig("[datasources.central]\nconnection = \"postgresql://ann:secret@db/ref\"\n"
                     "driver = \"postgresql\"\ndescription = \"shared\"\n");
    const CommandResult sources = rdm("sources --format csv");
    ASSERT_EQ(sources.status, 0) << sources.output;
    EXPECT_EQ(sources.output.find("secret"), std::string::npos);
    EXPECT_NE(sources.output.find("central,postgresql://ann:****@db/ref,postgresql,shared"), std::string::npos)
        << sources.output;
    EXPECT_EQ(rdm("sources --format csv --repository demo").output, sources.output);
}

TEST_F(QueryCommands, AMalformedConfigurationIsAClearError) {
    home.writeConfig("[REFDATA\nDSN=");
    const CommandResult result = rdm("domains demo");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.errors.find("config.toml"), std::string::npos) << result.errors;
}

}  // namespace

namespace {

// Every command given something that does not exist fails with one line.
TEST_F(QueryCommands, EveryCommandReportsWhatIsMissingInOneLine) {
    for (const char* arguments :
         {"repo show nope", "domains nope", "domains demo --name nope", "versions demo nope", "items demo nope",
          "items demo Currencies --version 9", "export demo nope", "export demo Currencies --version 9",
          "import nope X /dev/null", "fields /nonexistent.csv",
          "step RDM_ITEM_LIST --repository nope --param DOM_VAL=Currencies",
          "step RDM_ITEM_LIST --repository demo --param DOM_VAL=nope", "step NOPE --repository demo",
          "discover RDM_ITEM_LIST --repository nope", "copy demo nope", "remove demo nope", "remove-version demo 99",
          "accounts nope", "connection nope", "history demo nope", "items demo Currencies --bogus"}) {
        const CommandResult result = rdm(arguments);
        EXPECT_NE(result.status, 0) << arguments;
        EXPECT_EQ(result.errors.rfind("rdm: ", 0), 0u) << arguments << ": " << result.errors;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << arguments << ": " << result.errors;
    }
    EXPECT_EQ(rdm("has-item demo Currencies CHF").status, 0) << "nothing above changed the repository";
}

}  // namespace

namespace {

// Output that does not reach its file is a failure, however small.
TEST_F(QueryCommands, OutputThatCannotBeWrittenFailsTheCommand) {
    for (const char* arguments : {"export demo Currencies", "export demo Currencies --format json",
                                  "items demo Currencies --format csv", "items demo --format json",
                                  "domains demo --format table", "history demo", "repo show demo", "repo list"}) {
        const CommandResult result = rdm(std::string(arguments) + " >/dev/full");
        EXPECT_EQ(result.status, 1) << arguments;
        EXPECT_EQ(result.errors, "rdm: the output could not be written: " + std::string(std::strerror(ENOSPC)) + "\n")
            << arguments;
    }
}

// Data and messages reach a terminal with their control characters escaped.
TEST_F(QueryCommands, ControlCharactersAreShownEscaped) {
    home.writeFile("odd.csv", "key,label\nA,\"red\x1b[31m\xc2\x9b" "2J\nnext\tcol\"\n");
    ASSERT_EQ(rdm("import demo Odd '" + home.file("odd.csv") + "'").status, 0);
    const CommandResult table = rdm("items demo Odd --format table");
    EXPECT_NE(table.output.find(" red\\x1b[31m\\u009b2J\\nnext\\tcol "), std::string::npos) << table.output;
    const CommandResult error = rdm("domains demo --name \"$(printf 'x\\033[2J')\"");
    EXPECT_EQ(error.status, 1);
    EXPECT_NE(error.errors.find("x\\x1b[2J"), std::string::npos) << error.errors;
    for (const std::string& text : {table.output, error.output})
        EXPECT_EQ(text.find_first_of("\x1b\x9b"), std::string::npos);
    EXPECT_NE(rdm("export demo Odd").output.find("red\x1b[31m"), std::string::npos) << "CSV keeps the data as it is";
}

// Names that would read as "#ID", are empty or hold control characters
// never become domains; a name two domains share is not guessed at.
TEST_F(QueryCommands, DomainNamesAreUnambiguous) {
    for (const char* name : {"'#12'", "''", "\"$(printf 'a\\tb')\"", "\"$(printf 'a\\033[31m')\""}) {
        const CommandResult import = rdm(std::string("import demo ") + name + " '" + sample("units.csv") + "'");
        EXPECT_EQ(import.status, 1) << name;
        EXPECT_NE(import.errors.find("domain name"), std::string::npos) << import.errors;
        EXPECT_EQ(rdm(std::string("copy demo Currencies --name ") + name).status, 1) << name;
    }
    EXPECT_EQ(rdm("domains demo --format csv").output.find("Currencies copy"), std::string::npos);

    // The library's copy keeps the source's name.
    QxbString error;
    RefData* session = createReferenceDataSession(0, &error);
    ASSERT_NE(session, nullptr);
    RefDataHandle* handle = nullptr;
    ASSERT_TRUE(session->open(&handle, QxbString("demo"), &error)) << error.asCstr();
    unsigned copy = 0;
    ASSERT_TRUE(session->getAdmin(handle)->copyDomain(handle, 1, 1, &copy)) << session->getErrorText(handle).asCstr();
    session->release(&handle);

    const std::string ambiguous = "rdm: 2 domains are named 'Currencies' (#1, #" + std::to_string(copy) +
                                  "): name one by its '#ID'\n";
    for (const std::string& arguments : {std::string("versions demo Currencies"), std::string("remove demo Currencies"),
                                         std::string("copy demo Currencies"), std::string("history demo Currencies"),
                                         "import demo Currencies '" + sample("currencies.csv") + "'"}) {
        const CommandResult result = rdm(arguments);
        EXPECT_EQ(result.status, 1) << arguments;
        EXPECT_NE(result.errors.find(ambiguous.substr(ambiguous.find("2 domains"))), std::string::npos)
            << arguments << ": " << result.errors;
    }
    EXPECT_EQ(rdm("versions demo '#" + std::to_string(copy) + "'").status, 0);
    EXPECT_EQ(rdm("remove demo '#" + std::to_string(copy) + "'").status, 0);
    EXPECT_EQ(rdm("versions demo Currencies").status, 0);
}

}  // namespace
