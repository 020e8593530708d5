// QxbString: a byte text with a null state distinct from the empty text.
#include "qxbcpp.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

int lowerAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

// Byte-wise comparison; the shorter text sorts first when it is a prefix.
int compareBytes(const char* a, std::size_t lengthA, const char* b, std::size_t lengthB,
                 bool caseSensitive) {
    const std::size_t common = lengthA < lengthB ? lengthA : lengthB;
    for (std::size_t i = 0; i < common; ++i) {
        int x = static_cast<unsigned char>(a[i]);
        int y = static_cast<unsigned char>(b[i]);
        if (!caseSensitive) {
            x = lowerAscii(static_cast<unsigned char>(x));
            y = lowerAscii(static_cast<unsigned char>(y));
        }
        if (x != y) return x < y ? -1 : 1;
    }
    if (lengthA == lengthB) return 0;
    return lengthA < lengthB ? -1 : 1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

}  // namespace

QxbString::QxbString() : null_(true) {}

QxbString::QxbString(const char* text, bool keepNull)
    : text_(text ? text : ""), null_(text == nullptr && keepNull) {}

QxbString::QxbString(const char* text, std::size_t length) : null_(text == nullptr) {
    if (text) text_.assign(text, length);
}

QxbString::QxbString(const std::string& text) : text_(text), null_(false) {}

QxbString::QxbString(const QxbString& other) = default;

QxbString::QxbString(QxbString&& other) noexcept
    : text_(std::move(other.text_)), null_(other.null_) {
    other.text_.clear();
    other.null_ = true;
}

QxbString& QxbString::operator=(const QxbString& other) = default;

QxbString& QxbString::operator=(QxbString&& other) noexcept {
    if (this != &other) {
        text_ = std::move(other.text_);
        null_ = other.null_;
        other.text_.clear();
        other.null_ = true;
    }
    return *this;
}

QxbString::~QxbString() = default;

void QxbString::assign(const char* text) {
    if (!text) {
        setNull();
        return;
    }
    text_.assign(text);
    null_ = false;
}

void QxbString::assign(const char* text, std::size_t length) {
    if (!text) {
        setNull();
        return;
    }
    text_.assign(text, length);
    null_ = false;
}

void QxbString::assign(const QxbString& other) {
    if (this != &other) *this = other;
}

void QxbString::assign(int value) {
    text_ = std::to_string(value);
    null_ = false;
}

void QxbString::setNull() {
    // Give a heap buffer back: null texts are common in large row sets. A
    // text held inline has none.
    if (text_.capacity() > std::string().capacity())
        std::string().swap(text_);
    else
        text_.clear();
    null_ = true;
}

int QxbString::compare(const QxbString& other, bool caseSensitive) const {
    return compareBytes(text_.data(), text_.size(), other.text_.data(), other.text_.size(),
                        caseSensitive);
}

int QxbString::compare(const char* other, bool caseSensitive) const {
    if (!other) other = "";
    return compareBytes(text_.data(), text_.size(), other, std::strlen(other), caseSensitive);
}

QxbString& QxbString::append(const QxbString& other, bool* ok) {
    text_.append(other.text_);
    null_ = false;
    if (ok) *ok = true;
    return *this;
}

QxbString QxbString::mid(unsigned start, unsigned count) const {
    if (null_) return QxbString();
    if (start >= text_.size()) return QxbString("", std::size_t(0));
    return QxbString(text_.substr(start, count));
}

int QxbString::asInt(bool* ok) const {
    const char* begin = text_.c_str();
    while (isBlank(*begin)) ++begin;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    bool good = end != begin && errno == 0 && value >= INT_MIN && value <= INT_MAX &&
                !isBlank(*begin);
    if (good) {
        while (isBlank(*end)) ++end;
        // Trailing garbage, or a NUL byte inside the text, is a failure.
        good = *end == '\0' && static_cast<std::size_t>(end - text_.c_str()) == text_.size();
    }
    if (ok) *ok = good;
    return good ? static_cast<int>(value) : 0;
}

// Strict: null equals only null, so tests and callers can tell the states apart.
bool QxbString::operator==(const QxbString& other) const {
    return null_ == other.null_ && text_ == other.text_;
}
