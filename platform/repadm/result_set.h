// StoreResultSet over a prepared statement. It streams rows from the
// statement, unless a write of its own connection into a table it reads
// arrives during the walk: then it first reads its remaining rows into memory.
#pragma once

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
    // Reads the remaining rows into memory and gives the statement back.
    void materialise();

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

    std::shared_ptr<StoreSession> session_;
    StatementKey key_;
    std::unique_ptr<SqlStatement> statement_;
    std::uint64_t tables_;
    std::vector<std::string> names_;
    std::vector<bool> isDate_;
    bool onRow_ = false;
    bool ended_ = false;
    bool failed_ = false;
    // Materialised mode: rows_ holds what was not yet walked, from position_.
    bool materialised_ = false;
    std::vector<std::vector<Cell>> rows_;
    std::size_t position_ = 0;
};

}  // namespace repadm
