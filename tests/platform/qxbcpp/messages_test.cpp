// The message catalogue: every code has a text, arguments are inserted
// verbatim, and the sentence rules give readable texts.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "qxbcpp.h"

namespace {

std::string message(const char* module, int code) {
    return qxb_get_message(__FILE__, __LINE__, module, code).str();
}

template <typename... Args>
std::string message(const char* module, int code, const Args&... args) {
    return qxb_get_message(__FILE__, __LINE__, module, code, args...).str();
}

// The text without its final period.
std::string stem(const std::string& text) {
    return !text.empty() && text.back() == '.' ? text.substr(0, text.size() - 1) : text;
}

const std::vector<std::pair<const char*, int>> kKnown = {
    {"Reference Data", 3},     {"Reference Data", 249},  {"Reference Data", 530},
    {"Reference Data", 1509},  {"Reference Data", 1532}, {"Reference Data", 1815},
    {"Reference Data", 1823},  {"Reference Data", 1824}, {"Profile Engine", 1103},
    {"Reference Data Plugin", 404}, {"Reference Data Plugin", 923},
    {"Reference Data Plugin", 1306}, {"Monitor Plugin", 1363}};

}  // namespace

TEST(MessageCatalogueTest, EveryCodeHasItsOwnSentence) {
    std::vector<std::string> seen;
    for (const auto& [module, code] : kKnown) {
        const std::string text = message(module, code);
        EXPECT_EQ(std::string::npos, text.find("Unknown message")) << module << " " << code;
        EXPECT_EQ(std::string::npos, text.find('%')) << text;
        ASSERT_GT(text.size(), 10u) << module << " " << code;
        EXPECT_EQ('.', text.back()) << text;
        EXPECT_NE(text.size() - 2, text.rfind("..")) << text;
        for (const std::string& other : seen) EXPECT_NE(other, text);
        seen.push_back(text);
    }
}

TEST(MessageCatalogueTest, DomainNotFoundReadsWellInItsThreeForms) {
    const std::string plain = message("Reference Data", 1823, "");
    EXPECT_EQ(plain, message("Reference Data", 1823));
    EXPECT_EQ(stem(plain) + " [SALES].", message("Reference Data", 1823, "[SALES]."));
    EXPECT_EQ(stem(plain) + ": SALES.", message("Reference Data", 1823, ": SALES."));
    EXPECT_EQ(stem(plain) + " [SALES].", message("Reference Data", 1823, "[SALES]"));
    EXPECT_NE(std::string::npos, plain.find("domain"));
}

TEST(MessageCatalogueTest, ArgumentsAreInsertedVerbatim) {
    const std::string withFormat = message("Reference Data", 1823, ": %s%d%n %1.");
    EXPECT_NE(std::string::npos, withFormat.find(": %s%d%n %1.")) << withFormat;
    const std::string version = message("Reference Data", 1824, "SALES", "7");
    EXPECT_NE(std::string::npos, version.find("SALES")) << version;
    EXPECT_NE(std::string::npos, version.find('7')) << version;
    EXPECT_LT(version.find("7"), version.find("SALES")) << "argument order follows the text";
    EXPECT_NE(std::string::npos, message("Reference Data", 1824, "100%", "%2").find("100%"));
}

TEST(MessageCatalogueTest, MissingArgumentsInsertNothing) {
    const std::string none = message("Reference Data", 1824);
    const std::string one = message("Reference Data", 1824, "SALES");
    EXPECT_EQ(std::string::npos, none.find('%'));
    EXPECT_NE(std::string::npos, one.find("SALES"));
    EXPECT_EQ(none.size() + 5, one.size());
    // Arguments the text does not name are ignored.
    EXPECT_EQ(message("Reference Data", 530), message("Reference Data", 530, "", "unused"));
}

TEST(MessageCatalogueTest, ArgumentsRunningIntoAWordGetASpace) {
    const std::string plain = message("Reference Data Plugin", 404);
    EXPECT_EQ(stem(plain) + " AMOUNT.", message("Reference Data Plugin", 404, "AMOUNT"));
    EXPECT_EQ(stem(plain) + " (AMOUNT).", message("Reference Data Plugin", 404, "(AMOUNT)"));
    EXPECT_EQ(stem(plain) + ", AMOUNT.", message("Reference Data Plugin", 404, ", AMOUNT."));
}

TEST(MessageCatalogueTest, UnknownModuleOrCodeNamesBoth) {
    const std::string text = message("X", 77);
    EXPECT_NE(std::string::npos, text.find("77")) << text;
    EXPECT_NE(std::string::npos, text.find("'X'")) << text;
    const std::string known = message("Reference Data", 1823);
    EXPECT_NE(known, message("Reference data", 1823)) << "module names are exact";
    EXPECT_NE(std::string::npos, message("Reference Data", 1103).find("1103"));
    const QxbString nullModule = qxbGetMessageV(__FILE__, __LINE__, nullptr, 3, nullptr, 0);
    EXPECT_NE(std::string::npos, nullModule.str().find('3'));
}
