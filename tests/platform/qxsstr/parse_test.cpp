// The delimited-line parser: a table of lines and the fields they give.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "qxsstr.h"

namespace {

std::vector<std::string> parse(const std::string& line, char separator = ',', char qualifier = '"',
                               int maxFields = 1024, int bufferSize = -1) {
    const int size = bufferSize < 0 ? static_cast<int>(line.size()) + 1 : bufferSize;
    // Guard bytes after the buffer catch any write past its end.
    std::vector<char> buffer(static_cast<std::size_t>(size) + 8, '#');
    std::vector<char*> fields(static_cast<std::size_t>(maxFields) + 1, nullptr);
    const int n = qxs_parse_text_ex(line.c_str(), fields.data(), maxFields, buffer.data(), size, separator,
                                    qualifier);
    for (std::size_t i = static_cast<std::size_t>(size); i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], '#') << "written past the buffer at " << i;
    EXPECT_LE(n, maxFields);
    EXPECT_EQ(fields[static_cast<std::size_t>(maxFields)], nullptr) << "more pointers than the array holds";
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.emplace_back(fields[static_cast<std::size_t>(i)]);
    return out;
}

using Fields = std::vector<std::string>;

struct Case {
    const char* name;
    std::string line;
    char separator;
    char qualifier;
    Fields expected;
};

class ParseTable : public ::testing::TestWithParam<Case> {};

TEST_P(ParseTable, GivesTheExpectedFields) {
    const Case& c = GetParam();
    EXPECT_EQ(parse(c.line, c.separator, c.qualifier), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseTable,
    ::testing::Values(
        Case{"plain", "a,b,c", ',', '"', {"a", "b", "c"}},
        Case{"empty line", "", ',', '"', {}},
        Case{"one field", "alone", ',', '"', {"alone"}},
        Case{"empty fields", ",,", ',', '"', {"", "", ""}},
        Case{"trailing separator", "a,b,", ',', '"', {"a", "b", ""}},
        Case{"qualified with separator", "\"a,b\",c", ',', '"', {"a,b", "c"}},
        Case{"doubled qualifier", "\"say \"\"hi\"\"\",x", ',', '"', {"say \"hi\"", "x"}},
        Case{"unterminated qualifier", "a,\"b,c", ',', '"', {"a", "b,c"}},
        Case{"qualifier inside unqualified field", "ab\"c,d", ',', '"', {"ab\"c", "d"}},
        Case{"text after closing qualifier", "\"ab\"cd,e", ',', '"', {"abcd", "e"}},
        Case{"empty qualified field", "\"\",x", ',', '"', {"", "x"}},
        Case{"no qualifier", "\"a,b\"", ',', '\0', {"\"a", "b\""}},
        Case{"tab separator", "a\tb c\td", '\t', '"', {"a", "b c", "d"}},
        Case{"semicolon and single quote", "'x;y';z", ';', '\'', {"x;y", "z"}},
        Case{"non-ASCII", "caf\xc3\xa9,\xe2\x82\xac", ',', '"', {"caf\xc3\xa9", "\xe2\x82\xac"}}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST(ParseLimits, ReportsAtMostTheFieldsThePointerArrayHolds) {
    std::string line;
    for (int i = 0; i < 1025; ++i) line += (i ? "," : "") + std::to_string(i);
    const Fields fields = parse(line);
    ASSERT_EQ(fields.size(), 1024u);
    EXPECT_EQ(fields.front(), "0");
    EXPECT_EQ(fields.back(), "1023");
}

TEST(ParseLimits, ATinyBufferCutsTheFieldShortWithoutOverflow) {
    const Fields fields = parse("abcdef,ghi", ',', '"', 1024, 4);
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(fields[0], "abc");
}

TEST(ParseLimits, ABufferFullAfterOneFieldStopsThere) {
    const Fields fields = parse("ab,cd", ',', '"', 1024, 3);
    EXPECT_EQ(fields, Fields({"ab"}));
}

TEST(ParseLimits, NothingToWriteIntoGivesNoFields) {
    EXPECT_TRUE(parse("a,b", ',', '"', 1024, 0).empty());
    EXPECT_TRUE(parse("a,b", ',', '"', 0).empty());
}

}  // namespace
