#include "app/StartUp.h"

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <new>
#include <string>

#include "io/Fail.h"
#include "sim/Random.h"

namespace {

// Must not allocate: it runs when allocation has just failed.
void outOfMemory() {
    std::cout.flush();
    std::fputs("error: out of memory\n", stdout);
    std::fflush(stdout);
    std::exit(1);
}

void requireFinite(double value, const char* field) {
    if (!std::isfinite(value))
        fail(std::string("error: parameters: ") + field + " is not a finite number\n");
}

}  // namespace

void installOutOfMemoryHandler() { std::set_new_handler(outOfMemory); }

void ignoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

GeneratorOwner createSeededGenerator() {
    GeneratorOwner generator(gsl_rng_alloc(gsl_rng_taus));
    gsl_rng_set(generator.get(), static_cast<unsigned long>(std::time(nullptr)));
    r = generator.get();
    return generator;
}

void echoParams(const params& p, std::ostream& out, const std::string& extraLines) {
    out << '\n'
        << "-------------------\n"
        << "DATAFILE_NAME = " << p.datafile_name << '\n'
        << "OUTFILE_NAME = " << p.outfile_name << '\n'
        << "NUMBER_OF_THA_LINES = " << p.number_of_tha_lines << '\n'
        << "NUMBER_OF_SUE_LINES = " << p.number_of_sue_lines << '\n'
        << "ALPHA = " << p.alpha << '\n'
        << "MY_LOWER = " << p.my_lower << '\n'
        << "MY_UPPER = " << p.my_upper << '\n'
        << "TIME_TO_ORIGIN_LOWER = " << p.time_to_origin_lower << '\n'
        << "TIME_TO_ORIGIN_UPPER = " << p.time_to_origin_upper << '\n'
        << "POPSIZE_ORIGIN_THA_LOWER = " << p.popsize_origin_tha_lower << '\n'
        << "POPSIZE_ORIGIN_THA_UPPER = " << p.popsize_origin_tha_upper << '\n'
        << "POPSIZE_PRESENT_THA_LOWER = " << p.popsize_present_tha_lower << '\n'
        << "POPSIZE_PRESENT_THA_UPPER = " << p.popsize_present_tha_upper << '\n'
        << "POPSIZE_ORIGIN_SUE_LOWER = " << p.popsize_origin_sue_lower << '\n'
        << "POPSIZE_ORIGIN_SUE_UPPER = " << p.popsize_origin_sue_upper << '\n'
        << "POPSIZE_PRESENT_SUE_LOWER = " << p.popsize_present_sue_lower << '\n'
        << "POPSIZE_PRESENT_SUE_UPPER = " << p.popsize_present_sue_upper << '\n'
        << "PRIOR_DISTRIBUTION = " << p.prior_distribution << '\n'
        << "CONDITIONAL_NUMBER_OF_ORIGINS = " << p.conditional_number_of_origins << '\n'
        << "UNEQUAL_FOUNDING_FRACTIONS = " << p.unequal_founding_fractions << '\n'
        << "REPEATS = " << p.repeats << '\n'
        << "EPSILON = " << p.epsilon << '\n'
        << extraLines << "-------------------\n";
    out.flush();
}

void checkParams(const params& p) {
    if (p.number_of_tha_lines < 1) fail("error: parameters: number_of_tha_lines < 1\n");
    if (p.number_of_sue_lines < 1) fail("error: parameters: number_of_sue_lines < 1\n");
    if (p.number_of_loci < 0) fail("error: parameters: number_of_loci < 0\n");
    if (p.repeats < 0) fail("error: parameters: repeats < 0\n");
    if (p.conditional_number_of_origins < 0 && p.unequal_founding_fractions <= 0)
        fail("error: parameters: conditional_number_of_origins < 0\n");
    requireFinite(p.alpha, "alpha");
    requireFinite(p.my_lower, "my_lower");
    requireFinite(p.my_upper, "my_upper");
    requireFinite(p.time_to_origin_lower, "time_to_origin_lower");
    requireFinite(p.time_to_origin_upper, "time_to_origin_upper");
    requireFinite(p.popsize_origin_tha_lower, "popsize_origin_tha_lower");
    requireFinite(p.popsize_origin_tha_upper, "popsize_origin_tha_upper");
    requireFinite(p.popsize_present_tha_lower, "popsize_present_tha_lower");
    requireFinite(p.popsize_present_tha_upper, "popsize_present_tha_upper");
    requireFinite(p.popsize_origin_sue_lower, "popsize_origin_sue_lower");
    requireFinite(p.popsize_origin_sue_upper, "popsize_origin_sue_upper");
    requireFinite(p.popsize_present_sue_lower, "popsize_present_sue_lower");
    requireFinite(p.popsize_present_sue_upper, "popsize_present_sue_upper");
    requireFinite(p.epsilon, "epsilon");
    requireFinite(p.unequal_founding_fractions, "unequal_founding_fractions");
    // Every line of both samples is numbered as an int throughout the run.
    if (static_cast<int64_t>(p.number_of_tha_lines) + p.number_of_sue_lines > INT32_MAX)
        fail("error: parameters: number_of_tha_lines + number_of_sue_lines is too large\n");
}

int totalLines(const params& p) { return p.number_of_tha_lines + p.number_of_sue_lines; }
