#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// The seed of a run given none: 64 bits from the operating system's random
// source, so that runs started together (the tasks of a job array, say) are
// samples, not copies. Read with getrandom(2); where that call is missing or
// refused (an old kernel, a seccomp filter), from /dev/urandom. Ends the
// process with "error: cannot take a seed from the operating system (...);
// give one with --seed S" and status 1 when neither source gives 8 bytes.
uint64_t freshSeed();

// Stands for getrandom(2) (buffer, length, flags) in freshSeedFrom.
using GetRandomFunction = ssize_t (*)(void* buffer, size_t length, unsigned int flags);

// freshSeed with its sources given, so that tests can take either away:
// `getRandom` first, then the device file `devicePath`.
uint64_t freshSeedFrom(GetRandomFunction getRandom, const char* devicePath);
