// The test program's built-in step type "COUNT_ROWS" and its discovery list.
#include "test_steps.h"

#include "dataflow.h"
#include "qxphlp.h"

namespace enginetest {
namespace {

class CountList : public PlugDiscovery {
public:
    bool initialize() override { return true; }
    bool configure(int, int) override { return true; }
    bool fill(PlugDiscoverySink* sink, QxbString*) override {
        sink->setColumnCount(2);
        for (int i = 0; i < 3; ++i) {
            QxbDatavar value;
            value.assign(i);
            sink->setColumnValue(0, value);
            value.assign("entry");
            sink->setColumnValue(1, value);
            sink->setColumnValue(7, value);  // outside the count: ignored
            sink->endRow();
        }
        return true;
    }
    void destroy() override {
        calls().push_back("list destroy");
        delete this;
    }
};

class CountStep : public StepPluginStep {
public:
    bool initialize(PlugStep* step, int* a, int* b) override {
        calls().push_back("initialize");
        step_ = step;
        *a = *b = 1;
        PlugParamSet* params = step->getParamSet();
        addStandardFieldMap(params);
        params->declareParam(QxbString("COUNT"), QXB_TYPE_INT);
        QxbDatavar two;
        two.assign(2);
        params->setParamDefault(QxbString("COUNT"), two);
        params->declareParam(QxbString("FAIL_PREPARE"), QXB_TYPE_BOOL);
        return true;
    }
    void destroy() override {
        calls().push_back("destroy");
        delete this;
    }
    int defineOutputs(unsigned flags) override {
        calls().push_back("defineOutputs");
        const PlugParams* params = step_->getParams();
        count_ = params->getParam(QxbString("COUNT")).asInt();
        passThrough_ = params->getParamList(QxbString(QXPHLP_FIELD_MAP))->count();
        indexes_.assign(static_cast<std::size_t>(passThrough_), -1);
        StepOutputItems* items = buildOutputInfoFromFieldMap(step_, 1, flags, indexes_.data());
        if (items == nullptr) return 0;
        items->setItem(passThrough_, QxbString("N"), QXB_TYPE_INT, 0, 0);
        return 7;
    }
    bool prepare() override {
        calls().push_back("prepare");
        if (step_->getParams()->getParam(QxbString("FAIL_PREPARE")).asBool()) {
            step_->reportError(QxbString("prepare refused"));
            return false;
        }
        return true;
    }
    int getNextRow(int) override {
        calls().push_back("getNextRow");
        if (step_->getGraphInfo()->hasInput()) {
            const int answer = step_->readNextInputRow(0);
            if (answer != 0) return answer;
            const StepRow* in = step_->getInputRow(0);
            for (int i = 0; i < passThrough_; ++i)
                *step_->getOutputRow()->getSlot(i) = *in->getSlot(indexes_[static_cast<std::size_t>(i)]);
        } else if (written_ >= count_) {
            return 1;
        }
        step_->getOutputRow()->getSlot(passThrough_)->assign(++written_);
        return 0;
    }
    void finish() override {
        calls().push_back("finish");
        step_->reportStatus(qxbStringFormat("%d written", written_), 0);
    }
    bool getProgress(int* percent, QxbString* text) override {
        *percent = 100;
        text->assign("Complete");
        return true;
    }
    bool getTotalRows(std::int64_t* count) override {
        *count = count_;
        return true;
    }
    PlugDiscovery* createDiscovery(PlugStep*) override { return new CountList(); }
    void reserved(int) override {}

private:
    PlugStep* step_ = nullptr;
    int count_ = 0;
    int written_ = 0;
    int passThrough_ = 0;
    std::vector<int> indexes_;
};

StepPluginStep* createCountStep() { return new CountStep(); }

class TestFactory : public StepPluginFactory {
public:
    int getVersion() override { return 2; }
    int getStepTypeCount() override { return 1; }
    StepCreator getStepCreator(int index) override { return index == 0 ? createCountStep : nullptr; }
    QxbString getStepName(int index) override { return index == 0 ? QxbString("COUNT_ROWS") : QxbString(); }
    QxbString getStepDisplayName(int index) override { return index == 0 ? QxbString("Count rows") : QxbString(); }
    bool getStepOption(int, int) override { return false; }
    bool getStepAttribute(int, int, QxbString*) override { return false; }
    void destroy() override {
        calls().push_back("factory destroy");
        delete this;
    }
    int getFlags() override { return 0; }
    QxbString getStepHelp(int) override { return QxbString(""); }
    int getStepIcon(int) override { return 0; }
    bool getStepCategory(int, int subIndex, QxbString* category, int* kind) override {
        if (subIndex > 0) return false;
        category->assign("test");
        *kind = 3;
        return true;
    }
};

}  // namespace

std::vector<std::string>& calls() {
    static std::vector<std::string> recorded;
    return recorded;
}

StepPluginFactory* createTestFactory() { return new TestFactory(); }

}  // namespace enginetest
