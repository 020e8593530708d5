// The two cursors of rdcore: RefDataCursorImpl reads a store result set,
// RefDataCacheCursorImpl holds rows the query layer assembled in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "RefDataCursor.h"
#include "repadm.h"

// Forwards every read to the store's result set, which it owns once attached.
class RefDataCursorImpl : public RefDataCursor {
public:
    RefDataCursorImpl() = default;
    RefDataCursorImpl(const RefDataCursorImpl&) = delete;
    RefDataCursorImpl& operator=(const RefDataCursorImpl&) = delete;

    // Takes ownership of resultSet. A null result set puts message 249 into
    // *errorOut (when given) and answers false; the cursor stays empty.
    bool attach(StoreResultSet* resultSet, QxbString* errorOut);

    int next() override;
    int getColumnCount() override;
    QxbString getColumnName(int column) override;
    QxbString getString(int column) override;
    int getInt(int column) override;
    double getDouble(int column) override;
    bool isNull(int column) override;
    QxbDatavar getValue(int column) override;
    // Releases the result set first, then frees the cursor.
    void release() override;
    bool isReady() override;

protected:
    ~RefDataCursorImpl() override;

    StoreResultSet* resultSet = nullptr;
};

// Rows held in memory, compactly: each row is encoded once into a stream of
// bytes (a type tag per cell, integers as variable-length numbers, texts with
// their length; a cell equal to the one above it is a single "same" tag), in
// blocks that never move. The row being filled is staged apart and encoded
// when the next row is added or the cursor is rewound. Reading is forward
// only, as the cursor's interface is: next() decodes where the current row's
// cells start. Rows are counted by index; kNoRow plays the part of "no
// current row".
class RefDataCacheCursorImpl : public RefDataCursor {
public:
    RefDataCacheCursorImpl();
    RefDataCacheCursorImpl(const RefDataCacheCursorImpl&) = delete;
    RefDataCacheCursorImpl& operator=(const RefDataCacheCursorImpl&) = delete;

    // --- filling (the query layer, in this order) --------------------------------
    // Clears the cursor and sets the column count; false when count < 1 or the
    // names cannot be allocated (the cursor then has no names).
    bool setColumns(int count);
    // Ignored for an index outside the columns.
    void setColumnName(int column, const QxbString& name);
    // Appends a row of null values and makes it current. Answers the new row
    // count, or 0 when memory ran out (nothing was added).
    int addRow();
    // Assigns into the row added last while it is current. False when
    // nothing was stored: no current row, a row before the last (those are
    // read-only), a column outside the row, or memory ran out.
    bool setValue(int column, const QxbDatavar& value);
    // The first next() then makes the first row current.
    void rewind();
    // Frees rows and names; the column count stays.
    void clear();
    int getRowCount() const { return static_cast<int>(rowCount); }

    // --- reading -------------------------------------------------------------------
    // Answers 1 once after the last row; the next call starts again at row 0.
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

    static constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);

private:
    ~RefDataCacheCursorImpl() override;

    // Memory taken from the system in slabs of up to 8 MiB that the kernel
    // may back with huge pages: a cache of millions of rows then costs a few
    // hundred page faults instead of tens of thousands. Nothing is given back
    // before clear().
    class Slabs {
    public:
        Slabs() = default;
        Slabs(const Slabs&) = delete;
        Slabs& operator=(const Slabs&) = delete;
        ~Slabs() { clear(); }
        void* take(std::size_t size);  // 16-byte aligned; throws bad_alloc
        void clear();

    private:
        struct Mapping {
            void* address;
            std::size_t length;
        };
        std::vector<Mapping> mappings_;
        char* next_ = nullptr;
        std::size_t left_ = 0;
        std::size_t taken_ = 0;  // the slabs' bytes so far
    };
    // A run of encoded rows; a row never spans two blocks.
    struct Block {
        const unsigned char* start;
        std::size_t used;
    };

    // Where the cells of (the current row, column) start, or null when the
    // column is outside the row or there is no current row.
    const unsigned char* currentCell(int column) const;
    // Encodes the staged row into the stream; throws bad_alloc (the row then
    // stays staged).
    void seal();
    // Makes the row that starts at the read position current.
    void decodeRow();

    // firstRow is row 0 whenever rowCount > 0.
    std::size_t currentRow = kNoRow;
    std::unique_ptr<QxbString[]> columnNames;
    int columnCount = 0;
    std::uint32_t rowCount = 0;

    Slabs slabs_;
    std::vector<Block> blocks_;
    unsigned char* free_ = nullptr;  // the room left in the last block
    std::size_t freeLength_ = 0;
    // The staged row: its cells encoded one after another in setValue's
    // order, and where each column's latest one starts (-1: not set).
    bool staged_ = false;
    std::unique_ptr<unsigned char[]> stagedBytes_;
    std::size_t stagedUsed_ = 0;
    std::size_t stagedCapacity_ = 0;
    std::vector<std::ptrdiff_t> stagedCells_;
    // The cells of the row sealed last, for "same as above".
    std::vector<const unsigned char*> sealedCells_;
    // Reading: the block and offset of the next row, and the current row's
    // cells.
    std::size_t readBlock_ = 0;
    std::size_t readOffset_ = 0;
    std::vector<const unsigned char*> cells_;
};
