// The data-source listing: what the configuration defines, masked and sorted.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "qxdac.h"
#include "temp_home.h"

namespace {

void writeConfig(const TempHome& home, const std::string& text) {
    std::ofstream(home.path() + "/config.toml") << text;
}

std::vector<std::vector<std::string>> readAll(DataAccessReader* reader) {
    std::vector<std::vector<std::string>> rows;
    while (reader->fetch() == 0) {
        std::vector<std::string> row;
        for (int c = 0; c < reader->getColumnCount(); ++c) {
            QxbDatavar value;
            EXPECT_TRUE(reader->getValue(&value, c));
            row.push_back(value.asString().str());
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(DataSources, ListsTheConfiguredSourcesSortedWithPasswordsMasked) {
    TempHome home;
    writeConfig(home,
                "[datasources.zeta]\nconnection = \"sqlite:z.db\"\ndriver = \"sqlite\"\n"
                "description = \"last\"\n"
                "[datasources.alpha]\nconnection = \"postgresql://ann:s3cret@db/ref\"\n"
                "driver = \"postgresql\"\ndescription = \"first\"\n");
    DataAccessSource* source = dacCreateDataSource(0);
    ASSERT_NE(source, nullptr);
    DataAccessReader* reader = source->listSources(DAC_LIST_DATA_SOURCES, 0);
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(reader->getColumnCount(), 4);
    QxbString name;
    ASSERT_TRUE(reader->getColumnName(&name, 1));
    EXPECT_STREQ(name.asCstr(), "CONNECTION");
    EXPECT_FALSE(reader->getColumnName(&name, 4));

    const auto rows = readAll(reader);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"alpha", "postgresql://ann:****@db/ref", "postgresql", "first"}));
    EXPECT_EQ(rows[1][0], "zeta");
    EXPECT_NE(reader->fetch(), 0) << "stays at the end";
    reader->release();
    source->release();
}

TEST(DataSources, NoConfigurationGivesAnEmptyListing) {
    TempHome home;
    DataAccessSource* source = dacCreateDataSource(0);
    DataAccessReader* reader = source->listSources(DAC_LIST_DATA_SOURCES, 0);
    ASSERT_NE(reader, nullptr);
    EXPECT_NE(reader->fetch(), 0);
    reader->release();
    source->release();
}

TEST(DataSources, AMalformedConfigurationIsAnErrorNamingTheFile) {
    TempHome home;
    writeConfig(home, "[datasources\nbroken");
    DataAccessSource* source = dacCreateDataSource(0);
    EXPECT_EQ(source->listSources(DAC_LIST_DATA_SOURCES, 0), nullptr);
    QxbString error;
    ASSERT_TRUE(source->getLastError(&error));
    EXPECT_NE(error.str().find("config.toml"), std::string::npos) << error.asCstr();
    source->release();
}

TEST(DataSources, AnUnknownKindFails) {
    TempHome home;
    DataAccessSource* source = dacCreateDataSource(0);
    EXPECT_EQ(source->listSources(7, 0), nullptr);
    QxbString error;
    source->getLastError(&error);
    EXPECT_NE(error.str().find('7'), std::string::npos);
    source->release();
}

TEST(MaskConnection, HidesPasswordsInEveryForm) {
    EXPECT_EQ(dacMaskConnection("sqlite:data/x.db"), "sqlite:data/x.db");
    EXPECT_EQ(dacMaskConnection("mysql://u:p@h:3306/d"), "mysql://u:****@h:3306/d");
    EXPECT_EQ(dacMaskConnection("mysql://u@h/d"), "mysql://u@h/d");
    EXPECT_EQ(dacMaskConnection("host=h;Password=abc;user=u"), "host=h;Password=****;user=u");
    EXPECT_EQ(dacMaskConnection("host=h pwd=x"), "host=h pwd=****");
    EXPECT_EQ(dacMaskConnection("from pg://a:x@h/d to pg://b:y@k/e (b@k)"), "from pg://a:****@h/d to pg://b:****@k/e (b@k)");
    // A masked text masked again (a message quoting a connection) keeps its quotes.
    EXPECT_EQ(dacMaskConnection("\"pg:///d?host=/s&password=****\": failed"), "\"pg:///d?host=/s&password=****\": failed");
}

}  // namespace
