#pragma once
#include <string_view>

// Reads a whole number the way the C library's atoi does in the C locale (leading
// blanks, an optional sign, then the leading digits; no digits give 0), but without
// undefined behaviour: a number too large for an int saturates, and the result is
// then clamped to minimum ... maximum.
int readClampedDecimal(std::string_view text, int minimum, int maximum);
