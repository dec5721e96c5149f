#include "device/Format.h"

#include "device/Cp1252.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <mutex>
#include <system_error>

namespace qrb::device {

namespace {

std::mutex& SettingsMutex() {
    static std::mutex m;
    return m;
}

TFormatSettings& SettingsStore() {
    static TFormatSettings s;
    return s;
}

constexpr int kMaxWidth = 4096;  // bounds widths and precisions taken from arguments
constexpr int kMaxDigits = 18;   // significant digits a float is converted with
constexpr int kMaxDecimals = 18; // as the class library's fixed formats

// A finite double as decimal digits: value = d1.d2d3... x 10^exp10. Empty digits mean zero.
struct TDecimal {
    bool negative = false;
    std::string digits;
    int exp10 = 0;
};

TDecimal ToDecimal(double value) {
    TDecimal d;
    d.negative = std::signbit(value);
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, kMaxDigits - 1);
    const std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
    const size_t e = text.find('e');
    for (size_t i = 0; i < e; ++i) {
        if (text[i] != '.') d.digits += text[i];
    }
    int exp = 0;
    const char* expBegin = text.data() + e + 1;
    if (*expBegin == '+') ++expBegin;
    std::from_chars(expBegin, text.data() + text.size(), exp);
    d.exp10 = exp;
    if (d.digits.find_first_not_of('0') == std::string::npos) d.digits.clear();
    return d;
}

// Keeps `keep` significant digits, rounding half away from zero.
void RoundDigits(TDecimal& d, int keep) {
    if (d.digits.empty()) return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const bool up = keep < static_cast<int>(d.digits.size()) && d.digits[static_cast<size_t>(keep)] >= '5';
    if (keep < static_cast<int>(d.digits.size())) d.digits.resize(static_cast<size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') {
            d.digits[static_cast<size_t>(i)] = '0';
            --i;
        }
        if (i >= 0) {
            ++d.digits[static_cast<size_t>(i)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            d.exp10 += 1;
        }
    }
    const size_t last = d.digits.find_last_not_of('0');
    if (last == std::string::npos)
        d.digits.clear();
    else
        d.digits.resize(last + 1);
}

char DigitAt(const TDecimal& d, int index) {
    if (index < 0 || index >= static_cast<int>(d.digits.size())) return '0';
    return d.digits[static_cast<size_t>(index)];
}

std::string GroupThousands(const std::string& intPart, const std::string& separator) {
    std::string out;
    const size_t n = intPart.size();
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += separator;
        out += intPart[i];
    }
    return out;
}

// Fixed notation with `decimals` places of an already rounded decimal.
std::string FixedText(const TDecimal& d, int decimals, const std::string& separator,
                      const std::string* thousands) {
    std::string intPart;
    if (d.digits.empty() || d.exp10 < 0) {
        intPart = "0";
    } else {
        for (int i = 0; i <= d.exp10; ++i)
            intPart += DigitAt(d, i);
    }
    if (thousands) intPart = GroupThousands(intPart, *thousands);
    std::string out;
    if (d.negative && !d.digits.empty()) out += '-';
    out += intPart;
    if (decimals > 0) {
        out += separator;
        for (int i = 1; i <= decimals; ++i)
            out += d.digits.empty() ? '0' : DigitAt(d, d.exp10 + i);
    }
    return out;
}

std::string ExponentText(int exp10, int minDigits) {
    std::string digits = std::to_string(exp10 < 0 ? -exp10 : exp10);
    while (static_cast<int>(digits.size()) < minDigits)
        digits.insert(digits.begin(), '0');
    return std::string("E") + (exp10 < 0 ? "-" : "+") + digits;
}

bool NonFiniteText(double value, std::string& out) {
    if (std::isnan(value)) {
        out = "NAN";
        return true;
    }
    if (std::isinf(value)) {
        out = value < 0 ? "-INF" : "INF";
        return true;
    }
    return false;
}

