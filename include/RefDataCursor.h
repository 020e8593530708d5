// RefDataCursor: the rows a query answers, read forward.
#pragma once

#include "qxbcpp.h"

class RefDataCursor {
public:
    virtual ~RefDataCursor() {}
    // 0: a row is now current; 1: no more rows; 2: error, or no data.
    virtual int next() = 0;
    virtual int getColumnCount() = 0;
    virtual QxbString getColumnName(int column) = 0;
    virtual QxbString getString(int column) = 0;
    virtual int getInt(int column) = 0;
    virtual double getDouble(int column) = 0;
    virtual bool isNull(int column) = 0;
    virtual QxbDatavar getValue(int column) = 0;
    // Closes the data behind the cursor and frees the cursor.
    virtual void release() = 0;
    virtual bool isReady() = 0;
};
