// Configuration options: keys, data sources, malformed files and reloading.
#include <gtest/gtest.h>

#include <string>

#include "qxbcpp.h"
#include "temp_home.h"

namespace {

std::string value(QxbConfigOptions* options, const char* key) {
    QxbString text;
    if (!options->get(QxbString(key), &text, 0)) return "<absent>";
    return text.str();
}

}  // namespace

TEST(ConfigOptionsTest, MissingFileGivesEmptyOptions) {
    TempHome home;
    QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
    ASSERT_NE(nullptr, options);
    EXPECT_EQ("<absent>", value(options, "REFDATA/DSN"));
    EXPECT_EQ(0, options->dataSourceCount());
    EXPECT_EQ(home.file("config.toml"), options->path().str());
    EXPECT_TRUE(qxbGetConfigError().str().empty());
}

TEST(ConfigOptionsTest, KeysOfTablesAnswerAsText) {
    TempHome home;
    home.writeConfig(
        "top = 'level'\n"
        "[REFDATA]\n"
        "DSN = \"sqlite:data/ref.db\"\n"
        "PREFIX = 'kiv_rdm_'\n"
        "CACHE = true\n"
        "OFF = false\n"
        "SIZE = 250\n"
        "RATIO = 0.5\n"
        "EMPTY = ''\n"
        "LIST = [1, 2]\n"
        "[logging.deep]\n"
        "key = 'x'\n");
    QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
    ASSERT_NE(nullptr, options) << qxbGetConfigError().asCstr();
    EXPECT_EQ("sqlite:data/ref.db", value(options, "REFDATA/DSN"));
    EXPECT_EQ("kiv_rdm_", value(options, "REFDATA/PREFIX"));
    EXPECT_EQ("true", value(options, "REFDATA/CACHE"));
    EXPECT_EQ("false", value(options, "REFDATA/OFF"));
    EXPECT_EQ("250", value(options, "REFDATA/SIZE"));
    EXPECT_EQ("0.5", value(options, "REFDATA/RATIO"));
    EXPECT_EQ("", value(options, "REFDATA/EMPTY"));
    EXPECT_EQ("level", value(options, "top"));
    EXPECT_EQ("x", value(options, "logging/deep/key"));
    // Absent keys, wrong case, tables and arrays are not values.
    EXPECT_EQ("<absent>", value(options, "REFDATA/DATASERVER"));
    EXPECT_EQ("<absent>", value(options, "refdata/dsn"));
    EXPECT_EQ("<absent>", value(options, "REFDATA"));
    EXPECT_EQ("<absent>", value(options, "REFDATA/LIST"));
    EXPECT_TRUE(options->get(QxbString("REFDATA/DSN"), nullptr, 0));
}

TEST(ConfigOptionsTest, DataSourcesAreListedByName) {
    TempHome home;
    home.writeConfig(
        "[datasources.sales]\n"
        "connection = 'sqlite:sales.db'\n"
        "driver = 'sqlite'\n"
        "description = 'Sales figures'\n"
        "[datasources.crm]\n"
        "connection = 'sqlite:/abs/crm.db'\n");
    QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
    ASSERT_NE(nullptr, options) << qxbGetConfigError().asCstr();
    ASSERT_EQ(2, options->dataSourceCount());
    QxbString name, connection, driver, description;
    ASSERT_TRUE(options->dataSource(0, &name, &connection, &driver, &description));
    EXPECT_EQ("crm", name.str());
    EXPECT_EQ("sqlite:/abs/crm.db", connection.str());
    EXPECT_EQ("", driver.str());
    ASSERT_TRUE(options->dataSource(1, &name, &connection, &driver, &description));
    EXPECT_EQ("sales", name.str());
    EXPECT_EQ("sqlite", driver.str());
    EXPECT_EQ("Sales figures", description.str());
    EXPECT_FALSE(options->dataSource(2, &name, nullptr, nullptr, nullptr));
    EXPECT_FALSE(options->dataSource(-1, &name, nullptr, nullptr, nullptr));
}

