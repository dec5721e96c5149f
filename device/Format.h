#pragma once
// printf-like formatting, number and date texts with the Delphi class library's meaning:
//   %[index:][-][width][.precision]type   (width, precision and index may be '*')
//   d  decimal; precision = minimum digits, zero-padded ("%2.2d" -> "05", "%3.3d" of -5 -> "-005")
//   u  unsigned decimal; x / X  upper-case hex, precision = minimum digits ("%4.4x" -> "00AF")
//   s  text; precision cuts, width pads (both count characters, not bytes)
//   f  fixed (default precision 2), n  fixed with thousand separators,
//   e  scientific "d.ddd...E+ddd" (precision = significant digits, default 15),
//   g  general: shortest of fixed and scientific (precision 15 by default)
//   %% percent sign
// Width pads with blanks on the left, or on the right with '-'. Floats round half away from
// zero on their decimal digits; NaN prints "NAN", infinities "INF" and "-INF".
// An argument that is missing or of the wrong kind renders as "%!d(MISSING)" or
// "%!d(string=abc)"; an unknown type letter as "%!q(BADVERB)"; nothing raises.
// Integers are accepted by the float types; floats are never accepted by the integer types.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace qrb::device {

// Process-wide regional forms. Tests run with the defaults.
struct TFormatSettings {
    std::string DecimalSeparator = ".";
    std::string ThousandSeparator = ",";
    std::string DateSeparator = "-"; // what '/' prints in a date pattern
    std::string TimeSeparator = ":"; // what ':' prints in a date pattern
    std::string ShortDateFormat = "yyyy-mm-dd";
    std::string LongDateFormat = "yyyy-mm-dd";
    std::string ShortTimeFormat = "hh:nn";
    std::string LongTimeFormat = "hh:nn:ss";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
};

TFormatSettings GetFormatSettings();
void SetFormatSettings(const TFormatSettings& settings);
std::string GetDecimalSeparator();
void SetDecimalSeparator(std::string separator);
std::string GetShortDateFormat();
void SetShortDateFormat(std::string pattern);
std::string GetLongTimeFormat();
void SetLongTimeFormat(std::string pattern);

// Restores the process-wide settings of its creation when it ends (for tests).
class TFormatSettingsScope {
public:
    TFormatSettingsScope() : saved_(GetFormatSettings()) {}
    explicit TFormatSettingsScope(const TFormatSettings& settings) : saved_(GetFormatSettings()) {
        SetFormatSettings(settings);
    }
    ~TFormatSettingsScope() { SetFormatSettings(saved_); }
    TFormatSettingsScope(const TFormatSettingsScope&) = delete;
    TFormatSettingsScope& operator=(const TFormatSettingsScope&) = delete;

private:
    TFormatSettings saved_;
};

// One argument of Format: a signed or unsigned integer, a double or a text.
class TFormatArg {
public:
    enum class TKind : uint8_t { Signed, Unsigned, Float, String };

    template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>)
        TFormatArg(T value) {
        if constexpr (std::is_signed_v<T>) {
            kind_ = TKind::Signed;
            signed_ = value;
            wide_ = sizeof(T) > 4;
        } else {
            kind_ = TKind::Unsigned;
            unsigned_ = value;
            wide_ = sizeof(T) > 4;
        }
    }
    template <typename T>
    requires std::is_enum_v<T> TFormatArg(T value)
        : TFormatArg(static_cast<std::underlying_type_t<T>>(value)) {}
    template <typename T>
    requires std::is_floating_point_v<T> TFormatArg(T value)
        : kind_(TKind::Float), float_(static_cast<double>(value)) {}
    TFormatArg(char c) : kind_(TKind::String), text_(1, c) {}
    TFormatArg(const char* s) : kind_(TKind::String), text_(s ? s : "") {}
    TFormatArg(std::string_view s) : kind_(TKind::String), text_(s) {}
    TFormatArg(const std::string& s) : kind_(TKind::String), text_(s) {}
    TFormatArg(bool) = delete; // also catches stray pointers

    TKind Kind() const { return kind_; }
    int64_t Signed() const { return signed_; }
    uint64_t Unsigned() const { return unsigned_; }
    double Float() const { return float_; }
    const std::string& Text() const { return text_; }
    // True when the integer came from a 64-bit type (the width of its hex and %u forms).
    bool Wide() const { return wide_; }

