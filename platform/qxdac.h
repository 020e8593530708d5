// qxdac: the platform's data-access library: listings of what data sources
// the platform knows.
#pragma once

#include "qxbcpp.h"

#define QXDAC_API __attribute__((visibility("default")))

// Listing kinds of DataAccessSource::listSources.
enum DataAccessListing { DAC_LIST_DATA_SOURCES = 1 };

class DataAccessReader {
public:
    // 0 when a row is now current, non-zero when there are no more rows.
    virtual int fetch() = 0;
    virtual int getColumnCount() = 0;
    virtual bool getColumnName(QxbString* name, int column) = 0;
    virtual bool getValue(QxbDatavar* value, int column) = 0;
    // Closes the listing and frees the reader.
    virtual void release() = 0;

protected:
    virtual ~DataAccessReader() {}
};

class DataAccessSource {
public:
    // Kind 1: the data sources of the configuration, columns "NAME",
    // "CONNECTION" (any password masked), "DRIVER", "DESCRIPTION", sorted by
    // name. Null with the reason in getLastError().
    virtual DataAccessReader* listSources(int kind, int reserved) = 0;
    virtual bool getLastError(QxbString* text) = 0;
    virtual void release() = 0;

protected:
    virtual ~DataAccessSource() {}
};

// A new data-access object (release it), or null when none can be made.
QXDAC_API DataAccessSource* dacCreateDataSource(int reserved);

// Masks the passwords of the connection strings in a text (a connection
// string, or a message quoting any number of them): "user:secret@" and
// "password=secret" (any case, also "pwd=") become "****".
QXDAC_API std::string dacMaskConnection(const std::string& connection);
