// QxbDate: dates as Julian day numbers (UTC), text and Unix-time conversions.
#include "qxbcpp.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

const double kUnixEpochJulianDay = 2440587.5;  // 1970-01-01 00:00:00 UTC
const double kSecondsPerDay = 86400.0;

struct CivilTime {
    long long year;
    unsigned month, day, hour, minute, second;
};

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, CivilTime* out) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    out->day = doy - (153 * mp + 2) / 5 + 1;
    out->month = mp < 10 ? mp + 3 : mp - 9;
    out->year = static_cast<long long>(yoe) + era * 400 + (out->month <= 2);
}

bool isLeapYear(long long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(long long y, unsigned m) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && isLeapYear(y)) ? 29 : kDays[m - 1];
}

// Reads exactly `count` decimal digits.
bool readDigits(const char*& p, int count, unsigned* value) {
    unsigned v = 0;
    for (int i = 0; i < count; ++i, ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + static_cast<unsigned>(*p - '0');
    }
    *value = v;
    return true;
}

bool readExpected(const char*& p, char c) {
    if (*p != c) return false;
    ++p;
    return true;
}

// Time part after the date: "HH:MM[:SS[.fff]]"; fractions are read and dropped
// to the millisecond.
bool readTime(const char*& p, CivilTime* t, double* fraction) {
    if (!readDigits(p, 2, &t->hour) || !readExpected(p, ':') || !readDigits(p, 2, &t->minute))
        return false;
    if (*p == ':') {
        ++p;
        if (!readDigits(p, 2, &t->second)) return false;
        if (*p == '.') {
            ++p;
            double scale = 0.1;
            if (*p < '0' || *p > '9') return false;
            while (*p >= '0' && *p <= '9') {
                *fraction += (*p++ - '0') * scale;
                scale /= 10;
            }
        }
    }
    return t->hour < 24 && t->minute < 60 && t->second < 60;
}

}  // namespace

QxbDate::QxbDate() : julianDay_(0.0) {}
QxbDate::QxbDate(const QxbDate& other) = default;
QxbDate& QxbDate::operator=(const QxbDate& other) = default;
QxbDate::QxbDate(double julianDay) : julianDay_(julianDay) {}

void QxbDate::assign(double julianDay) { julianDay_ = julianDay; }

QxbDate QxbDate::currentDate(bool /*local*/) {
    using namespace std::chrono;
    const auto since = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
    return fromUnixSeconds(static_cast<double>(since.count()) / 1000.0);
}

QxbString QxbDate::toString() const {
    if (isNull() || !std::isfinite(julianDay_)) return QxbString();
    const long long total = std::llround(toUnixSeconds());
    long long days = total / 86400;
    long long rest = total % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    CivilTime t{};
    civilFromDays(days, &t);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day,
                  static_cast<unsigned>(rest / 3600), static_cast<unsigned>(rest / 60 % 60),
                  static_cast<unsigned>(rest % 60));
    return QxbString(buffer);
}

bool QxbDate::fromString(const char* text, QxbDate* out) {
    if (!text) return false;
    const char* p = text;
    CivilTime t{};
    unsigned year = 0;
    double fraction = 0.0;
    if (!readDigits(p, 4, &year) || !readExpected(p, '-') || !readDigits(p, 2, &t.month) ||
        !readExpected(p, '-') || !readDigits(p, 2, &t.day))
        return false;
    t.year = year;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > daysInMonth(t.year, t.month))
        return false;
    if (*p == ' ' || *p == 'T') {
        const bool isoForm = *p == 'T';
        ++p;
        if (!readTime(p, &t, &fraction)) return false;
        if (isoForm && *p == 'Z') ++p;
    }
    if (*p != '\0') return false;
    const double seconds = static_cast<double>(daysFromCivil(t.year, t.month, t.day)) * kSecondsPerDay +
                           t.hour * 3600.0 + t.minute * 60.0 + t.second + fraction;
    if (out) *out = fromUnixSeconds(seconds);
    return true;
}

QxbDate QxbDate::fromUnixSeconds(double seconds) {
    return QxbDate(seconds / kSecondsPerDay + kUnixEpochJulianDay);
}

double QxbDate::toUnixSeconds() const {
    return (julianDay_ - kUnixEpochJulianDay) * kSecondsPerDay;
}
