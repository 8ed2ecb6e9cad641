#include "run/FreshSeed.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/Fail.h"

namespace {

// Fills `buffer` from `getRandom`; returns 0 or the errno of the failure.
int readGetRandom(GetRandomFunction getRandom, unsigned char* buffer, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t got = getRandom(buffer + done, length - done, 0);
        if (got > 0)
            done += static_cast<size_t>(got);
        else if (got < 0 && errno == EINTR)
            continue;
        else
            return got < 0 ? errno : EIO;
    }
    return 0;
}

// Fills `buffer` from the device file; returns 0 or the errno of the failure
// (EIO when the file ends first).
int readDevice(const char* path, unsigned char* buffer, size_t length) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    size_t done = 0;
    int error = 0;
    while (done < length) {
        const ssize_t got = read(fd, buffer + done, length - done);
        if (got > 0) {
            done += static_cast<size_t>(got);
        } else if (!(got < 0 && errno == EINTR)) {
            error = got < 0 ? errno : EIO;
            break;
        }
    }
    close(fd);
    return error;
}

ssize_t systemGetRandom(void* buffer, size_t length, unsigned int flags) {
    return getrandom(buffer, length, flags);
}

}  // namespace

uint64_t freshSeedFrom(GetRandomFunction getRandom, const char* devicePath) {
    unsigned char bytes[sizeof(uint64_t)];
    const int callError = readGetRandom(getRandom, bytes, sizeof bytes);
    if (callError != 0) {
        const int deviceError = readDevice(devicePath, bytes, sizeof bytes);
        if (deviceError != 0)
            fail(std::string("error: cannot take a seed from the operating system (getrandom: ") +
                 std::strerror(callError) + "; " + devicePath + ": " + std::strerror(deviceError) +
                 "); give one with --seed S\n");
    }
    uint64_t seed = 0;
    std::memcpy(&seed, bytes, sizeof seed);
    return seed;
}

uint64_t freshSeed() { return freshSeedFrom(systemGetRandom, "/dev/urandom"); }
