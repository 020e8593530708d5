// Loading the built plug-in through the engine host and running its steps.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dataflow.h"
#include "engine.h"

struct PluginReleaser {
    void operator()(EnginePlugin* plugin) const { plugin->release(); }
};
using OwnedPlugin = std::unique_ptr<EnginePlugin, PluginReleaser>;

inline std::string pluginPath() { return std::string(RDM_BINARY_DIR) + "/librdplugin.so"; }

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        QxbString error;
        plugin_.reset(engineLoadPlugin(pluginPath(), &error));
        ASSERT_TRUE(plugin_) << error.str();
    }
    // Runs the step on the given repository ("" sets no repository variable).
    EngineStepResult run(const std::string& step, const std::string& repository,
                         std::vector<std::pair<std::string, std::string>> params,
                         const EngineTable* input = nullptr) {
        EngineStepRequest request;
        request.stepName = step;
        if (!repository.empty()) request.variables.push_back({"_CURRENT_REPOSITORY", repository});
        request.params = std::move(params);
        request.input = input;
        EngineStepResult result;
        plugin_->runStep(request, &result);
        return result;
    }
    // The text values of one column of the output rows.
    static std::vector<std::string> column(const EngineStepResult& result, const std::string& field) {
        std::vector<std::string> values;
        std::size_t index = 0;
        while (index < result.output.fields.size() && result.output.fields[index] != field) ++index;
        for (const auto& row : result.output.rows)
            values.push_back(index < row.size() && !row[index].isNull() ? row[index].asString().str() : "<null>");
        return values;
    }
    static EngineTable textTable(const std::vector<std::string>& fields,
                                 const std::vector<std::vector<const char*>>& rows) {
        EngineTable table;
        table.fields = fields;
        for (const auto& values : rows) {
            std::vector<QxbDatavar> row(values.size());
            for (std::size_t i = 0; i < values.size(); ++i) row[i].assign(values[i]);  // null pointer: null
            table.rows.push_back(row);
        }
        return table;
    }
    OwnedPlugin plugin_;
};
