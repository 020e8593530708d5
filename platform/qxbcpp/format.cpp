// qxbStringFormat: printf formatting into a QxbString, with the "I64" length
// modifier that older callers use for 64-bit integers.
#include "qxbcpp.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Rewrites "%I64d" style conversions to "%lld"; "%%" is copied untouched so a
// literal "%I64" after it stays literal.
std::string rewriteI64(const char* format) {
    std::string out;
    out.reserve(std::strlen(format) + 8);
    for (const char* p = format; *p;) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        out += *p++;
        if (*p == '%') {
            out += *p++;
            continue;
        }
        while (*p && std::strchr("-+ #0'123456789.*", *p)) out += *p++;
        if (std::strncmp(p, "I64", 3) == 0) {
            out += "ll";
            p += 3;
        }
    }
    return out;
}

QxbString formatV(const char* format, va_list args) {
    char stackBuffer[512];
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(stackBuffer, sizeof stackBuffer, format, copy);
    va_end(copy);
    if (needed < 0) return QxbString("", std::size_t(0));
    if (static_cast<std::size_t>(needed) < sizeof stackBuffer)
        return QxbString(stackBuffer, static_cast<std::size_t>(needed));
    std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return QxbString(buffer.data(), static_cast<std::size_t>(needed));
}

}  // namespace

QxbString qxbStringFormat(const char* format, ...) {
    if (!format) return QxbString();
    va_list args;
    va_start(args, format);
    QxbString result;
    if (std::strstr(format, "I64")) {
        const std::string rewritten = rewriteI64(format);
        result = formatV(rewritten.c_str(), args);
    } else {
        result = formatV(format, args);
    }
    va_end(args);
    return result;
}
