// The engine host: loading plug-ins, reading upstream files, running a step's
// life cycle with parameters and field maps, and filling discovery lists.
#include <gtest/gtest.h>

#include <memory>

#include "engine.h"
#include "qxphlp.h"
#include "temp_home.h"
#include "test_steps.h"

namespace {

using enginetest::calls;

struct PluginReleaser {
    void operator()(EnginePlugin* plugin) const { plugin->release(); }
};
using OwnedPlugin = std::unique_ptr<EnginePlugin, PluginReleaser>;

std::vector<std::string> texts(const std::vector<QxbDatavar>& row) {
    std::vector<std::string> out;
    for (const QxbDatavar& value : row) out.push_back(value.isNull() ? "<null>" : value.asString().str());
    return out;
}

TEST(EngineLoad, MissingFileNamesTheFile) {
    QxbString error;
    EXPECT_EQ(engineLoadPlugin("/nonexistent/libnothing.so", &error), nullptr);
    EXPECT_NE(error.str().find("/nonexistent/libnothing.so"), std::string::npos) << error.str();
}

TEST(EngineLoad, LibraryWithoutFactoryNamesSymbolAndFile) {
    const std::string path = std::string(RDM_BINARY_DIR) + "/libqxsstr.so";
    QxbString error;
    EXPECT_EQ(engineLoadPlugin(path, &error), nullptr);
    EXPECT_NE(error.str().find("step_create_factory11"), std::string::npos) << error.str();
    EXPECT_NE(error.str().find(path), std::string::npos) << error.str();
}

TEST(EngineLoad, NullFactoryIsRefused) {
    QxbString error;
    EXPECT_EQ(engineUseFactory(nullptr, &error), nullptr);
    EXPECT_GT(error.length(), 0u);
}

class DelimitedFile : public ::testing::Test {
protected:
    bool read(const std::string& content, QxbString* error) {
        home_.writeFile("in.csv", content);
        return engineReadDelimitedFile(home_.file("in.csv"), ',', '"', &table_, error);
    }
    TempHome home_;
    EngineTable table_;
};

TEST_F(DelimitedFile, FirstLineNamesFieldsEmptyAndMissingFieldsAreNull) {
    QxbString error;
    ASSERT_TRUE(read("A,B,C\n1,\"x, y\",3\n\n4,,\n5\n", &error)) << error.str();
    EXPECT_EQ(table_.fields, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(table_.types, (std::vector<int>{QXB_TYPE_STRING, QXB_TYPE_STRING, QXB_TYPE_STRING}));
    ASSERT_EQ(table_.rows.size(), 3u);
    EXPECT_EQ(texts(table_.rows[0]), (std::vector<std::string>{"1", "x, y", "3"}));
    EXPECT_EQ(texts(table_.rows[1]), (std::vector<std::string>{"4", "<null>", "<null>"}));
    EXPECT_EQ(texts(table_.rows[2]), (std::vector<std::string>{"5", "<null>", "<null>"}));
}

TEST_F(DelimitedFile, ExtraFieldsAndMissingFilesAreErrors) {
    QxbString error;
    EXPECT_FALSE(read("A,B\n1,2\n1,2,3\n", &error));
    EXPECT_NE(error.str().find("line 3"), std::string::npos) << error.str();
    EXPECT_FALSE(read("", &error));
    EXPECT_FALSE(engineReadDelimitedFile(home_.file("missing.csv"), ',', '"', &table_, &error));
    EXPECT_NE(error.str().find("missing.csv"), std::string::npos) << error.str();
}

class EngineRun : public ::testing::Test {
protected:
    void SetUp() override {
        calls().clear();
        QxbString error;
        plugin_.reset(engineUseFactory(enginetest::createTestFactory(), &error));
        ASSERT_TRUE(plugin_) << error.str();
        request_.stepName = "COUNT_ROWS";
    }
    std::size_t countOf(const std::string& call) const {
        std::size_t n = 0;
        for (const std::string& c : calls()) n += c == call;
        return n;
    }
    OwnedPlugin plugin_;
    EngineStepRequest request_;
    EngineStepResult result_;
};

TEST_F(EngineRun, StepTypesComeFromTheFactory) {
    ASSERT_EQ(plugin_->getStepTypeCount(), 1);
    EngineStepType type;
    ASSERT_TRUE(plugin_->getStepType(0, &type));
    EXPECT_EQ(type.name.str(), "COUNT_ROWS");
    EXPECT_EQ(type.displayName.str(), "Count rows");
    EXPECT_EQ(type.category.str(), "test");
    EXPECT_EQ(type.kind, 3);
    EXPECT_FALSE(plugin_->getStepType(1, &type));
    plugin_.reset();
    EXPECT_EQ(calls().back(), "factory destroy");
}

TEST_F(EngineRun, LifeCycleRunsInOrderAndCollectsRows) {
    request_.params = {{"COUNT", "3"}};
    ASSERT_TRUE(plugin_->runStep(request_, &result_));
    EXPECT_EQ(calls(), (std::vector<std::string>{"initialize", "defineOutputs", "prepare", "getNextRow",
                                                 "getNextRow", "getNextRow", "getNextRow", "finish",
                                                 "destroy"}));
    EXPECT_EQ(result_.answer, 1);
    EXPECT_EQ(result_.output.fields, std::vector<std::string>{"N"});
    ASSERT_EQ(result_.output.rows.size(), 3u);
    EXPECT_EQ(result_.output.rows[2][0].asInt(), 3);
    EXPECT_EQ(result_.status, "3 written");
    EXPECT_EQ(result_.progressPercent, 100);
    EXPECT_TRUE(result_.totalRowsKnown);
    EXPECT_EQ(result_.totalRows, 3);
}

TEST_F(EngineRun, DefaultsApplyAndUnknownParametersFailNamingThem) {
    ASSERT_TRUE(plugin_->runStep(request_, &result_));
    EXPECT_EQ(result_.output.rows.size(), 2u);
    request_.params = {{"NOPE", "1"}};
    EXPECT_FALSE(plugin_->runStep(request_, &result_));
    ASSERT_EQ(result_.errors.size(), 1u);
    EXPECT_NE(result_.errors[0].find("'NOPE'"), std::string::npos) << result_.errors[0];
    EXPECT_EQ(countOf("destroy"), 2u);
    EXPECT_EQ(countOf("prepare"), 1u);
}

TEST_F(EngineRun, ValuesThatDoNotConvertFailTheRun) {
    request_.params = {{"COUNT", "many"}};
    EXPECT_FALSE(plugin_->runStep(request_, &result_));
    request_.params = {{"FAIL_PREPARE", "maybe"}};
    EXPECT_FALSE(plugin_->runStep(request_, &result_));
    EXPECT_EQ(countOf("defineOutputs"), 0u);
}

TEST_F(EngineRun, FailedPrepareDestroysWithoutAskingForRows) {
    request_.params = {{"FAIL_PREPARE", "yes"}};
    EXPECT_FALSE(plugin_->runStep(request_, &result_));
    EXPECT_EQ(result_.answer, 2);
    EXPECT_EQ(result_.errors, std::vector<std::string>{"prepare refused"});
    EXPECT_EQ(calls(), (std::vector<std::string>{"initialize", "defineOutputs", "prepare", "destroy"}));
}

TEST_F(EngineRun, UnknownStepTypeIsAnError) {
    request_.stepName = "NO_SUCH_STEP";
    EXPECT_FALSE(plugin_->runStep(request_, &result_));
    ASSERT_EQ(result_.errors.size(), 1u);
    EXPECT_NE(result_.errors[0].find("NO_SUCH_STEP"), std::string::npos);
    EXPECT_TRUE(calls().empty());
}

TEST_F(EngineRun, FieldMapPassesUpstreamFieldsThroughRenamedAndTyped) {
    EngineTable input;
    input.fields = {"CODE", "NAME", "EXTRA"};
    input.types = {QXB_TYPE_INT, QXB_TYPE_STRING, QXB_TYPE_STRING};
    input.lengths = {0, 40, 10};
    input.rows.resize(2, std::vector<QxbDatavar>(3));
    input.rows[0][0].assign(7);
    input.rows[0][1].assign("seven");
    input.rows[1][0].assign(8);  // NAME stays null
    request_.input = &input;
    request_.params = {{"FIELD_MAP", "NAME=LABEL"}, {"FIELD_MAP", " CODE "}};
    ASSERT_TRUE(plugin_->runStep(request_, &result_)) << (result_.errors.empty() ? "" : result_.errors[0]);
    EXPECT_EQ(result_.output.fields, (std::vector<std::string>{"LABEL", "CODE", "N"}));
    EXPECT_EQ(result_.output.types, (std::vector<int>{QXB_TYPE_STRING, QXB_TYPE_INT, QXB_TYPE_INT}));
    EXPECT_EQ(result_.output.lengths[0], 40);
    EXPECT_EQ(result_.output.byteLengths[0], 160);
    ASSERT_EQ(result_.output.rows.size(), 2u);
    EXPECT_EQ(texts(result_.output.rows[0]), (std::vector<std::string>{"seven", "7", "1"}));
    EXPECT_EQ(texts(result_.output.rows[1]), (std::vector<std::string>{"<null>", "8", "2"}));
}

TEST_F(EngineRun, FieldMapNamingAMissingUpstreamFieldFailsClearly) {
    EngineTable input;
    input.fields = {"CODE"};
    input.rows.push_back({QxbDatavar()});
    request_.input = &input;
    request_.params = {{"FIELD_MAP", "GHOST"}};
    EXPECT_FALSE(plugin_->runStep(request_, &result_));
    ASSERT_FALSE(result_.errors.empty());
    EXPECT_NE(result_.errors[0].find("'GHOST'"), std::string::npos) << result_.errors[0];
    EXPECT_TRUE(result_.output.rows.empty());
    EXPECT_EQ(countOf("prepare"), 0u);
    EXPECT_EQ(countOf("destroy"), 1u);
}

TEST_F(EngineRun, FieldMapWithoutUpstreamFails) {
    request_.params = {{"FIELD_MAP", "CODE"}};
    EXPECT_FALSE(plugin_->runStep(request_, &result_));
    EXPECT_FALSE(result_.errors.empty());
}

TEST_F(EngineRun, DiscoveryListFillsTheSinkRowByRow) {
    EngineTable table;
    std::vector<std::string> errors;
    ASSERT_TRUE(plugin_->discover(request_, &table, &errors));
    EXPECT_EQ(table.fields, (std::vector<std::string>{"COLUMN0", "COLUMN1"}));
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(texts(table.rows[2]), (std::vector<std::string>{"2", "entry"}));
    EXPECT_EQ(countOf("list destroy"), 1u);
    EXPECT_EQ(countOf("destroy"), 1u);
}

TEST(FieldMapEntries, UpstreamAndOutputNames) {
    QxbString from, to;
    ASSERT_TRUE(parseFieldMapEntry(QxbString("A=B"), &from, &to));
    EXPECT_EQ(from.str() + "/" + to.str(), "A/B");
    ASSERT_TRUE(parseFieldMapEntry(QxbString(" A "), &from, &to));
    EXPECT_EQ(from.str() + "/" + to.str(), "A/A");
    ASSERT_TRUE(parseFieldMapEntry(QxbString("A="), &from, &to));
    EXPECT_EQ(to.str(), "A");
    EXPECT_FALSE(parseFieldMapEntry(QxbString("=B"), &from, &to));
    EXPECT_FALSE(parseFieldMapEntry(QxbString(""), &from, &to));
    EXPECT_FALSE(parseFieldMapEntry(QxbString(), &from, &to));
    EXPECT_EQ(findOutputItemByName(nullptr, QxbString("A")), -1);
}

}  // namespace
