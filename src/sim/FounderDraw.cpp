#include "sim/FounderDraw.h"

#include <gsl/gsl_rng.h>
#include <gsl/gsl_sf_gamma.h>

#include <algorithm>

#include "sim/Random.h"

double intPow(double x, int n) {
    double value = 1.0;
    unsigned int bits = static_cast<unsigned int>(n);
    do {
        if (bits & 1u) value *= x;
        bits >>= 1;
        x *= x;
    } while (bits);
    return value;
}

std::vector<double> occupiedFoundersDist(int lines, int founders) {
    const int maxOccupied = std::min(lines, founders);
    std::vector<double> p(static_cast<size_t>(maxOccupied) + 1, 0.0);
    p[0] = 1.0;
    // A new line joins one of the k occupied founders (probability k / c) or
    // one of the c - k free ones.
    for (int l = 1; l <= lines; ++l) {
        for (int k = std::min(l, maxOccupied); k >= 1; --k) {
            p[k] = p[k] * (static_cast<double>(k) / founders) +
                   p[k - 1] * (static_cast<double>(founders - k + 1) / founders);
        }
        p[0] = 0.0;
    }
    return p;
}

int numbFoundersFromU(int linesAtOri, int conditional_origins, double u) {
    if (linesAtOri <= 1) return 1;
    const int c = conditional_origins;
    const std::vector<double> p = occupiedFoundersDist(linesAtOri, c);
    std::vector<double> atMost(p.size(), 0.0);  // P(at most k founders occupied)
    double sum = 0.0;
    for (size_t k = 0; k < p.size(); ++k) {
        sum += p[k];
        atMost[k] = sum;
    }
    // P(at least j + 1 founders empty) = P(at most c - j - 1 occupied); it is
    // exactly 1 when c - j - 1 >= linesAtOri, whatever the rounding of the sum.
    auto emptyTail = [&](int j) {
        const int occupied = c - j - 1;
        return occupied >= linesAtOri ? 1.0 : atMost[occupied];
    };
    // The tail is exactly 1, and so above any u < 1, for every j up to
    // c - linesAtOri - 1: start past those, so that a large founder count
    // costs nothing more than a small one.
    int j = u < 1 && c > linesAtOri ? c - linesAtOri : 0;
    while (j < c && emptyTail(j) > u) ++j;
    return c - j;
}

int legacyNumbFoundersFromU(int linesAtOri, int conditional_origins, double u) {
    if (linesAtOri <= 1) return 1;
    const int c = conditional_origins;
    // Every term with j + 1 <= c - linesAtOri is at least
    // C(c, linesAtOri) (linesAtOri / c)^linesAtOri > 1 > u, so the loop may
    // start past them: a huge founder count then costs no more than a small
    // one, and the binomial coefficients that would overflow are never formed.
    int j = c > linesAtOri ? c - linesAtOri : 0;
    while (j < c) {
        const double term =
            gsl_sf_choose(static_cast<unsigned int>(c), static_cast<unsigned int>(j + 1)) *
            intPow(1 - static_cast<double>(j + 1) / c, linesAtOri);
        if (!(term > u)) break;
        ++j;
    }
    return c - j;
}

int drawNumbFounders(int linesAtOri, int conditional_origins, ModelVersion version) {
    if (linesAtOri <= 1) return 1;
    const double u = gsl_rng_uniform_pos(r);
    return version == ModelVersion::legacy
               ? legacyNumbFoundersFromU(linesAtOri, conditional_origins, u)
               : numbFoundersFromU(linesAtOri, conditional_origins, u);
}

double sameFounderProb(int linesAtOri, double fracF2) {
    return intPow(1 - fracF2, linesAtOri) + intPow(fracF2, linesAtOri);
}

int numbFoundersFracF2FromU(int linesAtOri, double fracF2, double u) {
    if (linesAtOri <= 1) return 1;
    return sameFounderProb(linesAtOri, fracF2) > u ? 1 : 2;
}

int drawNumbFoundersFracF2(int linesAtOri, double fracF2) {
    if (linesAtOri <= 1) return 1;
    const double P = sameFounderProb(linesAtOri, fracF2);
    const double u = gsl_rng_uniform_pos(r);
    return P > u ? 1 : 2;
}