std::string FixedFloat(double value, int decimals, const std::string& separator,
                       const std::string* thousands) {
    std::string out;
    if (NonFiniteText(value, out)) return out;
    TDecimal d = ToDecimal(value);
    RoundDigits(d, d.exp10 + 1 + decimals);
    return FixedText(d, decimals, separator, thousands);
}

std::string ScientificFloat(double value, int precision, const std::string& separator) {
    std::string out;
    if (NonFiniteText(value, out)) return out;
    TDecimal d = ToDecimal(value);
    RoundDigits(d, precision);
    if (d.negative && !d.digits.empty()) out += '-';
    out += DigitAt(d, 0);
    if (precision > 1) {
        out += separator;
        for (int i = 1; i < precision; ++i)
            out += DigitAt(d, i);
    }
    out += ExponentText(d.digits.empty() ? 0 : d.exp10, 3);
    return out;
}

std::string GeneralFloat(double value, int precision, const std::string& separator) {
    std::string out;
    if (NonFiniteText(value, out)) return out;
    TDecimal d = ToDecimal(value);
    RoundDigits(d, precision);
    if (d.digits.empty()) return "0";
    const int len = static_cast<int>(d.digits.size());
    if (d.exp10 + 1 <= precision && d.exp10 >= -5) {
        const int decimals = len - (d.exp10 + 1);
        return FixedText(d, decimals > 0 ? decimals : 0, separator, nullptr);
    }
    if (d.negative) out += '-';
    out += d.digits[0];
    if (len > 1) out += separator + d.digits.substr(1);
    out += ExponentText(d.exp10, 0);
    return out;
}

