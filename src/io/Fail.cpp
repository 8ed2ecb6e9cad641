#include "io/Fail.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {
void (*failureHook)() = nullptr;
}

void setFailureHook(void (*hook)()) { failureHook = hook; }

void fail(const std::string& message) {
    if (failureHook != nullptr) failureHook();
    std::cout << message;
    std::cout.flush();
    std::fflush(stdout);
    std::exit(1);
}
