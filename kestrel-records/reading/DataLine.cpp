#include "kestrel-records/reading/DataLine.h"

#include <charconv>
#include <cstring>

namespace {

enum Field { kStartTime, kStartPitch, kEndPitch, kSpan };

constexpr const char* kNotANumber[] = {
    "the start time is not a number with one decimal, inf, -inf or nan",
    "the first pitch is not a number with two decimals, inf, -inf or nan",
    "the second pitch is not a number with two decimals, inf, -inf or nan",
    "the span is not a number with one decimal, inf, -inf or nan",
};
constexpr const char* kTooManyDigits[] = {
    "the start time has more than 17 significant digits",
    "the first pitch has more than 17 significant digits",
    "the second pitch has more than 17 significant digits",
    "the span has more than 17 significant digits",
};
constexpr const char* kTooLong = "longer than 255 characters";
constexpr const char* kNotForm = "not a data line (like 0.0=pitch(5.00, 7.50, 10.0))";
constexpr const char* kSpanBelowZero = "the span is below zero or nan, and the module writes a line only after time has passed";

// What follows each field but the last, which the line's last character,
// ')', closes.
constexpr std::string_view kAfter[] = {"=pitch(", ", ", ", "};

// Doubles hold every whole number up to 2^53 exactly.
constexpr std::uint64_t kExactWhole = std::uint64_t{1} << 53;

struct Number {
    double value = 0;
    std::int64_t tenths = kNoTenths; // for one decimal, below 10^17
    bool tooManyDigits = false;
};

// "inf", "-inf" or "nan" at `at` (after the minus, if any).
bool ReadWord(const char*& at, const char* end, bool negative, Number& number)
{
    if (end - at < 3) {
        return false;
    }
    if (std::memcmp(at, "inf", 3) == 0) {
        number.value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    } else if (!negative && std::memcmp(at, "nan", 3) == 0) {
        number.value = std::numeric_limits<double>::quiet_NaN();
    } else {
        return false;
    }
    at += 3;
    return true;
}

unsigned DigitValue(char c)
{
    return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0'; // above 9: not a digit
}

// Whether the digits from `begin` to `end` (a point among them) hold more
// than 17 significant digits. Only a number of more than 17 digits is looked
// at again so; no data line the module writes has one.
bool TooManySignificant(const char* begin, const char* end)
{
    // Without a leading zero the first digit is significant; with one, the
    // number has at most three digits.
    int significant = 0;
    int zeros = 0; // since the last digit that is not
    for (const char* at = begin; at < end; ++at) {
        if (*at == '.') {
            continue;
        }
        ++significant;
        zeros = *at == '0' ? zeros + 1 : 0;
    }
    return significant - zeros > 17;
}

// Reads a number from `at` as the module's formatter prints it with
// `decimals` decimals: "inf", "-inf", "nan", or an optional minus, an
// integer part without leading zeros, a point and exactly `decimals`
// digits. Returns whether it read one; either way `at` is left where the
// reading stopped, on the first character that cannot go on with it. What
// it passes over holds none of '=', ',' and ')', so a field that is not a
// number ends no earlier than there, and the ')' that ends the line stops
// the reading before the line's end.
template <int decimals>
inline bool ReadNumber(const char*& at, const char* end, Number& number)
{
    const char* const begin = at;
    const bool negative = *at == '-';
    at += negative ? 1 : 0;
    const unsigned first = DigitValue(*at);
    if (first > 9) {
        return ReadWord(at, end, negative, number);
    }
    ++at;
    // The digits as a whole number; past 19 digits it wraps round, and is
    // not used.
    std::uint64_t whole = first;
    if (first != 0) {
        for (unsigned digit; (digit = DigitValue(*at)) <= 9; ++at) {
            whole = whole * 10 + digit;
        }
    }
    if (*at != '.') {
        return false;
    }
    ++at;
    for (int i = 0; i < decimals; ++i, ++at) {
        const unsigned digit = DigitValue(*at);
        if (digit > 9) {
            return false;
        }
        whole = whole * 10 + digit;
    }
    const auto digits = at - begin - (negative ? 2 : 1);
    number.tooManyDigits = digits > 17 && TooManySignificant(begin + (negative ? 1 : 0), at);
    if (digits <= 18 && whole <= kExactWhole) {
        // Both exact as doubles: the quotient is rounded once, to the double
        // nearest the decimal, as strtod rounds it.
        const double quotient = static_cast<double>(static_cast<std::int64_t>(whole)) / (decimals == 1 ? 10.0 : 100.0);
        number.value = negative ? -quotient : quotient;
    } else {
        // At most 253 digits, so always within the range of a double.
        std::from_chars(begin, at, number.value);
    }
    if (decimals == 1 && digits <= 18) {
        number.tenths = negative ? -static_cast<std::int64_t>(whole) : static_cast<std::int64_t>(whole);
    }
    return true;
}

// Whether "=pitch(" follows at `at`; if so, `at` moves past it. (Two
// overlapping loads of four bytes, which compilers do not make of memcmp.)
inline bool FollowsPitch(const char*& at, const char* end)
{
    constexpr char kText[] = "=pitch(";
    if (end - at < 7) {
        return false;
    }
    std::uint32_t head, tail, headWanted, tailWanted;
    std::memcpy(&head, at, 4);
    std::memcpy(&tail, at + 3, 4);
    std::memcpy(&headWanted, kText, 4);
    std::memcpy(&tailWanted, kText + 3, 4);
    if (head != headWanted || tail != tailWanted) {
        return false;
    }
    at += 7;
    return true;
}

// Whether ", " follows at `at`; if so, `at` moves past it.
inline bool FollowsComma(const char*& at, const char* end)
{
    if (end - at < 2 || at[0] != ',' || at[1] != ' ') {
        return false;
    }
    at += 2;
    return true;
}

// Field `wrong` is not a number (or is not followed by what must follow
// it), and reading stopped at `at`. The line's form comes before any field:
// it is followed to the end from there; when it holds, the first field that
// is wrong is named (`before`: an earlier field's problem, if any).
const char* FollowTheForm(Field wrong, const char* fieldBegin, const char* at, const char* end, const char* before)
{
    for (int field = wrong; field < kSpan; ++field) {
        const std::size_t after = std::string_view(at, static_cast<std::size_t>(end - at)).find(kAfter[field]);
        if (after == std::string_view::npos) {
            return kNotForm;
        }
        at += after + kAfter[field].size();
        fieldBegin = at;
    }
    // The span runs to the last character, which must be ')'.
    if (fieldBegin == end || end[-1] != ')') {
        return kNotForm;
    }
    return before != nullptr ? before : kNotANumber[wrong];
}

const char* FirstWithTooManyDigits(const Number* numbers, int count)
{
    for (int field = 0; field < count; ++field) {
        if (numbers[field].tooManyDigits) {
            return kTooManyDigits[field];
        }
    }
    return nullptr;
}

} // namespace

