// The fault-injecting wrapper of the driver: it forwards every call to the
// real connection and fails the armed call of the countdown instead.
#include "fault_driver.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace repadm {
namespace fault {

const char* const kEnvironmentVariable = "RDM_FAULT_AT";

namespace {

std::atomic<bool> enabled{false};
std::atomic<bool> armed{false};
std::atomic<bool> hasFired{false};
std::atomic<bool> fromEnvironment{false};
std::atomic<long> target{0};
std::atomic<long> counted{0};
std::atomic<long> statements{0};
std::atomic<long> connections{0};

// The variable arms the countdown once, at the first connection of the
// process, so a child process fails the N-th call of its whole run.
void readEnvironmentOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        const char* value = std::getenv(kEnvironmentVariable);
        if (!value || !*value) return;
        char* end = nullptr;
        const long callNumber = std::strtol(value, &end, 10);
        if (*end != '\0' || callNumber < 1) return;
        fromEnvironment = true;
        arm(callNumber);
    });
}

// Counts one call; true when it is the one to fail.
bool failThisCall(const char* kind, std::string* reason) {
    if (!armed.load(std::memory_order_relaxed)) return false;
    const long number = ++counted;
    if (number != target.load() || hasFired.exchange(true)) return false;
    *reason = "injected fault at call " + std::to_string(number) + " (" + kind + ")";
    // A child process tells its test that the fault was met, also when the
    // program goes on to succeed.
    if (fromEnvironment) std::fprintf(stderr, "repadm: %s\n", reason->c_str());
    return true;
}

// What a failed call leaves for the connection's errorText.
struct InjectedError {
    std::string text;
};

class FaultStatement : public SqlStatement {
public:
    FaultStatement(std::unique_ptr<SqlStatement> inner, std::shared_ptr<InjectedError> injected)
        : inner_(std::move(inner)), injected_(std::move(injected)) {
        ++statements;
    }
    ~FaultStatement() override { --statements; }

    bool bindNull(int index) override { return inner_->bindNull(index); }
    bool bindInt(int index, std::int64_t value) override { return inner_->bindInt(index, value); }
    bool bindDouble(int index, double value) override { return inner_->bindDouble(index, value); }
    bool bindText(int index, const char* text, std::size_t length) override {
        return inner_->bindText(index, text, length);
    }
    bool bindBlob(int index, const void* bytes, std::size_t length) override {
        return inner_->bindBlob(index, bytes, length);
    }
    int step() override {
        if (failThisCall("step", &injected_->text)) return -1;
        injected_->text.clear();
        return inner_->step();
    }
    int stepDeferred(const std::string& noRowError) override {
        if (failThisCall("step", &injected_->text)) return -1;
        injected_->text.clear();
        return inner_->stepDeferred(noRowError);
    }
    void reset() override { inner_->reset(); }
    int columnCount() override { return inner_->columnCount(); }
    const char* columnName(int column) override { return inner_->columnName(column); }
    bool columnIsDate(int column) override { return inner_->columnIsDate(column); }
    SqlType columnType(int column) override { return inner_->columnType(column); }
    std::int64_t columnInt(int column) override { return inner_->columnInt(column); }
    double columnDouble(int column) override { return inner_->columnDouble(column); }
    const char* columnText(int column, std::size_t* length) override {
        return inner_->columnText(column, length);
    }
    std::string columnBlob(int column) override { return inner_->columnBlob(column); }

private:
    std::unique_ptr<SqlStatement> inner_;
    std::shared_ptr<InjectedError> injected_;
};

class FaultConnection : public SqlConnection {
public:
    explicit FaultConnection(std::unique_ptr<SqlConnection> inner)
        : inner_(std::move(inner)), injected_(std::make_shared<InjectedError>()) {
        ++connections;
    }
    ~FaultConnection() override { --connections; }

    std::unique_ptr<SqlStatement> prepare(const std::string& sql, std::string* error) override {
        if (failThisCall("prepare", &injected_->text)) {
            *error = injected_->text;
            return nullptr;
        }
        injected_->text.clear();
        std::unique_ptr<SqlStatement> statement = inner_->prepare(sql, error);
        if (!statement) return nullptr;
        return std::unique_ptr<SqlStatement>(new FaultStatement(std::move(statement), injected_));
    }
    bool execute(const std::string& sql, std::string* error) override {
        // A roll-back does not fail for the causes injected here, and a failed
        // one is beyond anything a caller could mend.
        const bool rollBack = sql.compare(0, 8, "ROLLBACK") == 0;
        if (!rollBack && failThisCall("execute", &injected_->text)) {
            *error = injected_->text;
            return false;
        }
        injected_->text.clear();
        return inner_->execute(sql, error);
    }
    SqlDialect dialect() const override { return inner_->dialect(); }
    // A BEGIN is a statement run like any other: it fails as execute does.
    bool beginWrite(std::string* error) override {
        if (failThisCall("execute", &injected_->text)) {
            *error = injected_->text;
            return false;
        }
        injected_->text.clear();
        return inner_->beginWrite(error);
    }
    int changes() override { return inner_->changes(); }
    std::string errorText() override {
        return injected_->text.empty() ? inner_->errorText() : injected_->text;
    }
    bool inTransaction() override { return inner_->inTransaction(); }
    int tableExists(const std::string& name, std::string* error) override {
        return inner_->tableExists(name, error);
    }

private:
    std::unique_ptr<SqlConnection> inner_;
    std::shared_ptr<InjectedError> injected_;
};

}  // namespace

void enable() {
    enabled = true;
}

void arm(long callNumber) {
    enabled = true;
    counted = 0;
    hasFired = false;
    target = callNumber;
    armed = true;
}

long disarm() {
    armed = false;
    return counted.load();
}

bool fired() {
    return hasFired.load();
}

long liveStatements() {
    return statements.load();
}

long liveConnections() {
    return connections.load();
}

std::unique_ptr<SqlConnection> wrap(std::unique_ptr<SqlConnection> connection) {
    readEnvironmentOnce();
    if (!connection || !enabled.load()) return connection;
    return std::unique_ptr<SqlConnection>(new FaultConnection(std::move(connection)));
}

}  // namespace fault
}  // namespace repadm
