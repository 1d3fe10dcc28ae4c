// The value parsers of the option table. Internal to the engine.
#pragma once

#include <cstdint>
#include <string>

namespace zorvex::option_values {

// Integers: optional blanks and sign, then decimal digits or hexadecimal digits
// after "$" or "0x". The plain forms throw FFmpegException on bad text, the
// "Def" forms return the fallback.
int StrToInt(const std::string& text);
std::int64_t StrToInt64(const std::string& text);
int StrToIntDef(const std::string& text, int fallback);

// Numbers with "." as the separator in any locale; same error rules as above.
float StrToFloat(const std::string& text);
double StrToFloatDef(const std::string& text, double fallback);

// strtod in the C locale, whatever locale the application set.
double CStrtod(const char* text, char** end);

// A date or (when duration) a duration in microseconds; throws FFmpegException
// naming the option when the value is not one.
std::int64_t ParseTime(const std::string& option, const std::string& value, bool duration);

// The warning for a value an option refuses: Invalid value "VALUE" for option "NAME".
std::string InvalidValueText(const std::string& name, const std::string& value);

// Any value but "0" turns a flag option on.
bool Flag(const std::string& value);

// Reads a number like strtol with base 0 and moves p past it; false when it
// does not fit an int.
bool ReadIndex(const char*& p, long long& out);

}  // namespace zorvex::option_values
