// The result-set cursor and the in-memory cache cursor of rdcore.
#include "rdcorecursorimpl.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "rdcorecommon.h"

// ---------------------------------------------------------------------------
// RefDataCursorImpl

RefDataCursorImpl::~RefDataCursorImpl() = default;

bool RefDataCursorImpl::attach(StoreResultSet* set, QxbString* errorOut) {
    if (set == nullptr) {
        if (errorOut != nullptr) {
            *errorOut = rdcore::message(__FILE__, __LINE__, rdcore::kMsgNoResultSet);
        }
        return false;
    }
    resultSet = set;
    return true;
}

int RefDataCursorImpl::next() {
    if (resultSet == nullptr) return 2;
    switch (resultSet->next()) {
        case 1:
            return 0;
        case 0:
            return 1;
        default:
            return 2;
    }
}

int RefDataCursorImpl::getColumnCount() {
    return resultSet != nullptr ? resultSet->getColumnCount() : 0;
}

QxbString RefDataCursorImpl::getColumnName(int column) {
    return resultSet != nullptr ? resultSet->getColumnName(column) : QxbString();
}

QxbString RefDataCursorImpl::getString(int column) {
    return resultSet != nullptr ? resultSet->getString(column) : QxbString();
}

int RefDataCursorImpl::getInt(int column) {
    return resultSet != nullptr ? resultSet->getInt(column) : -1;
}

double RefDataCursorImpl::getDouble(int column) {
    return resultSet != nullptr ? resultSet->getDouble(column) : -1.0;
}

bool RefDataCursorImpl::isNull(int column) {
    return resultSet != nullptr ? resultSet->isNull(column) : true;
}

QxbDatavar RefDataCursorImpl::getValue(int column) {
    return resultSet != nullptr ? resultSet->getValue(column) : QxbDatavar();
}

void RefDataCursorImpl::release() {
    rdcore::releaseField(resultSet);
    delete this;
}

bool RefDataCursorImpl::isReady() {
    return resultSet != nullptr ? resultSet->isReady() : false;
}

// ---------------------------------------------------------------------------
// RefDataCacheCursorImpl: storage

