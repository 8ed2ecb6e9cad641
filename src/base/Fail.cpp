#include "base/Fail.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {
void (*failureHook)() = nullptr;
thread_local bool deferring = false;
}  // namespace

DeferFailures::DeferFailures() : previous_(deferring) { deferring = true; }
DeferFailures::~DeferFailures() { deferring = previous_; }

void setFailureHook(void (*hook)()) { failureHook = hook; }

namespace {

// Whether standard error is another place than standard output: not a
// terminal on standard output (the message would be seen there), and not the
// same file (`> log 2>&1` would show it twice).
bool errorsSeenOnlyOnStandardError() {
    if (isatty(STDOUT_FILENO)) return false;
    struct stat out, err;
    if (fstat(STDERR_FILENO, &err) != 0) return false;
    return fstat(STDOUT_FILENO, &out) != 0 || out.st_dev != err.st_dev || out.st_ino != err.st_ino;
}

}  // namespace

void fail(const std::string& message) {
    if (deferring) throw DeferredFailure{message};
    if (failureHook != nullptr) failureHook();
    std::cout << message;
    std::cout.flush();
    std::fflush(stdout);
    // Standard output redirected to a file or a pipe hides the message from
    // whoever started the run: standard error shows it too, as one line.
    if (errorsSeenOnlyOnStandardError()) {
        std::string line = message;
        if (line.empty() || line.back() != '\n') line += '\n';
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
    std::exit(1);
}
