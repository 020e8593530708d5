// StoreResultSet over a prepared statement. It streams rows from the
// statement, unless a write or a BEGIN of its own connection arrives during
// the walk (see StoreSession::beforeWrite): then it first keeps its remaining
// rows, in a compact form that goes to a temporary file past a few MiB.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "repadm.h"
#include "store_session.h"

namespace repadm {

class ResultSetImpl : public StoreResultSet {
public:
    ResultSetImpl(std::shared_ptr<StoreSession> session, const StatementKey& key,
                  std::unique_ptr<SqlStatement> statement, std::uint64_t tables);

    int next() override;
    int getColumnCount() override;
    QxbString getColumnName(int column) override;
    QxbString getString(int column) override;
    int getInt(int column) override;
    double getDouble(int column) override;
    bool isNull(int column) override;
    QxbDatavar getValue(int column) override;
    void release() override;
    bool isReady() override;

    std::uint64_t tables() const { return tables_; }
    // Keeps the remaining rows and gives the statement back. False (the
    // walk then fails, and *error says why) when they could not be kept.
    bool materialise(std::string* error);

private:
    ~ResultSetImpl() override;
    struct Cell {
        SqlType type = SqlType::Null;
        std::int64_t integer = 0;
        double real = 0.0;
        std::string text;
    };
    bool validColumn(int column) const;
    SqlType typeOf(int column);
    void finishStatement();
    // The kept rows: each cell is a type byte, then 8 bytes (integer, real)
    // or an 8-byte length and the bytes (text, blob).
    void appendRow();
    bool flushKept(std::string* error);
    bool readKept(void* into, std::size_t length);
    bool loadKeptRow();
    void dropKept();

    std::shared_ptr<StoreSession> session_;
    StatementKey key_;
    std::unique_ptr<SqlStatement> statement_;
    std::uint64_t tables_;
    std::vector<std::string> names_;
    std::vector<bool> isDate_;
    bool onRow_ = false;
    bool ended_ = false;
    bool failed_ = false;
    // Materialised mode: current_ is the current row; rowsLeft_ rows follow
    // in kept_ (from keptAt_) or, once it grew past a few MiB, in file_.
    bool materialised_ = false;
    std::vector<Cell> current_;
    std::string kept_;
    std::size_t keptAt_ = 0;
    std::FILE* file_ = nullptr;
    std::uint64_t rowsLeft_ = 0;
};

}  // namespace repadm
