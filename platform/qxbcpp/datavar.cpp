// QxbDatavar: a small variant value (no heap unless it holds a text).
//
// Conversions between numbers and dates read the number as a Julian day
// number, the same value QxbDate holds; booleans never convert to dates.
#include "qxbcpp.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The text without surrounding blanks.
std::string trimmed(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool parseInt64(const std::string& text, std::int64_t* value) {
    const std::string t = trimmed(text);
    if (t.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(t.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || end == t.c_str()) return false;
    *value = v;
    return true;
}

bool parseDouble(const std::string& text, double* value) {
    const std::string t = trimmed(text);
    if (t.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(t.c_str(), &end);
    if (errno == ERANGE || *end != '\0' || end == t.c_str() || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

bool parseBoolWord(const std::string& text, bool* value) {
    static const char* const kTrue[] = {"true", "yes", "y", "1", "on"};
    static const char* const kFalse[] = {"false", "no", "n", "0", "off"};
    const std::string t = trimmed(text);
    for (const char* word : kTrue) {
        if (strcasecmp(t.c_str(), word) == 0) {
            *value = true;
            return true;
        }
    }
    for (const char* word : kFalse) {
        if (strcasecmp(t.c_str(), word) == 0) {
            *value = false;
            return true;
        }
    }
    double number = 0;
    if (!parseDouble(t, &number)) return false;
    *value = number != 0.0;
    return true;
}

// Shortest decimal text that reads back as the same double.
std::string doubleText(double value) {
    char buffer[40];
    for (int precision = 15; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value) break;
    }
    return buffer;
}

bool doubleToInt64(double value, std::int64_t* out) {
    // 2^63 is exactly representable; anything at or above it does not fit.
    if (!std::isfinite(value) || value >= 9223372036854775808.0 || value < -9223372036854775808.0)
        return false;
    *out = static_cast<std::int64_t>(value);  // truncates toward zero
    return true;
}

template <typename T>
T fail(bool* ok, T value) {
    if (ok) *ok = false;
    return value;
}

template <typename T>
T succeed(bool* ok, T value) {
    if (ok) *ok = true;
    return value;
}

}  // namespace

QxbDatavar::QxbDatavar() : type_(QXB_TYPE_NULL) { num_.i = 0; }

QxbDatavar::QxbDatavar(const QxbDatavar& other)
    : type_(other.type_), num_(other.num_), text_(other.text_) {}

QxbDatavar::QxbDatavar(QxbDatavar&& other) noexcept
    : type_(other.type_), num_(other.num_), text_(std::move(other.text_)) {
    other.type_ = QXB_TYPE_NULL;
}

QxbDatavar& QxbDatavar::operator=(const QxbDatavar& other) {
    if (this != &other) {
        type_ = other.type_;
        num_ = other.num_;
        if (other.type_ == QXB_TYPE_STRING)
            text_ = other.text_;
        else
            text_.setNull();
    }
    return *this;
}

QxbDatavar& QxbDatavar::operator=(QxbDatavar&& other) noexcept {
    if (this != &other) {
        type_ = other.type_;
        num_ = other.num_;
        text_ = std::move(other.text_);
        other.type_ = QXB_TYPE_NULL;
    }
    return *this;
}

QxbDatavar::~QxbDatavar() = default;

void QxbDatavar::clear() {
    if (!text_.isNull()) text_.setNull();
    num_.i = 0;
    type_ = QXB_TYPE_NULL;
}

void QxbDatavar::setNull() { clear(); }

void QxbDatavar::assign(bool value) {
    clear();
    type_ = QXB_TYPE_BOOL;
    num_.b = value;
}

void QxbDatavar::assign(int value) {
    clear();
    type_ = QXB_TYPE_INT;
    num_.i = value;
}

void QxbDatavar::assign(std::int64_t value) {
    clear();
    type_ = QXB_TYPE_INT64;
    num_.i = value;
}

void QxbDatavar::assign(double value) {
    clear();
    type_ = QXB_TYPE_DOUBLE;
    num_.d = value;
}

void QxbDatavar::assign(const char* text) {
    assign(text, text != nullptr ? std::strlen(text) : 0);
}

void QxbDatavar::assign(const char* text, std::size_t length) {
    // A text replaces a text in its room.
    if (type_ != QXB_TYPE_STRING || text == nullptr) clear();
    if (text == nullptr) return;
    num_.i = 0;
    type_ = QXB_TYPE_STRING;
    text_.assign(text, length);
}

void QxbDatavar::assign(const QxbString& text) {
    if (&text == &text_) return;  // already holds exactly this text
    clear();
    if (text.isNull()) return;
    type_ = QXB_TYPE_STRING;
    text_ = text;
}

void QxbDatavar::assign(const QxbDate& date) {
    clear();
    if (date.isNull()) return;
    type_ = QXB_TYPE_DATE;
    num_.d = date.value();
}

bool QxbDatavar::asBool(bool* ok) const {
    bool value = false;
    switch (type_) {
    case QXB_TYPE_BOOL: return succeed(ok, num_.b);
    case QXB_TYPE_INT:
    case QXB_TYPE_INT64: return succeed(ok, num_.i != 0);
    case QXB_TYPE_DOUBLE: return succeed(ok, num_.d != 0.0);
    case QXB_TYPE_STRING:
        if (parseBoolWord(text_.str(), &value)) return succeed(ok, value);
        return fail(ok, false);
    default: return fail(ok, false);
    }
}

std::int64_t QxbDatavar::asInt64(bool* ok) const {
    std::int64_t value = 0;
    double number = 0;
    switch (type_) {
    case QXB_TYPE_BOOL: return succeed<std::int64_t>(ok, num_.b ? 1 : 0);
    case QXB_TYPE_INT:
    case QXB_TYPE_INT64: return succeed(ok, num_.i);
    case QXB_TYPE_DOUBLE:
    case QXB_TYPE_DATE:
        if (doubleToInt64(num_.d, &value)) return succeed(ok, value);
        return fail<std::int64_t>(ok, 0);
    case QXB_TYPE_STRING:
        if (parseInt64(text_.str(), &value)) return succeed(ok, value);
        if (parseDouble(text_.str(), &number) && doubleToInt64(number, &value))
            return succeed(ok, value);
        return fail<std::int64_t>(ok, 0);
    default: return fail<std::int64_t>(ok, 0);
    }
}

int QxbDatavar::asInt(bool* ok) const {
    bool good = false;
    const std::int64_t value = asInt64(&good);
    if (!good || value < INT_MIN || value > INT_MAX) return fail(ok, 0);
    return succeed(ok, static_cast<int>(value));
}

double QxbDatavar::asDouble(bool* ok) const {
    double value = 0;
    switch (type_) {
    case QXB_TYPE_BOOL: return succeed(ok, num_.b ? 1.0 : 0.0);
    case QXB_TYPE_INT:
    case QXB_TYPE_INT64: return succeed(ok, static_cast<double>(num_.i));
    case QXB_TYPE_DOUBLE:
    case QXB_TYPE_DATE: return succeed(ok, num_.d);
    case QXB_TYPE_STRING:
        if (parseDouble(text_.str(), &value)) return succeed(ok, value);
        return fail(ok, 0.0);
    default: return fail(ok, 0.0);
    }
}

QxbString QxbDatavar::asString() const {
    switch (type_) {
    case QXB_TYPE_BOOL: return QxbString(num_.b ? "true" : "false");
    case QXB_TYPE_INT:
    case QXB_TYPE_INT64: return QxbString(std::to_string(num_.i));
    case QXB_TYPE_DOUBLE: return QxbString(doubleText(num_.d));
    case QXB_TYPE_STRING: return text_;
    case QXB_TYPE_DATE: return QxbDate(num_.d).toString();
    default: return QxbString();
    }
}

QxbDate QxbDatavar::asDate(bool* ok) const {
    QxbDate date;
    switch (type_) {
    case QXB_TYPE_DATE: return succeed(ok, QxbDate(num_.d));
    case QXB_TYPE_INT:
    case QXB_TYPE_INT64:
    case QXB_TYPE_DOUBLE: {
        const double day = type_ == QXB_TYPE_DOUBLE ? num_.d : static_cast<double>(num_.i);
        // Day 0 is the null date, so it is no conversion.
        if (day == 0.0 || !std::isfinite(day)) return fail(ok, QxbDate());
        return succeed(ok, QxbDate(day));
    }
    case QXB_TYPE_STRING: {
        const std::string t = trimmed(text_.str());
        if (QxbDate::fromString(t.c_str(), &date)) return succeed(ok, date);
        return fail(ok, QxbDate());
    }
    default: return fail(ok, QxbDate());
    }
}

void QxbDatavar::setType(qxbType type) {
    if (type == type_) return;
    bool ok = false;
    switch (type) {
    case QXB_TYPE_BOOL: {
        const bool v = asBool(&ok);
        if (ok) assign(v); else clear();
        break;
    }
    case QXB_TYPE_INT: {
        const int v = asInt(&ok);
        if (ok) assign(v); else clear();
        break;
    }
    case QXB_TYPE_INT64: {
        const std::int64_t v = asInt64(&ok);
        if (ok) assign(v); else clear();
        break;
    }
    case QXB_TYPE_DOUBLE: {
        const double v = asDouble(&ok);
        if (ok) assign(v); else clear();
        break;
    }
    case QXB_TYPE_STRING: assign(asString()); break;
    case QXB_TYPE_DATE: {
        const QxbDate v = asDate(&ok);
        if (ok) assign(v); else clear();
        break;
    }
    default: clear(); break;
    }
}

// Same type: same value. Numbers of different types compare by value; other
// mixes are unequal.
bool QxbDatavar::operator==(const QxbDatavar& other) const {
    if (type_ == other.type_) {
        switch (type_) {
        case QXB_TYPE_NULL: return true;
        case QXB_TYPE_BOOL: return num_.b == other.num_.b;
        case QXB_TYPE_INT:
        case QXB_TYPE_INT64: return num_.i == other.num_.i;
        case QXB_TYPE_DOUBLE:
        case QXB_TYPE_DATE: return num_.d == other.num_.d;
        case QXB_TYPE_STRING: return text_ == other.text_;
        }
        return false;
    }
    const auto numeric = [](qxbType t) {
        return t == QXB_TYPE_BOOL || t == QXB_TYPE_INT || t == QXB_TYPE_INT64 ||
               t == QXB_TYPE_DOUBLE;
    };
    if (!numeric(type_) || !numeric(other.type_)) return false;
    if (type_ != QXB_TYPE_DOUBLE && other.type_ != QXB_TYPE_DOUBLE) return asInt64() == other.asInt64();
    return asDouble() == other.asDouble();
}
