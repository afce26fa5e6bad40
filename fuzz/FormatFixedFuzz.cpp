// FormatFixed against the exact reference for any double, 0 to 2 decimals,
// into buffers of any size: the text must match the reference cut to the
// buffer, the reported length must be the full length, and no byte past the
// buffer may change.
#include "tests/support/ExactDecimal.h"
#include "text/FormatFixed.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 9) {
        return 0;
    }
    double value = 0;
    std::memcpy(&value, data, sizeof value);
    const int decimals = data[8] % 3;
    const std::size_t bufferSize = size > 9 ? 1 + data[9] : 256; // 1..256

    const std::string expected = ReferenceFixed(value, decimals);
    char buffer[256 + 16];
    std::memset(buffer, 0x5A, sizeof buffer);
    const std::size_t length = FormatFixed(buffer, bufferSize, value, decimals);

    const std::string cut = expected.substr(0, bufferSize - 1);
    bool ok = length == expected.size() && std::string(buffer) == cut;
    for (std::size_t i = bufferSize; i < sizeof buffer; ++i) {
        ok = ok && buffer[i] == 0x5A;
    }
    if (!ok) {
        std::fprintf(stderr, "FormatFixed(%.17g, %d) into %zu bytes: got \"%s\" (%zu), expected \"%s\" (%zu)\n", value,
                     decimals, bufferSize, buffer, length, cut.c_str(), expected.size());
        std::abort();
    }
    return 0;
}