std::string UnsignedText(uint64_t value, int base) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, base);
    std::string out(buf, res.ptr);
    if (base == 16) {
        for (char& c : out) {
            if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

void ZeroPad(std::string& digits, int minDigits) {
    if (minDigits > kMaxWidth) minDigits = kMaxWidth;
    if (static_cast<int>(digits.size()) < minDigits)
        digits.insert(0, static_cast<size_t>(minDigits) - digits.size(), '0');
}

std::string KindName(const TFormatArg& arg) {
    switch (arg.Kind()) {
    case TFormatArg::TKind::Signed:
        return "int=" + std::to_string(arg.Signed());
    case TFormatArg::TKind::Unsigned:
        return "uint=" + std::to_string(arg.Unsigned());
    case TFormatArg::TKind::Float:
        return "float=" + GeneralFloat(arg.Float(), 15, ".");
    case TFormatArg::TKind::String:
        return "string=" + arg.Text();
    }
    return "?";
}

std::string BadArg(char verb, const std::string& what) {
    return std::string("%!") + verb + "(" + what + ")";
}

void Pad(std::string& out, const std::string& text, int width, bool left) {
    const size_t len = Utf8Length(text);
    const size_t w = width > kMaxWidth ? kMaxWidth : static_cast<size_t>(width < 0 ? 0 : width);
    if (len >= w) {
        out += text;
    } else if (left) {
        out += text;
        out.append(w - len, ' ');
    } else {
        out.append(w - len, ' ');
        out += text;
    }
}

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads decimal digits (bounded) at pos; false when there are none.
bool ReadNumber(std::string_view fmt, size_t& pos, int& value) {
    if (pos >= fmt.size() || !IsAsciiDigit(fmt[pos])) return false;
    value = 0;
    while (pos < fmt.size() && IsAsciiDigit(fmt[pos])) {
        if (value <= kMaxWidth) value = value * 10 + (fmt[pos] - '0');
        ++pos;
    }
    return true;
}

} // namespace

TFormatSettings GetFormatSettings() {
    std::lock_guard lock(SettingsMutex());
    return SettingsStore();
}

void SetFormatSettings(const TFormatSettings& settings) {
    std::lock_guard lock(SettingsMutex());
    SettingsStore() = settings;
}

std::string GetDecimalSeparator() {
    std::lock_guard lock(SettingsMutex());
    return SettingsStore().DecimalSeparator;
}

void SetDecimalSeparator(std::string separator) {
    std::lock_guard lock(SettingsMutex());
    SettingsStore().DecimalSeparator = std::move(separator);
}

std::string GetShortDateFormat() {
    std::lock_guard lock(SettingsMutex());
    return SettingsStore().ShortDateFormat;
}

void SetShortDateFormat(std::string pattern) {
    std::lock_guard lock(SettingsMutex());
    SettingsStore().ShortDateFormat = std::move(pattern);
}

std::string GetLongTimeFormat() {
    std::lock_guard lock(SettingsMutex());
    return SettingsStore().LongTimeFormat;
}

void SetLongTimeFormat(std::string pattern) {
    std::lock_guard lock(SettingsMutex());
    SettingsStore().LongTimeFormat = std::move(pattern);
}

std::string FormatArgs(std::string_view fmt, std::span<const TFormatArg> args) {
    return FormatArgs(GetFormatSettings(), fmt, args);
}

std::string FormatArgs(const TFormatSettings& settings, std::string_view fmt,
                       std::span<const TFormatArg> args) {
    std::string out;
    out.reserve(fmt.size() + 16);
    size_t argIndex = 0;
    size_t pos = 0;
    while (pos < fmt.size()) {
        const char c = fmt[pos];
        if (c != '%') {
            out += c;
            ++pos;
            continue;
        }
        ++pos;
        if (pos < fmt.size() && fmt[pos] == '%') {
            out += '%';
            ++pos;
            continue;
        }

        // Takes the next argument as a width or precision.
        bool badStar = false;
        const auto starValue = [&](int& value) {
            if (argIndex >= args.size() || (args[argIndex].Kind() != TFormatArg::TKind::Signed &&
                                            args[argIndex].Kind() != TFormatArg::TKind::Unsigned)) {
                badStar = true;
                ++argIndex;
                return;
            }
            const TFormatArg& a = args[argIndex++];
            int64_t v = a.Kind() == TFormatArg::TKind::Signed
                            ? a.Signed()
                            : static_cast<int64_t>(a.Unsigned() > kMaxWidth ? kMaxWidth : a.Unsigned());
            if (v < 0) v = 0;
            value = static_cast<int>(v > kMaxWidth ? kMaxWidth : v);
        };

        // Index: digits followed by ':'.
        {
            size_t p = pos;
            int index = 0;
            if (ReadNumber(fmt, p, index) && p < fmt.size() && fmt[p] == ':') {
                argIndex = static_cast<size_t>(index);
                pos = p + 1;
            } else if (pos + 1 < fmt.size() && fmt[pos] == '*' && fmt[pos + 1] == ':') {
                int v = 0;
                starValue(v);
                argIndex = static_cast<size_t>(v);
                pos += 2;
            }
        }
        bool left = false;
        if (pos < fmt.size() && fmt[pos] == '-') {
            left = true;
            ++pos;
        }
        int width = 0;
        if (pos < fmt.size() && fmt[pos] == '*') {
            starValue(width);
            ++pos;
        } else {
            ReadNumber(fmt, pos, width);
        }
        int precision = -1;
        if (pos < fmt.size() && fmt[pos] == '.') {
            ++pos;
            precision = 0;
            if (pos < fmt.size() && fmt[pos] == '*') {
                starValue(precision);
                ++pos;
            } else {
                ReadNumber(fmt, pos, precision);
            }
        }
        if (pos >= fmt.size()) {
            out += "%!(NOVERB)";
            break;
        }
        char verb = fmt[pos++];
        if (verb >= 'A' && verb <= 'Z') verb = static_cast<char>(verb - 'A' + 'a');
        if (badStar) {
            out += BadArg(verb, "BADWIDTH");
            continue;
        }
        if (verb != 'd' && verb != 'u' && verb != 'x' && verb != 's' && verb != 'f' && verb != 'n' &&
            verb != 'e' && verb != 'g') {
            out += BadArg(fmt[pos - 1], "BADVERB");
            continue;
        }
        if (argIndex >= args.size()) {
            out += BadArg(verb, "MISSING");
            ++argIndex;
            continue;
        }
        const TFormatArg& arg = args[argIndex++];
        const bool isInt =
            arg.Kind() == TFormatArg::TKind::Signed || arg.Kind() == TFormatArg::TKind::Unsigned;
        std::string text;
        switch (verb) {
        case 'd':
        case 'u':
        case 'x': {
            if (!isInt) {
                text = BadArg(verb, KindName(arg));
                break;
            }
            bool negative = false;
            uint64_t magnitude = 0;
            if (arg.Kind() == TFormatArg::TKind::Unsigned) {
                magnitude = arg.Unsigned();
            } else if (verb == 'd') {
                negative = arg.Signed() < 0;
                magnitude =
                    negative ? 0 - static_cast<uint64_t>(arg.Signed()) : static_cast<uint64_t>(arg.Signed());
            } else if (arg.Wide()) {
                magnitude = static_cast<uint64_t>(arg.Signed());
            } else {
                magnitude = static_cast<uint32_t>(static_cast<int32_t>(arg.Signed()));
            }
            text = UnsignedText(magnitude, verb == 'x' ? 16 : 10);
            ZeroPad(text, precision);
            if (negative) text.insert(text.begin(), '-');
            break;
        }
        case 's':
            if (arg.Kind() != TFormatArg::TKind::String) {
                text = BadArg(verb, KindName(arg));
                break;
            }
            text = precision >= 0 ? Utf8Cut(arg.Text(), static_cast<size_t>(precision)) : arg.Text();
            break;
        default: {
            if (arg.Kind() == TFormatArg::TKind::String) {
                text = BadArg(verb, KindName(arg));
                break;
            }
            const double v = arg.Kind() == TFormatArg::TKind::Float    ? arg.Float()
                             : arg.Kind() == TFormatArg::TKind::Signed ? static_cast<double>(arg.Signed())
                                                                       : static_cast<double>(arg.Unsigned());
            if (verb == 'f' || verb == 'n') {
                const int decimals =
                    precision < 0 ? 2 : (precision > kMaxDecimals ? kMaxDecimals : precision);
                text = FixedFloat(v, decimals, settings.DecimalSeparator,
                                  verb == 'n' ? &settings.ThousandSeparator : nullptr);
            } else {
                int p = precision < 0 ? 15 : precision;
                if (p < 1) p = 1;
                if (p > kMaxDigits) p = kMaxDigits;
                text = verb == 'e' ? ScientificFloat(v, p, settings.DecimalSeparator)
                                   : GeneralFloat(v, p, settings.DecimalSeparator);
            }
            break;
        }
        }
        Pad(out, text, width, left);
    }
    return out;
}

std::string FloatToStr(double value) {
    return FloatToStr(value, GetFormatSettings());
}

std::string FloatToStr(double value, const TFormatSettings& settings) {
    return GeneralFloat(value, 15, settings.DecimalSeparator);
}

std::string IntToStr(int64_t value) {
    return std::to_string(value);
}

std::string UIntToStr(uint64_t value) {
    return std::to_string(value);
}

std::string IntToHexBits(uint64_t bits, int digits) {
    std::string text = UnsignedText(bits, 16);
    ZeroPad(text, digits > 32 ? 32 : digits);
    return text;
}

bool TryStrToInt64(std::string_view text, int64_t& value) {
    size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    int base = 10;
    if (pos < text.size() && text[pos] == '$') {
        base = 16;
        ++pos;
    } else if (pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    }
    if (pos >= text.size()) return false;
    uint64_t magnitude = 0;
    const char* begin = text.data() + pos;
    const char* end = text.data() + text.size();
    const auto res = std::from_chars(begin, end, magnitude, base);
    if (res.ec != std::errc() || res.ptr != end) return false;
    if (base == 16) {
        // Hex is a bit pattern of the 64-bit value.
        const auto bits = static_cast<int64_t>(magnitude);
        value = negative ? static_cast<int64_t>(0 - magnitude) : bits;
        return true;
    }
    if (negative) {
        if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1) return false;
        value = static_cast<int64_t>(0 - magnitude);
    } else {
        if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
        value = static_cast<int64_t>(magnitude);
    }
    return true;
}

