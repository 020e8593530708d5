// RecordingStore: a fake RefDataStore that writes every call with its
// arguments to the shared call log, answers scripted rows, and fails the
// N-th call on request. FakeResultSet holds scripted rows in memory.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "repadm.h"

namespace fakes {

// One scripted cell: an int, a text, a real, or null (nullptr).
struct Cell {
    Cell(int value) { value_.assign(value); }            // NOLINT: implicit on purpose
    Cell(const char* text) { value_.assign(text); }      // NOLINT
    Cell(double value) { value_.assign(value); }         // NOLINT
    Cell(std::nullptr_t) {}                              // NOLINT
    Cell(const QxbDatavar& value) : value_(value) {}     // NOLINT
    QxbDatavar value_;
};

struct FakeRows {
    FakeRows() = default;
    FakeRows(std::vector<std::string> columnNames,
             std::initializer_list<std::initializer_list<Cell>> cells);
    std::vector<std::string> columns;
    std::vector<std::vector<QxbDatavar>> rows;
    int errorAtRow = -1;  // next() answers -1 instead of delivering this row
};

class FakeResultSet : public StoreResultSet {
public:
    // label names the result set in the call log ("store2.listDomains").
    FakeResultSet(std::string label, FakeRows rows);

    int next() override;
    int getColumnCount() override;
    QxbString getColumnName(int column) override;
    QxbString getString(int column) override;
    int getInt(int column) override;
    double getDouble(int column) override;
    bool isNull(int column) override;
    QxbDatavar getValue(int column) override;
    void release() override;  // logged as "<label>.release()"
    bool isReady() override { return true; }

private:
    ~FakeResultSet() override = default;
    const QxbDatavar* cell(int column) const;

    std::string label_;
    FakeRows data_;
    int row_ = -1;
};

// Argument formatting of the call log.
std::string argText(unsigned value);  // all ones: -1
std::string argText(int value);
std::string argText(bool value);
std::string argText(const QxbString& value);  // 'text' or null
std::string argText(const QxbString* value);
std::string argText(const QxbDate& value);  // date:YYYY-MM-DD HH:MM:SS or null
std::string argText(const QxbDate* value);
std::string argText(unsigned* out);  // an out pointer: & or null
std::string argText(const unsigned* value);
std::string argText(const void* pointer);  // ptr or null
std::string argText(const QxbDatavar& value);

template <typename... Args>
std::string argList(const Args&... args) {
    std::string text = "(";
    bool first = true;
    ((text += first ? "" : ",", text += argText(args), first = false), ...);
    return text + ")";
}

class RecordingStore : public RefDataStore {
public:
    const std::string& label() const { return label_; }
    // This store's own calls, without the label.
    const std::vector<std::string>& calls() const { return calls_; }

    // The next call of operation answers these rows (answers queue up).
    // Listings without a queued answer answer no rows and no columns.
    void answer(const std::string& operation, FakeRows rows);
    // The n-th call from now (1: the next) fails, whatever it is.
    // getLastError and release are not counted.
    void failCall(int n) { failCountdown_ = n; }
    // The n-th call of operation from now fails.
    void failOperation(const std::string& operation, int n = 1) { failing_[operation] = n; }
    // The next result set of operation answers -1 (an error) from next()
    // instead of delivering row k (0: the first).
    void failRow(const std::string& operation, int k) { rowFailures_[operation] = k; }
    // The id the next insert delivers.
    void setNextId(unsigned id) { nextId_ = id; }

protected:
    explicit RecordingStore(std::string label);
    ~RecordingStore() override = default;

    StoreResultSet* listing(const char* operation, const std::string& arguments);
    bool write(const char* operation, const std::string& arguments, unsigned* newId);
    bool act(const char* operation, const std::string& arguments);
    // Records the call and answers whether it is to fail.
    bool enter(const char* operation, const std::string& arguments);
    void record(const std::string& call);

    std::string label_;
    std::string lastError_;

private:
    std::vector<std::string> calls_;
    std::map<std::string, std::deque<FakeRows>> answers_;
    std::map<std::string, int> failing_;
    std::map<std::string, int> rowFailures_;
    int failCountdown_ = 0;
    unsigned nextId_ = 1000;
};

// A new store labelled label; it deletes itself at release.
RecordingStore* newRecordingStore(const std::string& label);

}  // namespace fakes
