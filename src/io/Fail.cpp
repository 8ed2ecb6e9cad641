#include "io/Fail.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

void fail(const std::string& message) {
    std::cout << message;
    std::cout.flush();
    std::fflush(stdout);
    std::exit(1);
}
