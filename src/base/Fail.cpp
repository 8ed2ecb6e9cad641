#include "base/Fail.h"

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

void fail(const std::string& message) {
    if (deferring) throw DeferredFailure{message};
    if (failureHook != nullptr) failureHook();
    std::cout << message;
    std::cout.flush();
    std::fflush(stdout);
    std::exit(1);
}
