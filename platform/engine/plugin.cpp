// Loading a plug-in by file name and running its steps and discovery lists.
#include <dlfcn.h>

#include <memory>
#include <new>

#include "engine.h"
#include "qxlog.h"
#include "step_host.h"

namespace engine {
namespace {

// The flags handed to defineOutputs; the steps here read none.
constexpr unsigned kDefineFlags = 0;
// defineOutputs answers these bits together when the outputs are described.
constexpr int kOutputsDescribed = 7;

void logError(const QxbString& text) {
    qxlogGetLogger("QX.Engine")->log(QXLOG_ERROR, __FILE__, __LINE__, "%s", text.asCstr());
}

// A step object, destroyed through its own destroy.
struct StepDestroyer {
    void operator()(StepPluginStep* step) const {
        if (step != nullptr) step->destroy();
    }
};
using OwnedStep = std::unique_ptr<StepPluginStep, StepDestroyer>;

struct DiscoveryDestroyer {
    void operator()(PlugDiscovery* list) const {
        if (list != nullptr) list->destroy();
    }
};
using OwnedDiscovery = std::unique_ptr<PlugDiscovery, DiscoveryDestroyer>;

class PluginImpl : public EnginePlugin {
public:
    PluginImpl(void* library, StepPluginFactory* factory) : library_(library), factory_(factory) {}

    int getStepTypeCount() override { return factory_->getStepTypeCount(); }
    bool getStepType(int index, EngineStepType* type) override;
    bool runStep(const EngineStepRequest& request, EngineStepResult* result) override;
    bool discover(const EngineStepRequest& request, EngineTable* table,
                  std::vector<std::string>* errors) override;
    void release() override;

private:
    ~PluginImpl() override {}
    int findStepType(const std::string& name);
    // A new initialized step of the request's type; null with the reason in errors.
    OwnedStep startStep(const EngineStepRequest& request, StepHost* host,
                        std::vector<std::string>* errors);
    void runRows(StepPluginStep* step, StepHost* host, const EngineStepRequest& request,
                 EngineStepResult* result);
    void* library_;
    StepPluginFactory* factory_;
};

bool PluginImpl::getStepType(int index, EngineStepType* type) {
    if (index < 0 || index >= factory_->getStepTypeCount()) return false;
    type->name = factory_->getStepName(index);
    type->displayName = factory_->getStepDisplayName(index);
    type->category = QxbString();
    type->kind = 0;
    factory_->getStepCategory(index, 0, &type->category, &type->kind);
    return true;
}

int PluginImpl::findStepType(const std::string& name) {
    for (int i = 0; i < factory_->getStepTypeCount(); ++i)
        if (factory_->getStepName(i).str() == name) return i;
    return -1;
}

OwnedStep PluginImpl::startStep(const EngineStepRequest& request, StepHost* host,
                                std::vector<std::string>* errors) {
    const int index = findStepType(request.stepName);
    StepCreator create = index < 0 ? nullptr : factory_->getStepCreator(index);
    if (create == nullptr) {
        errors->push_back("The plug-in has no step type '" + request.stepName + "'");
        logError(QxbString(errors->back()));
        return OwnedStep();
    }
    OwnedStep step(create());
    if (!step) {
        errors->push_back("The step '" + request.stepName + "' could not be created");
        return OwnedStep();
    }
    int a = 0, b = 0;
    if (!step->initialize(host, &a, &b)) {
        host->reportError(QxbString("The step '" + request.stepName + "' did not initialize"));
        return OwnedStep();
    }
    if (!host->applyParams(request)) return OwnedStep();
    return step;
}

void PluginImpl::runRows(StepPluginStep* step, StepHost* host, const EngineStepRequest& request,
                         EngineStepResult* result) {
    int answer = 0;
    while ((answer = step->getNextRow(0)) == 0) {
        if (!request.onRow) {
            host->keepOutputRow(&result->output);
        } else if (!host->passOutputRow(result->output, request.onRow)) {
            answer = 1;
            break;
        }
    }
    result->answer = answer;
    step->finish();
    int percent = -1;
    QxbString text;
    if (step->getProgress(&percent, &text)) {
        result->progressPercent = percent;
        result->progressText = text.str();
    }
    std::int64_t total = -1;
    result->totalRowsKnown = step->getTotalRows(&total);
    result->totalRows = total;
}

bool PluginImpl::runStep(const EngineStepRequest& request, EngineStepResult* result) {
    *result = EngineStepResult();
    StepHost host(request);
    OwnedStep step = startStep(request, &host, &result->errors);
    if (step) {
        const int defined = step->defineOutputs(kDefineFlags);
        host.describeOutputs(&result->output);
        if ((defined & kOutputsDescribed) != kOutputsDescribed || !host.hasOutputItems()) {
            host.reportError(QxbString("The step '" + request.stepName + "' did not describe its outputs"));
        } else if (step->prepare()) {
            runRows(step.get(), &host, request, result);
        }
    }
    step.reset();
    for (std::string& error : host.takeErrors()) result->errors.push_back(std::move(error));
    result->status = host.status();
    result->inputNames = host.inputNames();
    return result->succeeded();
}

bool PluginImpl::discover(const EngineStepRequest& request, EngineTable* table,
                          std::vector<std::string>* errors) {
    *table = EngineTable();
    StepHost host(request);
    bool filled = false;
    OwnedStep step = startStep(request, &host, errors);
    if (step) {
        OwnedDiscovery list(step->createDiscovery(&host));
        QxbString error;
        if (!list) {
            host.reportError(QxbString("The step '" + request.stepName + "' has no discovery list"));
        } else if (list->initialize() && list->configure(0, 0)) {
            TableSink sink(table);
            filled = list->fill(&sink, &error);
            if (!filled && error.length() > 0) host.reportError(error);
        }
    }
    step.reset();
    for (std::string& text : host.takeErrors()) errors->push_back(std::move(text));
    if (!filled && errors->empty()) errors->push_back("The discovery list of '" + request.stepName + "' failed");
    return filled && errors->empty();
}

void PluginImpl::release() {
    factory_->destroy();
    if (library_ != nullptr) dlclose(library_);
    delete this;
}

}  // namespace
}  // namespace engine

EnginePlugin* engineLoadPlugin(const std::string& path, QxbString* error) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        error->assign(("Cannot load the plug-in " + path + ": " + (reason ? reason : "unknown reason")).c_str());
        engine::logError(*error);
        return nullptr;
    }
    auto create = reinterpret_cast<StepCreateFactoryFunction>(dlsym(library, STEP_FACTORY_SYMBOL));
    if (create == nullptr) {
        error->assign((std::string("The plug-in ") + path + " has no symbol " + STEP_FACTORY_SYMBOL).c_str());
        engine::logError(*error);
        dlclose(library);
        return nullptr;
    }
    StepPluginFactory* factory = create();
    EnginePlugin* plugin = factory == nullptr ? nullptr : new (std::nothrow) engine::PluginImpl(library, factory);
    if (plugin == nullptr) {
        if (factory != nullptr) factory->destroy();
        error->assign((std::string("The plug-in ") + path + " could not create its factory").c_str());
        engine::logError(*error);
        dlclose(library);
    }
    return plugin;
}

EnginePlugin* engineUseFactory(StepPluginFactory* factory, QxbString* error) {
    EnginePlugin* plugin = factory == nullptr ? nullptr : new (std::nothrow) engine::PluginImpl(nullptr, factory);
    if (plugin == nullptr) {
        if (factory != nullptr) factory->destroy();
        error->assign("No step factory to use");
    }
    return plugin;
}
