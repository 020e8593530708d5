// qxbcpp: the platform's base library. Value types (texts with a null state,
// variants, dates), printf-style formatting, the message catalogue, the
// configuration options and the text-file reader.
#pragma once

#include <cstdint>
#include <string>

#define QXB_API __attribute__((visibility("default")))

// ---------------------------------------------------------------------------
// QxbString: a text that is either null or holds bytes (any bytes but NUL;
// texts are kept as given, valid UTF-8 or not). A default-constructed string
// is null; null and empty are distinct states, but both have length 0 and
// asCstr() answers "" for either, so a null text is always safe in a format.
class QXB_API QxbString {
public:
    QxbString();
    // A null pointer gives a null string when keepNull is true, else an empty one.
    QxbString(const char* text, bool keepNull = true);  // NOLINT: implicit on purpose
    QxbString(const char* text, std::size_t length);
    explicit QxbString(const std::string& text);
    QxbString(const QxbString& other);
    QxbString(QxbString&& other) noexcept;
    QxbString& operator=(const QxbString& other);
    QxbString& operator=(QxbString&& other) noexcept;
    ~QxbString();

    void assign(const char* text);  // null pointer: the string becomes null
    void assign(const char* text, std::size_t length);
    void assign(const QxbString& other);
    void assign(int value);  // decimal text

    const char* asCstr() const { return text_.c_str(); }  // never null
    unsigned length() const { return static_cast<unsigned>(text_.size()); }
    bool isNull() const { return null_; }
    void setNull();

    // 0 when equal. caseSensitive false compares ASCII letters without case.
    // A null string compares as the empty text.
    int compare(const QxbString& other, bool caseSensitive) const;
    int compare(const char* other, bool caseSensitive) const;

    // Appends other's text (a null other appends nothing); a null string
    // becomes non-null. *ok, when given, is set to true.
    QxbString& append(const QxbString& other, bool* ok = nullptr);
    // Bytes [start, start+count) clipped to the text; a null string gives null.
    QxbString mid(unsigned start, unsigned count) const;
    // Decimal integer (surrounding blanks allowed). On failure answers 0 and *ok false.
    int asInt(bool* ok = nullptr) const;

    const std::string& str() const { return text_; }
    bool operator==(const QxbString& other) const;
    bool operator!=(const QxbString& other) const { return !(*this == other); }

private:
    std::string text_;
    bool null_;
};

// ---------------------------------------------------------------------------
// QxbDate: a point in time held as one double, the Julian day number in UTC
// (days since noon of 24 November 4714 BC, the fraction is the time of day),
// the same number that SQLite's julianday() answers. The value 0.0 is the
// default "no date"; it is never a real date here.
class QXB_API QxbDate {
public:
    QxbDate();
    QxbDate(const QxbDate& other);
    QxbDate& operator=(const QxbDate& other);
    explicit QxbDate(double julianDay);

    void assign(double julianDay);
    double value() const { return julianDay_; }
    bool isNull() const { return julianDay_ == 0.0; }

    // The current date and time (UTC). The flag is accepted for compatibility
    // and has no effect.
    static QxbDate currentDate(bool local);

    // "YYYY-MM-DD HH:MM:SS" in UTC; the null date gives a null string.
    QxbString toString() const;
    // Accepts "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" and "YYYY-MM-DDTHH:MM[:SS][Z]".
    static bool fromString(const char* text, QxbDate* out);
    // Conversions to and from seconds since 1970-01-01 UTC.
    static QxbDate fromUnixSeconds(double seconds);
    double toUnixSeconds() const;

private:
    double julianDay_;
};

// ---------------------------------------------------------------------------
// Value types of QxbDatavar. The numbers are also the engine's field type codes.
enum qxbType {
    QXB_TYPE_NULL = 0,
    QXB_TYPE_BOOL = 1,
    QXB_TYPE_INT = 2,
    QXB_TYPE_DOUBLE = 3,
    QXB_TYPE_STRING = 4,
    QXB_TYPE_DATE = 5,
    QXB_TYPE_INT64 = 6
};

// QxbDatavar: a variant value. A default-constructed value is null.
class QXB_API QxbDatavar {
public:
    QxbDatavar();
    QxbDatavar(const QxbDatavar& other);
    QxbDatavar(QxbDatavar&& other) noexcept;
    QxbDatavar& operator=(const QxbDatavar& other);
    QxbDatavar& operator=(QxbDatavar&& other) noexcept;
    ~QxbDatavar();

    void assign(bool value);
    void assign(int value);
    void assign(std::int64_t value);
    void assign(double value);
    void assign(const char* text);  // null pointer: a null value
    void assign(const char* text, std::size_t length);  // the bytes as they are; null pointer: a null value
    void assign(const QxbString& text);  // a null text: a null value
    void assign(const QxbDate& date);  // the null date: a null value
    void setNull();

