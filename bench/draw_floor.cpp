// The draw floor of a workload: the time to make the same number of each kind
// of random draw as a run does, and nothing else. No implementation of the
// model can be faster on one core. Poisson draws use the run's mean Poisson
// mean, since their cost depends on it.
//
// usage: draw_floor COUNTS_FILE   (the file written by draw_counter)
// prints the CPU seconds the draws took (process CPU time, like the
// benchmark's figure for the run itself).
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <cstdio>
#include <ctime>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_floor COUNTS_FILE\n");
        return 1;
    }
    FILE* f = std::fopen(argv[1], "r");
    unsigned long long nExp, nUni, nUniPos, nPois, nFlat;
    double poisMeanSum;
    if (!f || std::fscanf(f, "%llu %llu %llu %llu %llu %lg", &nExp, &nUni, &nUniPos, &nPois, &nFlat,
                          &poisMeanSum) != 6) {
        std::fprintf(stderr, "draw_floor: cannot read %s\n", argv[1]);
        return 1;
    }
    std::fclose(f);
    const double poisMean = nPois ? poisMeanSum / static_cast<double>(nPois) : 0.0;

    gsl_rng* r = gsl_rng_alloc(gsl_rng_taus);
    gsl_rng_set(r, 1704067200UL);
    volatile double sink = 0;  // keeps the draws from being optimised away
    auto cpuSeconds = [] {
        timespec t;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
    };
    const double start = cpuSeconds();
    for (unsigned long long i = 0; i < nExp; ++i) sink = sink + gsl_ran_exponential(r, 1.0);
    for (unsigned long long i = 0; i < nUni; ++i) sink = sink + gsl_rng_uniform(r);
    for (unsigned long long i = 0; i < nUniPos; ++i) sink = sink + gsl_rng_uniform_pos(r);
    for (unsigned long long i = 0; i < nPois; ++i) sink = sink + gsl_ran_poisson(r, poisMean);
    for (unsigned long long i = 0; i < nFlat; ++i) sink = sink + gsl_ran_flat(r, 0.0, 1.0);
    const double elapsed = cpuSeconds() - start;
    gsl_rng_free(r);
    std::printf("%.6f\n", elapsed);
    return 0;
}
