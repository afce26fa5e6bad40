#include "text/FormatFixed.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Appends characters to a bounded buffer, counting every character offered
// so that the caller learns the full length even when the buffer is short.
class BoundedWriter {
public:
    BoundedWriter(char* out, std::size_t size) : out_(out), size_(size) {}

    void Put(char c)
    {
        if (out_ != nullptr && length_ + 1 < size_) {
            out_[length_] = c;
        }
        ++length_;
    }

    void PutRepeated(char c, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            Put(c);
        }
    }

    std::size_t Length() const { return length_; }
    bool Full() const { return out_ == nullptr || length_ + 1 >= size_; }

    std::size_t Finish()
    {
        if (out_ != nullptr && size_ > 0) {
            out_[length_ < size_ ? length_ : size_ - 1] = '\0';
        }
        return length_;
    }

private:
    char* out_;
    std::size_t size_;
    std::size_t length_ = 0;
};

// An unsigned integer of up to 90 decimal limbs of nine digits each, enough
// for the exact value of any double scaled to an integer: at most 309 digits
// above the point, or 767 significant digits for the smallest subnormals.
class DecimalInteger {
public:
    static constexpr std::uint32_t kBase = 1000000000u;

    explicit DecimalInteger(std::uint64_t value)
    {
        while (value != 0) {
            limbs_[count_++] = static_cast<std::uint32_t>(value % kBase);
            value /= kBase;
        }
    }

    void MultiplyBy(std::uint32_t factor)
    {
        std::uint64_t carry = 0;
        for (int i = 0; i < count_; ++i) {
            const std::uint64_t product = std::uint64_t{limbs_[i]} * factor + carry;
            limbs_[i] = static_cast<std::uint32_t>(product % kBase);
            carry = product / kBase;
        }
        while (carry != 0) {
            limbs_[count_++] = static_cast<std::uint32_t>(carry % kBase);
            carry /= kBase;
        }
    }

    void MultiplyByPowerOf5(int exponent)
    {
        constexpr std::uint32_t kFivePow13 = 1220703125u;
        for (; exponent >= 13; exponent -= 13) {
            MultiplyBy(kFivePow13);
        }
        std::uint32_t rest = 1;
        for (; exponent > 0; --exponent) {
            rest *= 5;
        }
        if (rest != 1) {
            MultiplyBy(rest);
        }
    }

    void MultiplyByPowerOf2(int exponent)
    {
        for (; exponent >= 29; exponent -= 29) {
            MultiplyBy(1u << 29);
        }
        if (exponent > 0) {
            MultiplyBy(1u << exponent);
        }
    }

    // Count of decimal digits (the value is never 0 here).
    int DigitCount() const
    {
        int digits = 0;
        for (std::uint32_t top = limbs_[count_ - 1]; top != 0; top /= 10) {
            ++digits;
        }
        return 9 * (count_ - 1) + digits;
    }

    // Writes the leading digits, at most `capacity`, into `digits` as values
    // 0..9 and returns how many were written.
    int LeadingDigits(std::uint8_t* digits, int capacity) const
    {
        int written = 0;
        char chunk[9];
        for (int i = count_ - 1; i >= 0 && written < capacity; --i) {
            std::uint32_t limb = limbs_[i];
            for (int d = 8; d >= 0; --d) {
                chunk[d] = static_cast<char>(limb % 10);
                limb /= 10;
            }
            int start = 0;
            if (i == count_ - 1) {
                while (start < 8 && chunk[start] == 0) {
                    ++start;
                }
            }
            for (int d = start; d < 9 && written < capacity; ++d) {
                digits[written++] = static_cast<std::uint8_t>(chunk[d]);
            }
        }
        return written;
    }

private:
    std::uint32_t limbs_[90]; // only the first count_ are ever read
    int count_ = 0;
};

constexpr std::uint64_t kPow10[20] = {
    1ull,
    10ull,
    100ull,
    1000ull,
    10000ull,
    100000ull,
    1000000ull,
    10000000ull,
    100000000ull,
    1000000000ull,
    10000000000ull,
    100000000000ull,
    1000000000000ull,
    10000000000000ull,
    100000000000000ull,
    1000000000000000ull,
    10000000000000000ull,
    100000000000000000ull,
    1000000000000000000ull,
    10000000000000000000ull,
};

int DigitCount(std::uint64_t value)
{
    int digits = 1;
    while (digits < 20 && value >= kPow10[digits]) {
        ++digits;
    }
    return digits;
}

