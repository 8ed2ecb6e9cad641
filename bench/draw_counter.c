/* Counts the random draws a run makes, by kind, without touching the program:
 * loaded with LD_PRELOAD, it stands in for the five GSL variate functions that
 * the simulation calls, forwards each call to the real one, and counts only
 * calls made by the program itself (not GSL's calls to itself, e.g. the
 * uniform draws inside an exponential variate). At exit it writes the counts
 * to the file named by FOUNDABC_DRAW_COUNTS:
 *   exponential uniform uniform_pos poisson flat poisson_mean_sum
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

typedef struct gsl_rng gsl_rng;

static unsigned long long nExp, nUni, nUniPos, nPois, nFlat;
static double poisMeanSum;
static int depth;

typedef double (*rng_fn)(const gsl_rng*);
typedef double (*ran1_fn)(const gsl_rng*, double);
typedef double (*ran2_fn)(const gsl_rng*, double, double);
typedef unsigned int (*pois_fn)(const gsl_rng*, double);

/* The real function of the given name and pointer type, looked up once. */
#define REAL(name, type) \
    static type real_##name; \
    if (!real_##name) real_##name = (type)dlsym(RTLD_NEXT, #name)

double gsl_ran_exponential(const gsl_rng* r, double mu) {
    REAL(gsl_ran_exponential, ran1_fn);
    if (depth == 0) ++nExp;
    ++depth;
    double x = real_gsl_ran_exponential(r, mu);
    --depth;
    return x;
}

double gsl_rng_uniform(const gsl_rng* r) {
    REAL(gsl_rng_uniform, rng_fn);
    if (depth == 0) ++nUni;
    ++depth;
    double x = real_gsl_rng_uniform(r);
    --depth;
    return x;
}

double gsl_rng_uniform_pos(const gsl_rng* r) {
    REAL(gsl_rng_uniform_pos, rng_fn);
    if (depth == 0) ++nUniPos;
    ++depth;
    double x = real_gsl_rng_uniform_pos(r);
    --depth;
    return x;
}

unsigned int gsl_ran_poisson(const gsl_rng* r, double mu) {
    REAL(gsl_ran_poisson, pois_fn);
    if (depth == 0) {
        ++nPois;
        poisMeanSum += mu;
    }
    ++depth;
    unsigned int k = real_gsl_ran_poisson(r, mu);
    --depth;
    return k;
}

double gsl_ran_flat(const gsl_rng* r, double a, double b) {
    REAL(gsl_ran_flat, ran2_fn);
    if (depth == 0) ++nFlat;
    ++depth;
    double x = real_gsl_ran_flat(r, a, b);
    --depth;
    return x;
}

__attribute__((destructor)) static void writeCounts(void) {
    const char* name = getenv("FOUNDABC_DRAW_COUNTS");
    if (!name) return;
    FILE* f = fopen(name, "w");
    if (!f) return;
    fprintf(f, "%llu %llu %llu %llu %llu %.17g\n", nExp, nUni, nUniPos, nPois, nFlat, poisMeanSum);
    fclose(f);
}
