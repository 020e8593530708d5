// rdm diff: what changed between two versions of a domain, through the
// library's version comparison.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "RefData.h"
#include "RefDataCursor.h"
#include "RefDataViewerEx.h"
#include "output.h"
#include "qxbcpp.h"
#include "rdm.h"

namespace rdm {
namespace {

// Columns of the comparison's rows.
enum DiffColumn { kKey = 0, kChange = 1 };

struct DiffOptions {
    std::string repository;
    std::string domain;
    std::string format;
    int from = 0;
    int to = 0;
    std::string fromAt, toAt;  // moments (--from-at, --to-at), else empty
};

// Passes the comparison's rows through unchanged and counts them on the way,
// so that the listing still streams: items added and removed, and the
// distinct keys with changed fields (whose rows are adjacent, in key order).
class CountingCursor : public RefDataCursor {
public:
    explicit CountingCursor(RefDataCursor* rows) : rows_(rows) {}
    CountingCursor(const CountingCursor&) = delete;
    CountingCursor& operator=(const CountingCursor&) = delete;
    ~CountingCursor() override {
        if (rows_ != nullptr) rows_->release();
    }

    int next() override {
        const int answer = rows_->next();
        if (answer == 0) count();
        return answer;
    }
    int getColumnCount() override { return rows_->getColumnCount(); }
    QxbString getColumnName(int column) override { return rows_->getColumnName(column); }
    QxbString getString(int column) override { return rows_->getString(column); }
    int getInt(int column) override { return rows_->getInt(column); }
    double getDouble(int column) override { return rows_->getDouble(column); }
    bool isNull(int column) override { return rows_->isNull(column); }
    QxbDatavar getValue(int column) override { return rows_->getValue(column); }
    void release() override { delete this; }
    bool isReady() override { return rows_->isReady(); }

    long added() const { return added_; }
    long removed() const { return removed_; }
    long changed() const { return changed_; }

private:
    void count() {
        const std::string change = rows_->getString(kChange).str();
        if (change == "added") {
            ++added_;
        } else if (change == "removed") {
            ++removed_;
        } else if (change == "changed") {
            std::string key = rows_->getString(kKey).str();
            if (changed_ == 0 || key != lastChangedKey_) {
                ++changed_;
                lastChangedKey_ = std::move(key);
            }
        }
    }

    RefDataCursor* rows_;
    long added_ = 0;
    long removed_ = 0;
    long changed_ = 0;
    std::string lastChangedKey_;
};

int diffVersions(const DiffOptions& o) {
    Format format;
    if (!parseFormat(o.format, &format)) return fail("unknown format '" + o.format + "'");
    RepositorySession repo;
    RefDataViewerEx* viewer = openViewerEx(repo, o.repository);
    if (viewer == nullptr) return kFailed;
    int id = -1;
    std::string name, error;
    if (!findDomain(repo, o.domain, &id, &name, &error)) return fail(error);
    int from = o.from, to = o.to;
    if ((!o.fromAt.empty() && !versionAt(repo, id, name, o.fromAt, &from, &error)) ||
        (!o.toAt.empty() && !versionAt(repo, id, name, o.toAt, &to, &error)))
        return fail(error);
    RefDataCursor* rows = viewer->getVersionDiff(repo.handle(), id, from, to);
    if (rows == nullptr) return fail(repo.errorText());
    std::unique_ptr<CountingCursor> counted(new CountingCursor(rows));
    if (printCursor(counted.get(), format) < 0) return fail(repo.errorText());
    // The summary follows the rows, and only rows that were written.
    std::fflush(stdout);
    if (outputFailed(stdout)) return kFailed;  // main reports the failed write
    std::fprintf(stderr, "%ld added, %ld removed, %ld changed\n", counted->added(), counted->removed(),
                 counted->changed());
    return kOk;
}

}  // namespace

void addDiffCommand(CLI::App& app, Action* action) {
    auto o = std::make_shared<DiffOptions>();
    CLI::App* diff = app.add_subcommand("diff", "List what changed between two versions of a domain");
    diff->add_option("repository", o->repository, "Repository name")->required();
    diff->add_option("domain", o->domain, "Domain name or #ID")->required();
    CLI::Option* from = diff->add_option("--from", o->from, "The older version (default 0: the one before --to)")
                            ->check(CLI::NonNegativeNumber);
    CLI::Option* to = diff->add_option("--to", o->to, "The newer version (default 0: the newest)")
                          ->check(CLI::NonNegativeNumber);
    diff->add_option("--from-at", o->fromAt, "Instead of --from: the version that was the newest at this moment (UTC)")
        ->check(momentCheck())
        ->excludes(from);
    diff->add_option("--to-at", o->toAt, "Instead of --to: the version that was the newest at this moment (UTC)")
        ->check(momentCheck())
        ->excludes(to);
    diff->add_option("--format", o->format,
                     "Output: table, csv or json (default: table on a terminal, else csv)")
        ->check(CLI::IsMember({"table", "csv", "json"}));
    diff->callback([action, o]() { *action = [o]() { return diffVersions(*o); }; });
}

}  // namespace rdm