// The magnitude rounded to 17 significant digits, as significand × 10^exponent.
struct Rounded17 {
    std::uint64_t significand;
    int exponent;
};

Rounded17 RoundTo17Digits(double magnitude)
{
    int binaryExponent = 0;
    const double fraction = std::frexp(magnitude, &binaryExponent); // magnitude = fraction × 2^binaryExponent
    // Scale the 53-bit significand to an integer: magnitude = mantissa × 2^e.
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    int e = binaryExponent - 53;

    // Form the integer N with magnitude = N × 10^(-k) exactly.
    DecimalInteger n(mantissa);
    int k = 0;
    if (e >= 0) {
        n.MultiplyByPowerOf2(e);
    } else {
        n.MultiplyByPowerOf5(-e);
        k = -e;
    }

    const int digitCount = n.DigitCount();
    std::uint8_t digits[18];
    const int taken = n.LeadingDigits(digits, 18);
    std::uint64_t significand = 0;
    const int kept = taken < 17 ? taken : 17;
    for (int i = 0; i < kept; ++i) {
        significand = significand * 10 + digits[i];
    }
    // Digits of N beyond the 17 kept are dropped; the 18th decides.
    int exponent = digitCount - kept - k;
    if (taken == 18 && digits[17] >= 5) {
        ++significand;
    }
    return Rounded17{significand, exponent};
}

} // namespace

std::size_t FormatFixed(char* out, std::size_t size, double value, int decimals)
{
    BoundedWriter writer(out, size);
    if (decimals < 0) {
        decimals = 0;
    }

    if (std::isnan(value)) {
        for (const char* p = "nan"; *p != '\0'; ++p) {
            writer.Put(*p);
        }
        return writer.Finish();
    }
    if (std::signbit(value)) {
        writer.Put('-');
    }
    if (std::isinf(value)) {
        for (const char* p = "inf"; *p != '\0'; ++p) {
            writer.Put(*p);
        }
        return writer.Finish();
    }

    const double magnitude = std::fabs(value);
    // The printed value is q × 10^(trailingZeros - decimals): the digits of q,
    // then trailingZeros zeros, with the point before the last `decimals`.
    std::uint64_t q = 0;
    std::size_t trailingZeros = 0;
    if (magnitude != 0.0) {
        const Rounded17 r = RoundTo17Digits(magnitude);
        const long long shift = static_cast<long long>(r.exponent) + decimals;
        if (shift >= 0) {
            q = r.significand;
            trailingZeros = static_cast<std::size_t>(shift);
        } else {
            const long long cut = -shift; // digits of the significand cut off
            const int significandDigits = DigitCount(r.significand);
            if (cut > significandDigits) {
                q = 0; // every digit cut off, and the first of them is a 0
            } else {
                const std::uint64_t divisor = kPow10[cut];
                q = r.significand / divisor;
                const std::uint64_t firstCut = (r.significand / kPow10[cut - 1]) % 10;
                if (firstCut >= 5) {
                    ++q;
                }
            }
        }
    }

    char qDigits[20];
    int qLength = 0;
    do {
        qDigits[qLength++] = static_cast<char>('0' + q % 10);
        q /= 10;
    } while (q != 0);
    if (qLength == 1 && qDigits[0] == '0') {
        trailingZeros = 0; // zero needs no zeros appended
    }

    // All digits, most significant first: qDigits reversed, then the zeros,
    // padded in front so that at least one digit stands before the point.
    const std::size_t total = static_cast<std::size_t>(qLength) + trailingZeros;
    const std::size_t fractionDigits = static_cast<std::size_t>(decimals);
    const std::size_t padded = total > fractionDigits ? total : fractionDigits + 1;
    const std::size_t leadingZeros = padded - total;
    const std::size_t integerDigits = padded - fractionDigits;

    // Only the characters that fit are produced; the length is counted.
    const std::size_t length = writer.Length() + padded + (fractionDigits > 0 ? 1 : 0);
    for (std::size_t i = 0; i < padded && !writer.Full(); ++i) {
        if (i == integerDigits) {
            writer.Put('.');
        }
        char c = '0';
        if (i >= leadingZeros) {
            const std::size_t position = i - leadingZeros; // within q's digits and zeros
            if (position < static_cast<std::size_t>(qLength)) {
                c = qDigits[qLength - 1 - static_cast<int>(position)];
            }
        }
        writer.Put(c);
    }
    writer.Finish();
    return length;
}