    // Conversions. Texts "true"/"yes"/"y"/"1"/"on" (any case) are true, as is
    // any non-zero number. A failed conversion answers 0 / false / null text
    // and sets *ok to false.
    bool asBool(bool* ok = nullptr) const;
    int asInt(bool* ok = nullptr) const;
    std::int64_t asInt64(bool* ok = nullptr) const;
    double asDouble(bool* ok = nullptr) const;
    QxbString asString() const;  // null for a null value; dates as QxbDate::toString
    QxbDate asDate(bool* ok = nullptr) const;

    bool isNull() const { return type_ == QXB_TYPE_NULL; }
    qxbType type() const { return type_; }
    // The text a QXB_TYPE_STRING value holds, without a copy (valid while
    // the value is unchanged); null for any other type.
    const QxbString* text() const { return type_ == QXB_TYPE_STRING ? &text_ : nullptr; }
    // Converts the held value to the given type; a value that does not
    // convert becomes null. QXB_TYPE_NULL makes the value null.
    void setType(qxbType type);

    bool operator==(const QxbDatavar& other) const;

private:
    void clear();
    qxbType type_;
    union {
        bool b;
        std::int64_t i;
        double d;
    } num_;
    QxbString text_;
};

// ---------------------------------------------------------------------------
// Formatting as printf does; also accepts the length modifier "I64" for
// 64-bit integers ("%I64u", "%I64d").
QXB_API QxbString qxbStringFormat(const char* format, ...);

// ---------------------------------------------------------------------------
// Message catalogue. Texts are looked up by module name and code; arguments
// are inserted verbatim where the catalogue text names them (%1, %2, ...), so
// an argument is never read as a format. An unknown module or code answers a
// text that names both. sourceFile and line say who asked; they are not part
// of the text.
QXB_API QxbString qxbGetMessageV(const char* sourceFile, int line, const char* module, int code,
                                 const QxbString* args, int argCount);

template <typename... Args>
inline QxbString qxb_get_message(const char* sourceFile, int line, const char* module, int code,
                                 const Args&... args) {
    const QxbString values[] = {QxbString(args)..., QxbString()};
    return qxbGetMessageV(sourceFile, line, module, code, values, static_cast<int>(sizeof...(Args)));
}

// ---------------------------------------------------------------------------
// The home folder: where configuration, repositories, data and logs live.
// Chosen by qxbSetHomeFolder, else the RDM_HOME variable, else
// $XDG_DATA_HOME/rdm, else $HOME/.local/share/rdm. Never ends with '/'.
QXB_API void qxbSetHomeFolder(const char* path);  // null: back to the default rules
QXB_API std::string qxbHomeFolder();
// Creates the home folder (owner-only permissions) and its sub-folders
// "repositories" and "logs" when missing. False with the reason in *error.
QXB_API bool qxbEnsureHomeFolder(QxbString* error);
// Resolves a path against the home folder unless it is absolute.
QXB_API std::string qxbResolveHomePath(const std::string& path);

// Configuration options, read from "config.toml" in the home folder. A key
// "SECTION/NAME" is key NAME of table [SECTION]. Values of any scalar type
// are answered as text (booleans as "true"/"false").
class QXB_API QxbConfigOptions {
public:
    virtual ~QxbConfigOptions();  // defined in the library, which then owns the type's identity
    // True when the key exists; its value is then written to *value.
    virtual bool get(const QxbString& key, QxbString* value, int reserved) = 0;
    // The data sources of table [datasources]: one sub-table per name with the
    // keys "connection", "driver" and "description". Answers the count.
    virtual int dataSourceCount() = 0;
    virtual bool dataSource(int index, QxbString* name, QxbString* connection, QxbString* driver,
                            QxbString* description) = 0;
    // The path of the file these options were read from.
    virtual QxbString path() = 0;
};

// Answers the options for the given name (only the default, null name is
// known). The object belongs to the library and is not released; it is read
// again when the file changes. A missing file gives empty options. A file
// that cannot be read or parsed answers null; qxbGetConfigError() then names
// the file, the line and the reason.
QXB_API QxbConfigOptions* qxbGetConfigOptions(const QxbString& name);
QXB_API QxbString qxbGetConfigError();

// ---------------------------------------------------------------------------
// Text files, read line by line.
enum QxbTxtFileOpenMode { QXB_TXT_READ = 1 };

class QXB_API QxbTxtFile {
public:
    // Reads the next line. Answers the line's length + 1 (> 0) when a line
    // was read, 0 at end of file, -1 on a read error. *line points at the
    // line's text without its end (LF or CRLF), owned by the file object and
    // valid until the next call. A UTF-8 byte-order mark before the first
    // line is skipped. A line longer than 1 MiB (without its end) answers -1
    // with errno EOVERFLOW, and so does every later call. The first and last
    // arguments are reserved.
    virtual int readLine(int reserved, char** line, int reserved2) = 0;
    // Closes the file and frees the object.
    virtual void close() = 0;

protected:
    virtual ~QxbTxtFile();  // defined in the library, which then owns the type's identity
};

// Opens a text file. Null with the reason (naming the path) in *error.
QXB_API QxbTxtFile* qxbTxtFileOpen(const char* path, QxbTxtFileOpenMode mode, int reserved1,
                                   int reserved2, QxbString* error);
