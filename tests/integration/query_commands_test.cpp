// The query commands of rdm end to end: output, formats and exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "rdm_runner.h"
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
