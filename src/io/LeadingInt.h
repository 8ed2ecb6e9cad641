#pragma once

#include <cstdint>

// Reads the leading decimal integer of `text` as the C library's atoi does
// (leading white space skipped, optional sign, digits up to the first other
// character; 0 when there are no digits), but without atoi's undefined
// behaviour on overflow: returns false when the number lies outside the
// 32-bit signed range, true otherwise with the value stored in `value`.
bool leadingInt32(const char* text, int32_t& value);
