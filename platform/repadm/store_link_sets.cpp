// Which link rows each version holds (schema.sql's version_link_sets), and
// the search for a link row a new version can share.
#include <algorithm>
#include <utility>

#include "store_session.h"

namespace repadm {

namespace {

const char kReadBlockSql[] = "SELECT BITS FROM {P}version_link_sets WHERE VERSION_ID = ? AND BLOCK = ?";
const char kWriteBlockSql[] =
    "INSERT INTO {P}version_link_sets (VERSION_ID, BLOCK, BITS) VALUES (?, ?, ?) "
    "ON CONFLICT (VERSION_ID, BLOCK) DO UPDATE SET BITS = excluded.BITS";
const char kDropBlockSql[] = "DELETE FROM {P}version_link_sets WHERE VERSION_ID = ? AND BLOCK = ?";
// The rows of a block that the version holds and that carry another
// version's stamp (it has just taken them) get its own.
const char kStampSql[] =
    "UPDATE {P}version_item_value_links SET VERSION_ID = s.VERSION_ID FROM {P}version_link_sets s "
    "WHERE s.VERSION_ID = ?1 AND s.BLOCK = ?2 AND {P}version_item_value_links.ID BETWEEN ?2 * 4096 AND "
    "?2 * 4096 + 4095 AND get_bit(s.BITS, {P}version_item_value_links.ID % 4096) = 1 "
    "AND {P}version_item_value_links.VERSION_ID IS DISTINCT FROM ?1";
const char kWindowSql[] =
    "SELECT ITEM_ATTRIBUTE_VALUE_ID, LOCALIZED_TEXT_ID, ID FROM {P}version_item_value_links "
    "WHERE ITEM_ATTRIBUTE_VALUE_ID BETWEEN ? AND ?";

const std::size_t kBlockBytes = StoreSession::kLinkBlock / 8;
// Changed blocks kept in memory before they are written (512 bytes each).
const std::size_t kMostBlocks = 4096;
const std::size_t kMostWindows = 8;

bool allZero(const std::string& bits) {
    return std::all_of(bits.begin(), bits.end(), [](char c) { return c == 0; });
}

}  // namespace

bool StoreSession::linkBit(const std::string& bits, std::int64_t link) {
    const std::int64_t bit = link % kLinkBlock;
    return (static_cast<unsigned char>(bits[static_cast<std::size_t>(bit / 8)]) >> (bit % 8)) & 1;
}

void StoreSession::setLinkBit(std::string* bits, std::int64_t link, bool held) {
    if (bits->empty()) bits->resize(kBlockBytes, '\0');
    const std::int64_t bit = link % kLinkBlock;
    char& byte = (*bits)[static_cast<std::size_t>(bit / 8)];
    const auto mask = static_cast<char>(1 << (bit % 8));
    byte = static_cast<char>(held ? byte | mask : byte & ~mask);
}

bool StoreSession::linkBlock(std::int64_t version, std::int64_t block, LinkBlock** found, std::string* error) {
    const auto key = std::make_pair(version, block);
    auto at = linkBlocks_.find(key);
    if (at != linkBlocks_.end()) {
        *found = &at->second;
        return true;
    }
    if (linkBlocks_.size() >= kMostBlocks && !flushLinkSets(error)) return false;
    const StatementKey statementKey{kReadBlockSql, 0};
    std::unique_ptr<SqlStatement> statement = checkOut(statementKey, [] { return kReadBlockSql; }, error);
    if (!statement) return false;
    LinkBlock loaded;
    const int rc = statement->bindInt(1, version) && statement->bindInt(2, block) ? statement->step() : -1;
    if (rc == 1) {
        loaded.bits = statement->columnBlob(0);
        loaded.stored = true;
    }
    if (rc < 0) *error = connection_->errorText();
    checkIn(statementKey, std::move(statement));
    if (rc < 0) return false;
    loaded.bits.resize(kBlockBytes, '\0');
    *found = &linkBlocks_.emplace(key, std::move(loaded)).first->second;
    return true;
}

bool StoreSession::holdsLink(std::int64_t version, std::int64_t link, bool* held, std::string* error) {
    LinkBlock* block = nullptr;
    if (!linkBlock(version, link / kLinkBlock, &block, error)) return false;
    *held = linkBit(block->bits, link);
    return true;
}

bool StoreSession::holdLink(std::int64_t version, std::int64_t link, bool taken, std::string* error) {
    LinkBlock* block = nullptr;
    if (!linkBlock(version, link / kLinkBlock, &block, error)) return false;
    setLinkBit(&block->bits, link, true);
    block->taken = block->taken || taken;
    block->dirty = true;
    return true;
}

bool StoreSession::releaseLink(std::int64_t version, std::int64_t link, std::string* error) {
    LinkBlock* block = nullptr;
    if (!linkBlock(version, link / kLinkBlock, &block, error)) return false;
    setLinkBit(&block->bits, link, false);
    block->dirty = true;
    return true;
}

bool StoreSession::sharableLink(std::int64_t version, std::int64_t value, std::int64_t text, std::int64_t* link,
                                std::string* error) {
    *link = 0;
    const std::int64_t first = value - value % kLinkBlock;
    auto window = std::find_if(linkWindows_.begin(), linkWindows_.end(),
                               [&](const LinkWindow& w) { return w.first == first; });
    if (window == linkWindows_.end()) {
        LinkWindow loaded;
        loaded.first = first;
        const StatementKey key{kWindowSql, 0};
        std::unique_ptr<SqlStatement> statement = checkOut(key, [] { return kWindowSql; }, error);
        if (!statement) return false;
        int rc = statement->bindInt(1, first) && statement->bindInt(2, first + kLinkBlock - 1) ? 1 : -1;
        while (rc == 1 && (rc = statement->step()) == 1)
            loaded.links.push_back({statement->columnInt(0), statement->columnInt(1), statement->columnInt(2)});
        if (rc < 0) *error = connection_->errorText();
        checkIn(key, std::move(statement));
        if (rc < 0) return false;
        std::sort(loaded.links.begin(), loaded.links.end());
        if (linkWindows_.size() >= kMostWindows) linkWindows_.pop_back();
        linkWindows_.insert(linkWindows_.begin(), std::move(loaded));
    } else if (window != linkWindows_.begin()) {
        std::rotate(linkWindows_.begin(), window, window + 1);
    }
    const auto& links = linkWindows_.front().links;
    const std::array<std::int64_t, 3> low{value, text, 0};
    for (auto at = std::lower_bound(links.begin(), links.end(), low);
         at != links.end() && (*at)[0] == value && (*at)[1] == text; ++at) {
        bool held = false;
        if (!holdsLink(version, (*at)[2], &held, error)) return false;
        if (!held) {
            *link = (*at)[2];
            return true;
        }
    }
    return true;
}

void StoreSession::noteNewLink(std::int64_t value, std::int64_t text, std::int64_t link) {
    const std::int64_t first = value - value % kLinkBlock;
    for (LinkWindow& window : linkWindows_) {
        if (window.first != first) continue;
        const std::array<std::int64_t, 3> row{value, text, link};
        window.links.insert(std::upper_bound(window.links.begin(), window.links.end(), row), row);
        return;
    }
}

bool StoreSession::flushLinkSets(std::string* error) {
    const bool dirty = std::any_of(linkBlocks_.begin(), linkBlocks_.end(),
                                   [](const auto& entry) { return entry.second.dirty; });
    if (dirty && !beforeWrite(kVersionItemValueLinks, error)) return false;
    for (auto& entry : linkBlocks_) {
        LinkBlock& block = entry.second;
        if (!block.dirty) continue;
        const bool empty = allZero(block.bits);
        if (empty && !block.stored) continue;
        const char* sql = empty ? kDropBlockSql : kWriteBlockSql;
        const std::string* blob = empty ? nullptr : &block.bits;
        if (!runLinkWrite(sql, entry.first, blob, error)) return false;
        if (!empty && block.taken && !runLinkWrite(kStampSql, entry.first, nullptr, error)) return false;
    }
    linkBlocks_.clear();
    return true;
}

bool StoreSession::runLinkWrite(const char* sql, const std::pair<std::int64_t, std::int64_t>& versionBlock,
                                const std::string* bits, std::string* error) {
    const StatementKey key{sql, 0};
    std::unique_ptr<SqlStatement> statement = checkOut(key, [sql] { return sql; }, error);
    if (!statement) return false;
    bool ok = statement->bindInt(1, versionBlock.first) && statement->bindInt(2, versionBlock.second);
    if (bits) ok = ok && statement->bindBlob(3, bits->data(), bits->size());
    ok = ok && statement->stepDeferred(std::string()) >= 0;
    if (!ok) *error = connection_->errorText();
    checkIn(key, std::move(statement));
    return ok;
}

void StoreSession::forgetLinkSets() {
    linkBlocks_.clear();
    linkWindows_.clear();
}

}  // namespace repadm
