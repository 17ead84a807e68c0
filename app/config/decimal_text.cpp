#include "config/decimal_text.h"

#include <algorithm>
#include <cstdint>

int readClampedDecimal(std::string_view text, int minimum, int maximum) {
    std::size_t i = 0;
    // The C locale's blanks, as isspace knows them; no locale is consulted.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Stops growing once past every int, so long digit runs cannot overflow.
    constexpr std::int64_t kCeiling = std::int64_t{1} << 40;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(kCeiling, value * 10 + (text[i] - '0'));
    if (negative) value = -value;
    return static_cast<int>(std::clamp<std::int64_t>(value, minimum, maximum));
}
