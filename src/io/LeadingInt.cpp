#include "io/LeadingInt.h"

#include <cerrno>
#include <cstdlib>

bool leadingInt32(const char* text, int32_t& value) {
    errno = 0;
    long long parsed = std::strtoll(text, nullptr, 10);
    if (errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    value = static_cast<int32_t>(parsed);
    return true;
}