bool TryStrToInt(std::string_view text, int32_t& value) {
    size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    size_t p = pos;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
    const bool hex = (p < text.size() && text[p] == '$') ||
                     (p + 1 < text.size() && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X'));
    int64_t v = 0;
    if (!TryStrToInt64(text, v)) return false;
    if (hex) {
        // Hex up to $FFFFFFFF is the 32-bit pattern, as the class library reads it.
        const bool negative = text[pos] == '-';
        const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        if (magnitude > 0xFFFFFFFFull) return false;
        const auto bits = static_cast<uint32_t>(negative ? 0 - magnitude : magnitude);
        value = static_cast<int32_t>(bits);
        return true;
    }
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return false;
    value = static_cast<int32_t>(v);
    return true;
}

int32_t StrToIntDef(std::string_view text, int32_t defaultValue) {
    int32_t v = 0;
    return TryStrToInt(text, v) ? v : defaultValue;
}

bool TryStrToFloat(std::string_view text, double& value) {
    return TryStrToFloat(text, value, GetFormatSettings());
}

bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    const std::string_view t = text.substr(b, e - b);
    const std::string_view sep = settings.DecimalSeparator.empty()
                                     ? std::string_view(".")
                                     : std::string_view(settings.DecimalSeparator);
    // Rebuilt in the C form for from_chars, which ignores the locale.
    std::string c;
    size_t pos = 0;
    if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) {
        if (t[pos] == '-') c += '-';
        ++pos;
    }
    size_t mantissaDigits = 0;
    bool seenSep = false;
    while (pos < t.size()) {
        if (IsAsciiDigit(t[pos])) {
            c += t[pos++];
            ++mantissaDigits;
        } else if (!seenSep && t.substr(pos, sep.size()) == sep) {
            c += '.';
            pos += sep.size();
            seenSep = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0) return false;
    if (pos < t.size() && (t[pos] == 'e' || t[pos] == 'E')) {
        c += 'e';
        ++pos;
        if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) c += t[pos++];
        size_t expDigits = 0;
        while (pos < t.size() && IsAsciiDigit(t[pos])) {
            c += t[pos++];
            ++expDigits;
        }
        if (expDigits == 0) return false;
    }
    if (pos != t.size()) return false;
    double v = 0;
    const auto res = std::from_chars(c.data(), c.data() + c.size(), v);
    if (res.ptr != c.data() + c.size()) return false;
    if (res.ec == std::errc::result_out_of_range) {
        // Overflow is refused; underflow reads as zero.
        const size_t ePos = c.find('e');
        if (ePos == std::string::npos || c[ePos + 1] != '-') return false;
        v = 0;
    } else if (res.ec != std::errc()) {
        return false;
    }
    value = v;
    return true;
}