TEST(ConfigOptionsTest, MalformedFileAnswersNullWithFileAndLine) {
    TempHome home;
    home.writeConfig("[REFDATA]\nDSN = 'ok'\nPREFIX = \n");
    EXPECT_EQ(nullptr, qxbGetConfigOptions(QxbString()));
    const std::string error = qxbGetConfigError().str();
    EXPECT_NE(std::string::npos, error.find(home.file("config.toml"))) << error;
    EXPECT_NE(std::string::npos, error.find("line 3")) << error;

    home.writeConfig("[datasources]\nsales = 'not a table'\n");
    EXPECT_EQ(nullptr, qxbGetConfigOptions(QxbString()));
    EXPECT_NE(std::string::npos, qxbGetConfigError().str().find("line 2"))
        << qxbGetConfigError().asCstr();

    // Repairing the file clears the error.
    home.writeConfig("[REFDATA]\nDSN = 'fixed'\n");
    QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
    ASSERT_NE(nullptr, options);
    EXPECT_EQ("fixed", value(options, "REFDATA/DSN"));
    EXPECT_TRUE(qxbGetConfigError().str().empty());
}

TEST(ConfigOptionsTest, ChangedFileIsReadAgain) {
    TempHome home;
    home.writeConfig("[REFDATA]\nDSN = 'first'\n");
    QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
    ASSERT_NE(nullptr, options);
    EXPECT_EQ("first", value(options, "REFDATA/DSN"));

    home.writeConfig("[REFDATA]\nDSN = 'second one'\n");
    QxbConfigOptions* again = qxbGetConfigOptions(QxbString());
    ASSERT_EQ(options, again) << "the object stays the same";
    EXPECT_EQ("second one", value(again, "REFDATA/DSN"));

    std::remove(home.file("config.toml").c_str());
    ASSERT_NE(nullptr, qxbGetConfigOptions(QxbString()));
    EXPECT_EQ("<absent>", value(options, "REFDATA/DSN"));
}

TEST(ConfigOptionsTest, OnlyTheDefaultNameIsKnown) {
    TempHome home;
    EXPECT_EQ(nullptr, qxbGetConfigOptions(QxbString("other")));
    EXPECT_NE(std::string::npos, qxbGetConfigError().str().find("other"));
    EXPECT_NE(nullptr, qxbGetConfigOptions(QxbString("")));
}

TEST(ConfigOptionsTest, UnreadableFileIsAnError) {
    TempHome home;
    home.writeFile("config.toml/inside", "x");  // a folder where the file should be
    EXPECT_EQ(nullptr, qxbGetConfigOptions(QxbString()));
    EXPECT_NE(std::string::npos, qxbGetConfigError().str().find(home.file("config.toml")));
}

// The TOML library nests recursively: a file nesting deeper than a
// configuration ever needs is refused before it is parsed, naming its line.
TEST(ConfigOptionsTest, DeepNestingIsRefusedWithItsLine) {
    TempHome home;
    auto repeat = [](const std::string& part, int times) {
        std::string text;
        for (int i = 0; i < times; ++i) text += part;
        return text;
    };
    struct Case {
        std::string toml;
        int line;  // 0: accepted
    };
    const Case cases[] = {
        {"[REFDATA]\nDSN = 'x'\n[a" + repeat(".a", 50000) + "]\n", 3},
        {"a" + repeat(".a", 150) + " = 1\n", 1},
        {"x = [\n" + repeat("[", 150) + repeat("]", 150) + "]\n", 2},
        {"t = " + repeat("{ a = ", 150) + "1" + repeat(" }", 150) + "\n", 1},
        {"[[a" + repeat(".a", 98) + "]]\nk = [[1]]\n", 0},
        {"'" + repeat("a.", 500) + "' = \"" + repeat("[{.", 500) + "\"\n# " + repeat("[", 500) + "\n", 0},
        {"s = '''\n" + repeat("[", 500) + "\n'''\nlist = [1.5, 2.5]\n", 0},
    };
    for (const Case& c : cases) {
        home.writeConfig(c.toml);
        QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
        const std::string error = qxbGetConfigError().str();
        if (c.line == 0) {
            EXPECT_NE(nullptr, options) << error;
            continue;
        }
        EXPECT_EQ(nullptr, options) << c.toml.substr(0, 40);
        EXPECT_NE(std::string::npos, error.find(home.file("config.toml") + "', line " + std::to_string(c.line) + ":"))
            << error;
        EXPECT_NE(std::string::npos, error.find("nest")) << error;
    }
}