namespace {
// A cell is a tag byte, then for an integer its zigzag-encoded value in
// variable-length form (seven bits a byte, low bits first), for a double or
// a date its eight bytes, for a text its byte count (variable-length) and
// its bytes. kSame stands for the cell of the row before in the column.
enum CellTag : unsigned char { kNull, kFalse, kTrue, kInt, kInt64, kDouble, kDate, kText, kSame };
const unsigned char kNullCell[1] = {kNull};

constexpr std::size_t kFirstSlab = 256u << 10;
constexpr std::size_t kLargestSlab = 8u << 20;
constexpr std::size_t kHugePage = 2u << 20;
constexpr std::size_t kBlockSize = 256u << 10;

unsigned char* putNumber(unsigned char* out, std::uint64_t number) {
    while (number >= 0x80) {
        *out++ = static_cast<unsigned char>(number | 0x80);
        number >>= 7;
    }
    *out++ = static_cast<unsigned char>(number);
    return out;
}

const unsigned char* getNumber(const unsigned char* p, std::uint64_t* number) {
    std::uint64_t value = *p++;
    if (value < 0x80) {
        *number = value;
        return p;
    }
    value &= 0x7F;
    for (unsigned shift = 7;; shift += 7) {
        const unsigned char byte = *p++;
        value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if (byte < 0x80) break;
    }
    *number = value;
    return p;
}

std::uint64_t zigzag(std::int64_t value) {
    return (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
}

std::int64_t unzigzag(std::uint64_t value) {
    return static_cast<std::int64_t>(value >> 1) ^ -static_cast<std::int64_t>(value & 1);
}

unsigned char* putBits(unsigned char* out, double value) {
    std::memcpy(out, &value, sizeof value);
    return out + sizeof value;
}

double getBits(const unsigned char* p) {
    double value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// The most bytes value's cell can take: a tag, a ten-byte number, a text.
std::size_t cellBound(const QxbDatavar& value) {
    return 11 + (value.type() == QXB_TYPE_STRING ? value.text()->length() : 0);
}

// Writes the cell of value (at most cellBound bytes); answers its end.
unsigned char* encodeCell(const QxbDatavar& value, unsigned char* out) {
    switch (value.type()) {
        case QXB_TYPE_BOOL:
            *out++ = value.asBool() ? kTrue : kFalse;
            return out;
        case QXB_TYPE_INT:
        case QXB_TYPE_INT64:
            *out++ = value.type() == QXB_TYPE_INT ? kInt : kInt64;
            return putNumber(out, zigzag(value.asInt64()));
        case QXB_TYPE_DOUBLE:
            *out++ = kDouble;
            return putBits(out, value.asDouble());
        case QXB_TYPE_DATE:
            *out++ = kDate;
            return putBits(out, value.asDate().value());
        case QXB_TYPE_STRING: {
            const QxbString& text = *value.text();
            *out++ = kText;
            out = putNumber(out, text.length());
            std::memcpy(out, text.asCstr(), text.length());
            return out + text.length();
        }
        default:
            *out++ = kNull;
            return out;
    }
}

// A text cell's bytes and their count.
const char* textOfCell(const unsigned char* cell, std::size_t* length) {
    std::uint64_t count = 0;
    const unsigned char* text = getNumber(cell + 1, &count);
    *length = static_cast<std::size_t>(count);
    return reinterpret_cast<const char*>(text);
}

std::size_t cellLength(const unsigned char* cell) {
    std::uint64_t number = 0;
    switch (*cell) {
        case kInt:
        case kInt64:
            return static_cast<std::size_t>(getNumber(cell + 1, &number) - cell);
        case kDouble:
        case kDate:
            return 1 + sizeof(double);
        case kText: {
            const unsigned char* text = getNumber(cell + 1, &number);
            return static_cast<std::size_t>(text - cell) + static_cast<std::size_t>(number);
        }
        default:
            return 1;
    }
}

QxbDatavar decodeCell(const unsigned char* cell) {
    QxbDatavar value;
    std::uint64_t number = 0;
    switch (*cell) {
        case kFalse:
        case kTrue:
            value.assign(*cell == kTrue);
            break;
        case kInt:
            getNumber(cell + 1, &number);
            value.assign(static_cast<int>(unzigzag(number)));
            break;
        case kInt64:
            getNumber(cell + 1, &number);
            value.assign(unzigzag(number));
            break;
        case kDouble:
            value.assign(getBits(cell + 1));
            break;
        case kDate:
            value.assign(QxbDate(getBits(cell + 1)));
            break;
        case kText: {
            std::size_t length = 0;
            const char* text = textOfCell(cell, &length);
            value.assign(text, length);
            break;
        }
        default:
            break;
    }
    return value;
}
}  // namespace

// Slabs double from 256 KiB to 8 MiB, so that a small cache stays small;
// from 2 MiB on a slab starts on a huge-page boundary and is offered to the
// kernel for huge pages.
void* RefDataCacheCursorImpl::Slabs::take(std::size_t size) {
    size = (size + 15) & ~static_cast<std::size_t>(15);
    if (size > left_) {
        std::size_t slab = std::min(kLargestSlab, std::max(kFirstSlab, taken_));
        if (slab < size) slab = (size + kHugePage - 1) & ~(kHugePage - 1);
        const bool huge = slab >= kHugePage;
        const std::size_t length = huge ? slab + kHugePage : slab;
        void* address = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (address == MAP_FAILED) throw std::bad_alloc();
        try {
            mappings_.push_back({address, length});
        } catch (...) {
            munmap(address, length);
            throw;
        }
        const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(address);
        const std::uintptr_t mask = huge ? kHugePage - 1 : 0;
        next_ = reinterpret_cast<char*>((start + mask) & ~mask);
        left_ = slab;
        taken_ += slab;
        if (huge) madvise(next_, slab, MADV_HUGEPAGE);  // a hint: without it the pages are small
    }
    void* taken = next_;
    next_ += size;
    left_ -= size;
    return taken;
}

void RefDataCacheCursorImpl::Slabs::clear() {
    for (const Mapping& mapping : mappings_) munmap(mapping.address, mapping.length);
    mappings_.clear();
    next_ = nullptr;
    left_ = 0;
    taken_ = 0;
}

RefDataCacheCursorImpl::RefDataCacheCursorImpl() = default;

RefDataCacheCursorImpl::~RefDataCacheCursorImpl() = default;

const unsigned char* RefDataCacheCursorImpl::currentCell(int column) const {
    if (currentRow == kNoRow || column < 0 || column >= columnCount) return nullptr;
    const auto index = static_cast<std::size_t>(column);
    if (staged_ && currentRow + 1 == rowCount) {
        const std::ptrdiff_t offset = stagedCells_[index];
        return offset < 0 ? kNullCell : stagedBytes_.get() + offset;
    }
    return cells_[index];
}

void RefDataCacheCursorImpl::seal() {
    if (!staged_) return;
    const std::size_t width = stagedCells_.size();
    // A cell seals to at most its staged bytes, an unset one to one byte.
    const std::size_t bound = stagedUsed_ + width;
    if (bound > freeLength_) {
        const std::size_t room = std::max(kBlockSize, bound);
        auto* block = static_cast<unsigned char*>(slabs_.take(room));
        blocks_.push_back({block, 0});
        free_ = block;
        freeLength_ = room;
    }
    unsigned char* out = free_;
    for (std::size_t column = 0; column < width; ++column) {
        const std::ptrdiff_t offset = stagedCells_[column];
        const unsigned char* cell = offset < 0 ? kNullCell : stagedBytes_.get() + offset;
        const std::size_t length = cellLength(cell);
        const unsigned char* above = sealedCells_[column];
        if (above != nullptr && *above == *cell && cellLength(above) == length &&
            std::memcmp(above, cell, length) == 0) {
            *out++ = kSame;
        } else {
            std::memcpy(out, cell, length);
            sealedCells_[column] = out;
            out += length;
        }
    }
    const auto size = static_cast<std::size_t>(out - free_);
    if (!blocks_.empty()) blocks_.back().used += size;
    free_ = out;
    freeLength_ -= size;
    staged_ = false;
}

void RefDataCacheCursorImpl::decodeRow() {
    if (cells_.empty()) return;  // rows without columns take no bytes
    while (readOffset_ >= blocks_[readBlock_].used) {
        ++readBlock_;
        readOffset_ = 0;
    }
    const unsigned char* start = blocks_[readBlock_].start;
    const unsigned char* cell = start + readOffset_;
    for (const unsigned char*& column : cells_) {
        if (*cell == kSame) {
            ++cell;  // the column keeps the cell of the row before
        } else {
            column = cell;
            cell += cellLength(cell);
        }
    }
    readOffset_ = static_cast<std::size_t>(cell - start);
}

// ---------------------------------------------------------------------------
// RefDataCacheCursorImpl: filling

bool RefDataCacheCursorImpl::setColumns(int count) {
    clear();
    columnCount = count;
    stagedCells_.clear();
    sealedCells_.clear();
    cells_.clear();
    if (count < 1) return false;
    try {
        const auto width = static_cast<std::size_t>(count);
        stagedCells_.assign(width, -1);
        sealedCells_.assign(width, nullptr);
        cells_.assign(width, nullptr);
        columnNames.reset(new QxbString[width]);
    } catch (const std::bad_alloc&) {
        clear();
        stagedCells_.clear();
        sealedCells_.clear();
        cells_.clear();
        return false;
    }
    return true;
}

void RefDataCacheCursorImpl::setColumnName(int column, const QxbString& name) {
    if (columnNames == nullptr || column < 0 || column >= columnCount) return;
    try {
        columnNames[column] = name;
    } catch (const std::bad_alloc&) {
        columnNames[column].setNull();
    }
}

int RefDataCacheCursorImpl::addRow() {
    try {
        seal();
    } catch (const std::bad_alloc&) {
        return 0;  // the row before stays staged: nothing is lost
    }
    staged_ = true;
    stagedUsed_ = 0;
    std::fill(stagedCells_.begin(), stagedCells_.end(), -1);
    currentRow = rowCount;
    ++rowCount;
    return static_cast<int>(rowCount);
}

bool RefDataCacheCursorImpl::setValue(int column, const QxbDatavar& value) {
    // Only the row being filled takes values; rows before it are sealed.
    if (!staged_ || currentRow + 1 != rowCount || column < 0 || column >= columnCount) return false;
    const std::size_t bound = cellBound(value);
    if (stagedUsed_ + bound > stagedCapacity_) {
        const std::size_t capacity = std::max(2 * stagedCapacity_, stagedUsed_ + bound + 256);
        std::unique_ptr<unsigned char[]> grown(new (std::nothrow) unsigned char[capacity]);
        if (!grown) return false;
        if (stagedUsed_ > 0) std::memcpy(grown.get(), stagedBytes_.get(), stagedUsed_);
        stagedBytes_ = std::move(grown);
        stagedCapacity_ = capacity;
    }
    unsigned char* start = stagedBytes_.get() + stagedUsed_;
    stagedUsed_ = static_cast<std::size_t>(encodeCell(value, start) - stagedBytes_.get());
    stagedCells_[static_cast<std::size_t>(column)] = start - stagedBytes_.get();
    return true;
}

void RefDataCacheCursorImpl::rewind() {
    try {
        seal();
    } catch (const std::bad_alloc&) {
        // The last row stays staged; next() tries once more.
    }
    currentRow = kNoRow;
}

void RefDataCacheCursorImpl::clear() {
    blocks_.clear();
    slabs_.clear();
    free_ = nullptr;
    freeLength_ = 0;
    staged_ = false;
    stagedUsed_ = 0;
    std::fill(stagedCells_.begin(), stagedCells_.end(), -1);
    std::fill(sealedCells_.begin(), sealedCells_.end(), nullptr);
    std::fill(cells_.begin(), cells_.end(), nullptr);
    readBlock_ = 0;
    readOffset_ = 0;
    columnNames.reset();
    currentRow = kNoRow;
    rowCount = 0;
}

// ---------------------------------------------------------------------------
// RefDataCacheCursorImpl: reading

int RefDataCacheCursorImpl::next() {
    if (columnCount == 0) return 2;
    try {
        seal();
    } catch (const std::bad_alloc&) {
        return 2;  // the last row could not be kept
    }
    if (currentRow == kNoRow) {
        if (rowCount == 0) return 1;
        currentRow = 0;
        readBlock_ = 0;
        readOffset_ = 0;
    } else if (currentRow + 1 < rowCount) {
        ++currentRow;
    } else {
        currentRow = kNoRow;
        return 1;
    }
    decodeRow();
    return 0;
}

int RefDataCacheCursorImpl::getColumnCount() {
    return columnCount;
}

QxbString RefDataCacheCursorImpl::getColumnName(int column) {
    if (columnNames == nullptr || column < 0 || column >= columnCount) return QxbString();
    return columnNames[column];
}

QxbString RefDataCacheCursorImpl::getString(int column) {
    const unsigned char* cell = currentCell(column);
    if (cell == nullptr) return QxbString();
    if (*cell == kText) {
        std::size_t length = 0;
        const char* text = textOfCell(cell, &length);
        return QxbString(text, length);
    }
    return decodeCell(cell).asString();
}

int RefDataCacheCursorImpl::getInt(int column) {
    const unsigned char* cell = currentCell(column);
    return cell == nullptr ? 0 : decodeCell(cell).asInt();
}

double RefDataCacheCursorImpl::getDouble(int column) {
    const unsigned char* cell = currentCell(column);
    return cell == nullptr ? 0.0 : decodeCell(cell).asDouble();
}

bool RefDataCacheCursorImpl::isNull(int column) {
    const unsigned char* cell = currentCell(column);
    return cell == nullptr || *cell == kNull;
}

QxbDatavar RefDataCacheCursorImpl::getValue(int column) {
    const unsigned char* cell = currentCell(column);
    return cell == nullptr ? QxbDatavar() : decodeCell(cell);
}

void RefDataCacheCursorImpl::release() {
    clear();
    delete this;
}

bool RefDataCacheCursorImpl::isReady() {
    return true;
}