// ---- Dates ----

namespace {

constexpr int64_t kMSecsPerDay = 86400000;
constexpr int64_t kUnixDayOffset = 25569; // TDateTime of 1970-01-01
// Valid range: 0001-01-01 .. 9999-12-31.
constexpr double kMinDate = -693593.0;
constexpr double kMaxDate = 2958466.0;

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// Whole days and milliseconds of the day; false for a value outside the valid years.
bool SplitDateTime(TDateTime value, int64_t& days, int64_t& msec) {
    if (!(value >= kMinDate && value < kMaxDate)) return false;
    const double whole = std::trunc(value);
    days = static_cast<int64_t>(whole);
    msec = static_cast<int64_t>(std::llround(std::fabs(value - whole) * static_cast<double>(kMSecsPerDay)));
    if (msec >= kMSecsPerDay) {
        // Rounded up to the next midnight: that is the next day (the previous one when negative).
        msec -= kMSecsPerDay;
        days += value < 0 ? -1 : 1;
    }
    return true;
}

std::string Num(int value, int minDigits) {
    std::string text = std::to_string(value < 0 ? -value : value);
    ZeroPad(text, minDigits);
    if (value < 0) text.insert(text.begin(), '-');
    return text;
}

constexpr const char* kShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kLongMonthNames[12] = {"January",   "February", "March",    "April",
                                             "May",       "June",     "July",     "August",
                                             "September", "October",  "November", "December"};
constexpr const char* kShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kLongDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithNoCase(std::string_view s, size_t pos, std::string_view what) {
    if (s.size() - pos < what.size()) return false;
    for (size_t i = 0; i < what.size(); ++i) {
        if (Upper(s[pos + i]) != Upper(what[i])) return false;
    }
    return true;
}

bool HasAmPm(std::string_view s, size_t from) {
    for (size_t i = from; i < s.size(); ++i) {
        if (s[i] == '"' || s[i] == '\'') {
            const size_t end = s.find(s[i], i + 1);
            if (end == std::string_view::npos) return false;
            i = end;
            continue;
        }
        if (StartsWithNoCase(s, i, "am/pm") || StartsWithNoCase(s, i, "a/p") ||
            StartsWithNoCase(s, i, "ampm"))
            return true;
    }
    return false;
}

struct TDateParts {
    bool valid = false;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0, dayOfWeek = 0;
};

TDateParts PartsOf(TDateTime value) {
    TDateParts p;
    int64_t days = 0, msec = 0;
    if (!SplitDateTime(value, days, msec)) return p;
    p.valid = true;
    CivilFromDays(days - kUnixDayOffset, p.year, p.month, p.day);
    p.hour = static_cast<int>(msec / 3600000);
    p.minute = static_cast<int>(msec / 60000 % 60);
    p.second = static_cast<int>(msec / 1000 % 60);
    p.msec = static_cast<int>(msec % 1000);
    // 1899-12-30 was a Saturday.
    p.dayOfWeek = static_cast<int>(((days % 7) + 7 + 6) % 7) + 1;
    return p;
}

void AppendDateTime(std::string& out, std::string_view pattern, const TDateParts& p, const TFormatSettings& s,
                    int level) {
    if (level > 2) return; // patterns that name each other
    char lastToken = ' ';
    size_t pos = 0;
    const auto count = [&](char token) {
        size_t n = 1;
        while (pos + n < pattern.size() && Upper(pattern[pos + n]) == token)
            ++n;
        return n;
    };
    while (pos < pattern.size()) {
        const char raw = pattern[pos];
        char token = Upper(raw);
        if (token >= 'A' && token <= 'Z') {
            if (token == 'M' && lastToken == 'H') token = 'N';
            lastToken = token;
        }
        switch (token) {
        case '"':
        case '\'': {
            const size_t end = pattern.find(raw, pos + 1);
            const size_t stop = end == std::string_view::npos ? pattern.size() : end;
            out.append(pattern.substr(pos + 1, stop - pos - 1));
            pos = end == std::string_view::npos ? pattern.size() : end + 1;
            break;
        }
        case 'Y': {
            const size_t n = count('Y');
            out += n <= 2 ? Num(p.year % 100, 2) : Num(p.year, 4);
            pos += n;
            break;
        }
        case 'M': {
            const size_t n = count('M');
            if (n == 1)
                out += Num(p.month, 1);
            else if (n == 2)
                out += Num(p.month, 2);
            else if (p.month >= 1)
                out += n == 3 ? kShortMonthNames[p.month - 1] : kLongMonthNames[p.month - 1];
            pos += n;
            break;
        }
        case 'D': {
            const size_t n = count('D');
            if (n == 1)
                out += Num(p.day, 1);
            else if (n == 2)
                out += Num(p.day, 2);
            else if (n == 3 || n == 4) {
                if (p.dayOfWeek >= 1)
                    out += n == 3 ? kShortDayNames[p.dayOfWeek - 1] : kLongDayNames[p.dayOfWeek - 1];
            } else if (n == 5)
                AppendDateTime(out, s.ShortDateFormat, p, s, level + 1);
            else
                AppendDateTime(out, s.LongDateFormat, p, s, level + 1);
            pos += n;
            break;
        }
        case 'H': {
            const size_t n = count('H');
            int hour = p.hour;
            if (HasAmPm(pattern, pos + n)) {
                hour %= 12;
                if (hour == 0) hour = 12;
            }
            out += Num(hour, n >= 2 ? 2 : 1);
            pos += n;
            break;
        }
        case 'N': {
            const size_t n = count(Upper(raw));
            out += Num(p.minute, n >= 2 ? 2 : 1);
            pos += n;
            break;
        }
        case 'S': {
            const size_t n = count('S');
            out += Num(p.second, n >= 2 ? 2 : 1);
            pos += n;
            break;
        }
        case 'Z': {
            const size_t n = count('Z');
            out += Num(p.msec, n >= 2 ? 3 : 1);
            pos += n;
            break;
        }
        case 'T': {
            const size_t n = count('T');
            AppendDateTime(out, n == 1 ? s.ShortTimeFormat : s.LongTimeFormat, p, s, level + 1);
            pos += n;
            break;
        }
        case 'C': {
            const size_t n = count('C');
            AppendDateTime(out, s.ShortDateFormat, p, s, level + 1);
            if (p.hour != 0 || p.minute != 0 || p.second != 0 || p.msec != 0) {
                out += ' ';
                AppendDateTime(out, s.LongTimeFormat, p, s, level + 1);
            }
            pos += n;
            break;
        }
        case 'A': {
            const bool pm = p.hour >= 12;
            if (StartsWithNoCase(pattern, pos, "am/pm")) {
                out += raw == 'A' ? (pm ? "PM" : "AM") : (pm ? "pm" : "am");
                pos += 5;
            } else if (StartsWithNoCase(pattern, pos, "a/p")) {
                out += raw == 'A' ? (pm ? 'P' : 'A') : (pm ? 'p' : 'a');
                pos += 3;
            } else if (StartsWithNoCase(pattern, pos, "ampm")) {
                out += pm ? s.TimePMString : s.TimeAMString;
                pos += 4;
            } else {
                out += raw;
                ++pos;
            }
            break;
        }
        case '/':
            out += s.DateSeparator;
            ++pos;
            break;
        case ':':
            out += s.TimeSeparator;
            ++pos;
            break;
        default:
            out += raw;
            ++pos;
            break;
        }
    }
}

} // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& value) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    value = static_cast<double>(DaysFromCivil(year, month, day) + kUnixDayOffset);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
        msec > 999)
        return false;
    const int64_t ms = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + msec;
    value = static_cast<double>(ms) / static_cast<double>(kMSecsPerDay);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime v = 0;
    return TryEncodeDate(year, month, day, v) ? v : 0;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    TDateTime v = 0;
    return TryEncodeTime(hour, minute, second, msec, v) ? v : 0;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, msec, time)) return 0;
    return date < 0 ? date - time : date + time;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    const TDateParts p = PartsOf(value);
    year = p.year;
    month = p.month;
    day = p.day;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec) {
    const TDateParts p = PartsOf(value);
    hour = p.hour;
    minute = p.minute;
    second = p.second;
    msec = p.msec;
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& msec) {
    const TDateParts p = PartsOf(value);
    year = p.year;
    month = p.month;
    day = p.day;
    hour = p.hour;
    minute = p.minute;
    second = p.second;
    msec = p.msec;
}

int DayOfWeek(TDateTime value) {
    return PartsOf(value).dayOfWeek;
}

TDateTime Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    const time_t secs = ts.tv_sec;
    localtime_r(&secs, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec > 59 ? 59 : local.tm_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
    return FormatDateTime(pattern, value, GetFormatSettings());
}

std::string FormatDateTime(std::string_view pattern, TDateTime value, const TFormatSettings& settings) {
    std::string out;
    AppendDateTime(out, pattern, PartsOf(value), settings, 0);
    return out;
}

std::string DateToStr(TDateTime value) {
    return FormatDateTime("ddddd", value);
}

std::string TimeToStr(TDateTime value) {
    return FormatDateTime("tt", value);
}

std::string DateTimeToStr(TDateTime value) {
    return FormatDateTime("c", value);
}

} // namespace qrb::device