const char* ParseDataLine(std::string_view line, DataLine& out)
{
    if (line.size() > kLongestDataLine) {
        return kTooLong;
    }
    // Each field from the left: its number, then what follows it. A field
    // that is not a number still ends where the form says (the first
    // "=pitch(", the first ", " after it, the next, and the last character,
    // ')'), and the form counts before any field; so past such a field the
    // form alone is followed to the end.
    // Every line the form holds for ends with ')' (the span's field runs to
    // it): one that does not is no data line, whatever its fields.
    if (line.empty() || line.back() != ')') {
        return kNotForm;
    }
    const char* const end = line.data() + line.size();
    const char* at = line.data();
    const char* begins[4];
    Number numbers[4];
    begins[kStartTime] = at;
    if (!ReadNumber<1>(at, end, numbers[kStartTime]) || !FollowsPitch(at, end)) {
        return FollowTheForm(kStartTime, begins[kStartTime], at, end, nullptr);
    }
    begins[kStartPitch] = at;
    if (!ReadNumber<2>(at, end, numbers[kStartPitch]) || !FollowsComma(at, end)) {
        return FollowTheForm(kStartPitch, begins[kStartPitch], at, end, FirstWithTooManyDigits(numbers, 1));
    }
    begins[kEndPitch] = at;
    if (!ReadNumber<2>(at, end, numbers[kEndPitch]) || !FollowsComma(at, end)) {
        return FollowTheForm(kEndPitch, begins[kEndPitch], at, end, FirstWithTooManyDigits(numbers, 2));
    }
    begins[kSpan] = at;
    if (!ReadNumber<1>(at, end, numbers[kSpan]) || end - at != 1 || *at != ')') {
        return FollowTheForm(kSpan, begins[kSpan], at, end, FirstWithTooManyDigits(numbers, 3));
    }
    out.startTimeText = std::string_view(begins[kStartTime], static_cast<std::size_t>(begins[kStartPitch] - 7 - begins[kStartTime]));
    out.startPitchText = std::string_view(begins[kStartPitch], static_cast<std::size_t>(begins[kEndPitch] - 2 - begins[kStartPitch]));
    out.endPitchText = std::string_view(begins[kEndPitch], static_cast<std::size_t>(begins[kSpan] - 2 - begins[kEndPitch]));
    out.spanText = std::string_view(begins[kSpan], static_cast<std::size_t>(at - begins[kSpan]));
    out.startTime = numbers[kStartTime].value;
    out.startPitch = numbers[kStartPitch].value;
    out.endPitch = numbers[kEndPitch].value;
    out.span = numbers[kSpan].value;
    out.startTimeTenths = numbers[kStartTime].tenths;
    out.spanTenths = numbers[kSpan].tenths;
    if (numbers[0].tooManyDigits || numbers[1].tooManyDigits || numbers[2].tooManyDigits || numbers[3].tooManyDigits) {
        return FirstWithTooManyDigits(numbers, 4);
    }
    // A number that begins with 'n' is nan.
    if (out.spanText[0] == '-' || out.spanText[0] == 'n') {
        return kSpanBelowZero;
    }
    return nullptr;
}
