// The value parsers of the option table: integers and numbers as the option
// text writes them (whatever the application's locale), times and durations,
// flags and stream indices.
#include "media/engine/option_values.h"

#include <locale.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "media/exception.h"
#include "media/ffapi.h"
#include "media/text.h"

namespace zorvex::option_values {

using text::Fmt;
using text::Trim;

namespace {

[[noreturn]] void Fail(const std::string& message) {
    throw FFmpegException(message);
}

// Integer text: optional blanks, a sign, then decimal digits or hexadecimal digits
// after "$" or "0x"; nothing may follow.
template <typename Int>
bool ParseInteger(const std::string& text, Int& out) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return false;
    unsigned long long magnitude = 0;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    auto [end, ec] = std::from_chars(first, last, magnitude, base);
    if (ec != std::errc() || end != last) return false;
    using Limits = std::numeric_limits<Int>;
    if (negative) {
        if (magnitude > static_cast<unsigned long long>(Limits::max()) + 1ULL) return false;
        out = magnitude == 0 ? 0 : static_cast<Int>(-static_cast<long long>(magnitude - 1) - 1);
    } else {
        if (magnitude > static_cast<unsigned long long>(Limits::max())) return false;
        out = static_cast<Int>(magnitude);
    }
    return true;
}

// Decimal number with "." as separator, surrounding blanks allowed:
// [sign] digits [. digits] [e [sign] digits]. Locale independent.
bool ParseFloat(const std::string& text, double& out) {
    const std::string t = Trim(text);
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        size_t exponent = 0;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++exponent;
        if (exponent == 0) return false;
    }
    if (i != t.size()) return false;
    const size_t skip = t[0] == '+' ? 1 : 0;
    double v = 0;
    auto [end, ec] = std::from_chars(t.data() + skip, t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

}  // namespace

int StrToInt(const std::string& text) {
    int v = 0;
    if (!ParseInteger(text, v)) Fail(Fmt("'%s' is not a valid integer value", text.c_str()));
    return v;
}

std::int64_t StrToInt64(const std::string& text) {
    long long v = 0;
    if (!ParseInteger(text, v)) Fail(Fmt("'%s' is not a valid integer value", text.c_str()));
    return v;
}

int StrToIntDef(const std::string& text, int fallback) {
    int v = 0;
    return ParseInteger(text, v) ? v : fallback;
}

float StrToFloat(const std::string& text) {
    double v = 0;
    if (!ParseFloat(text, v)) Fail(Fmt("'%s' is not a valid floating point value", text.c_str()));
    return static_cast<float>(v);
}

double StrToFloatDef(const std::string& text, double fallback) {
    double v = 0;
    return ParseFloat(text, v) ? v : fallback;
}

// strtod in the C locale, whatever locale the application set.
double CStrtod(const char* text, char** end) {
    static locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
    return strtod_l(text, end, cLocale);
}

std::int64_t ParseTime(const std::string& option, const std::string& value, bool duration) {
    std::int64_t t = 0;
    if (ff::av_parse_time(&t, value.c_str(), duration ? 1 : 0) < 0) {
        Fail(Fmt("Invalid %s specification for %s: %s", duration ? "duration" : "date",
                 option.c_str(), value.c_str()));
    }
    return t;
}

bool Flag(const std::string& value) {
    return value != "0";
}

// Reads a number like strtol with base 0; false when it does not fit an int.
bool ReadIndex(const char*& p, long long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(p, &end, 0);
    p = end;
    return errno == 0 && out >= INT_MIN && out <= INT_MAX;
}

std::string InvalidValueText(const std::string& name, const std::string& value) {
    return text::Fmt("Invalid value \"%s\" for option \"%s\"", value.c_str(), name.c_str());
}

}  // namespace zorvex::option_values