private:
    TKind kind_ = TKind::Signed;
    bool wide_ = false;
    int64_t signed_ = 0;
    uint64_t unsigned_ = 0;
    double float_ = 0;
    std::string text_;
};

std::string FormatArgs(const TFormatSettings& settings, std::string_view fmt,
                       std::span<const TFormatArg> args);
std::string FormatArgs(std::string_view fmt, std::span<const TFormatArg> args);

inline std::string Format(std::string_view fmt, std::initializer_list<TFormatArg> args) {
    return FormatArgs(fmt, std::span<const TFormatArg>(args.begin(), args.size()));
}
inline std::string Format(const TFormatSettings& settings, std::string_view fmt,
                          std::initializer_list<TFormatArg> args) {
    return FormatArgs(settings, fmt, std::span<const TFormatArg>(args.begin(), args.size()));
}
template <typename... Args> std::string Format(std::string_view fmt, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return FormatArgs(fmt, {});
    } else {
        const TFormatArg list[] = {TFormatArg(args)...};
        return FormatArgs(fmt, list);
    }
}

// Delphi's FloatToStr: general format with 15 significant digits.
std::string FloatToStr(double value);
std::string FloatToStr(double value, const TFormatSettings& settings);

std::string IntToStr(int64_t value);
std::string UIntToStr(uint64_t value);

// Upper-case hex with at least `digits` digits (bounded to 32); a negative value shows its
// two's complement in the width of its type (IntToHex(-1, 2) -> "FFFFFFFF").
std::string IntToHexBits(uint64_t bits, int digits);
template <typename T>
requires(std::is_integral_v<T> && !std::is_same_v<T, bool>) std::string IntToHex(T value, int digits) {
    if constexpr (std::is_signed_v<T> && sizeof(T) <= 4)
        return IntToHexBits(static_cast<uint32_t>(static_cast<int32_t>(value)), digits);
    else
        return IntToHexBits(static_cast<uint64_t>(value), digits);
}

// Delphi's StrToInt rules: leading blanks, an optional sign, then decimal digits or hex after
// '$', '0x' or '0X'; nothing may follow. Hex up to $FFFFFFFF is taken as the 32-bit pattern
// ($FFFFFFFF -> -1); decimal must fit a 32-bit integer.
bool TryStrToInt(std::string_view text, int32_t& value);
bool TryStrToInt64(std::string_view text, int64_t& value);
int32_t StrToIntDef(std::string_view text, int32_t defaultValue);

// Decimal text with the process-wide decimal separator: blanks around, optional sign, digits
// with at most one separator, optional exponent (E or e, optional sign). No NaN or INF.
bool TryStrToFloat(std::string_view text, double& value);
bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings);

// Days since 1899-12-30, the fraction is the time of day (for negative values the fraction
// counts forward from the start of that day, as in the class library).
using TDateTime = double;

bool TryEncodeDate(int year, int month, int day, TDateTime& value);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value);
// Invalid components give 0 (1899-12-30 00:00).
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec);
// A value outside the years 1..9999 (or NaN) decodes as all zeros.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& msec);
int DayOfWeek(TDateTime value); // 1 = Sunday .. 7 = Saturday; 0 for an invalid value
TDateTime Now();                // local time

// Delphi's FormatDateTime patterns (letters in any case): c d dd ddd dddd ddddd dddddd m mm
// mmm mmmm (m after h is minutes) yy yyyy h hh n nn s ss z zzz t tt am/pm a/p ampm, '/' the
// date separator, ':' the time separator, "..." and '...' literal, anything else as is.
std::string FormatDateTime(std::string_view pattern, TDateTime value);
std::string FormatDateTime(std::string_view pattern, TDateTime value, const TFormatSettings& settings);
std::string DateToStr(TDateTime value);     // ShortDateFormat
std::string TimeToStr(TDateTime value);     // LongTimeFormat
std::string DateTimeToStr(TDateTime value); // "c"

} // namespace qrb::device
