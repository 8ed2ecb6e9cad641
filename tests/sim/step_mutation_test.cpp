#include <gsl/gsl_errno.h>
#include <gsl/gsl_integration.h>
#include <gsl/gsl_randist.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "sim/MutationModel.h"
#include "sim/StepMutation.h"
#include "support/ChildProcess.h"
#include "support/TestRng.h"

TEST(StepMutation, RateZeroLeavesEveryAlleleAtZero) {
    TestRng rng(5);
    Genealogy g(4, 1);
    g.events = {{5, 1, 2}, {6, 5, 3}, {7, 4, 6}};
    g.eventTimes = {0.7, 1.1, 2.5};
    EXPECT_EQ(generateStepMut(g, 0.0), (std::vector<int32_t>(4, 0)));
}

// Two lines joined at time t: each leaf takes Poisson(rate t) steps of +-1, so
// the difference X1 - X2 is a symmetric walk of Poisson(lambda) steps with
// lambda = 2 rate t. Its mean is 0, its variance lambda, and its fourth central
// moment lambda + 3 lambda^2 (compound Poisson cumulants: kappa_j = lambda
// E[step^j]). Over R replicates the sample mean has standard error
// sqrt(lambda / R) and the sample variance about sqrt((lambda + 2 lambda^2) / R).
TEST(StepMutation, TwoLineDifferenceHasTheVarianceOfAPoissonWalk) {
    TestRng rng(20240611);
    const double rate = 0.75, t = 2.0, lambda = 2.0 * rate * t;
    Genealogy g(2, 1);
    g.events = {{3, 1, 2}};
    g.eventTimes = {t};
    const int R = 20000;
    double sum = 0.0, sumSq = 0.0;
    for (int i = 0; i < R; ++i) {
        auto a = generateStepMut(g, rate);
        ASSERT_EQ(a.size(), 2u);
        const double d = a[0] - a[1];
        sum += d;
        sumSq += d * d;
    }
    const double mean = sum / R;
    const double var = (sumSq - R * mean * mean) / (R - 1);
    EXPECT_LT(std::fabs(mean), 3.0 * std::sqrt(lambda / R));
    EXPECT_LT(std::fabs(var - lambda), 3.0 * std::sqrt((lambda + 2.0 * lambda * lambda) / R));
}

// Event 1 joins leaf 3 (child 1) and internal node 4 (child 2): node 4's
// branch draws first. Reproduce the whole draw sequence on a clone.
TEST(StepMutation, InternalChildDrawsBeforeSampledLineWhateverItsPlace) {
    TestRng rng(99);
    const double rate = 3.0;
    Genealogy g(3, 1);
    g.events = {{4, 1, 2}, {5, 3, 4}};
    g.eventTimes = {0.25, 0.5};
    auto clone = rng.snapshot();
    auto walk = [&](int32_t start, double branch) {
        unsigned int K = gsl_ran_poisson(clone.get(), rate * branch);
        for (unsigned int i = 0; i < K; ++i) start += gsl_rng_uniform(clone.get()) < 0.5 ? -1 : 1;
        return start;
    };
    const int32_t node4 = walk(0, 0.5);
    const int32_t leaf3 = walk(0, 0.25 + 0.5);
    const int32_t leaf1 = walk(node4, 0.25);
    const int32_t leaf2 = walk(node4, 0.25);

    EXPECT_EQ(generateStepMut(g, rate), (std::vector<int32_t>{leaf1, leaf2, leaf3}));
    EXPECT_TRUE(sameState(rng.get(), clone.get())) << "draw count differs";
}

TEST(StepMutation, LinesWithoutMutationOnTheirBranchesShareTheirAncestorsAllele) {
    TestRng rng(3);
    // Leaves 1 and 2 join at time 0: their branches have length 0.
    Genealogy g(4, 1);
    g.events = {{5, 1, 2}, {6, 3, 4}, {7, 5, 6}};
    g.eventTimes = {0.0, 0.5, 0.5};
    int differing34 = 0;
    for (int i = 0; i < 200; ++i) {
        auto a = generateStepMut(g, 4.0);
        ASSERT_EQ(a[0], a[1]);
        differing34 += a[2] != a[3];
    }
    EXPECT_GT(differing34, 0);
}

TEST(StepMutation, EveryTopLineKeepsAlleleZero) {
    TestRng rng(11);
    // Top lines: node 6 (over 1, 2), node 7 (over 3, 4) and leaf 5. The
    // sampled branches have length 0, so only a mutation on a top line itself
    // could move an allele.
    Genealogy g(5, 3);
    g.events = {{6, 1, 2}, {7, 4, 3}};
    g.eventTimes = {0.0, 0.0};
    for (int i = 0; i < 50; ++i) ASSERT_EQ(generateStepMut(g, 10.0), (std::vector<int32_t>(5, 0)));
    // With time on the sampled branches, the separate top line 5 still stays 0.
    g.eventTimes = {1.0, 1.0};
    for (int i = 0; i < 50; ++i) ASSERT_EQ(generateStepMut(g, 10.0)[4], 0);
}

// Beyond 2^31 expected mutations on a branch the Poisson count cannot be drawn
// faithfully (and would take billions of steps): the run stops instead.
TEST(StepMutation, MutationCountBeyondRangeEndsTheRun) {
    Genealogy g(2, 1);
    g.events = {{3, 1, 2}};
    g.eventTimes = {2.0};
    ChildResult r = runInChild([&] {
        TestRng rng(3);
        generateStepMut(g, 1.1e9);
    });
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(
        r.out,
        "\n error: generateStepMut: expected number of mutations on a branch is too large\n\n");
    ChildResult inf = runInChild([&] {
        TestRng rng(3);
        generateStepMut(g, HUGE_VAL);
    });
    EXPECT_EQ(inf.exitStatus, 1);
}

namespace {

// A second generator for the step sizes and locus rates, seeded as a test's.
struct SecondRng {
    explicit SecondRng(unsigned long seed) : g(gsl_rng_alloc(gsl_rng_taus)) {
        gsl_rng_set(g, seed);
    }
    ~SecondRng() { gsl_rng_free(g); }
    SecondRng(const SecondRng&) = delete;
    SecondRng& operator=(const SecondRng&) = delete;
    gsl_rng* g;
};

// phi(t) = E[cos tX] for the geometric step X >= 1 of parameter P:
// Re[(1 - P) e^{it} / (1 - P e^{it})].
double stepCos(double t, double P) {
    return (1.0 - P) * (std::cos(t) - P) / (1.0 - 2.0 * P * std::cos(t) + P * P);
}

// E|D| of D, the sum of Poisson(lambda) steps +-X, by inversion of its
// characteristic function psi(t) = exp(lambda (phi(t) - 1)): for an integer d,
// |d| = (1 / 2 pi) Int_{-pi}^{pi} (1 - cos td) / (1 - cos t) dt (a Fejer
// kernel), so E|D| = (1 / pi) Int_0^pi (1 - psi(t)) / (1 - cos t) dt.
double expectedAbsDifference(double lambda, double P) {
    struct Args {
        double lambda, P;
    } args{lambda, P};
    gsl_function f;
    f.function = [](double t, void* a) {
        const Args& x = *static_cast<Args*>(a);
        // 1 - psi(t) by expm1, precise where psi is near 1 (t near 0).
        return -std::expm1(x.lambda * (stepCos(t, x.P) - 1.0)) / (1.0 - std::cos(t));
    };
    f.params = &args;
    gsl_integration_workspace* w = gsl_integration_workspace_alloc(1000);
    double result = 0.0, error = 0.0;
    const int status = gsl_integration_qags(&f, 1e-9, M_PI, 0.0, 1e-10, 1000, w, &result, &error);
    gsl_integration_workspace_free(w);
    EXPECT_EQ(status, GSL_SUCCESS);
    return result / M_PI;
}

struct Moments {
    double mean = 0.0, se = 0.0, var = 0.0, varSe = 0.0;
};

// The mean of `x` with its standard error, and its variance with the
// standard error of the sample variance, (mu4 - sigma^4) / n.
Moments momentsOf(const std::vector<double>& x) {
    const double n = static_cast<double>(x.size());
    Moments m;
    for (double v : x) m.mean += v / n;
    double m2 = 0.0, m4 = 0.0;
    for (double v : x) {
        const double d = (v - m.mean) * (v - m.mean);
        m2 += d / n;
        m4 += d * d / n;
    }
    m.var = m2 * n / (n - 1.0);
    m.se = std::sqrt(m2 / n);
    m.varSe = std::sqrt((m4 - m2 * m2) / n);
    return m;
}

}  // namespace

// Two lines joined at time t differ by D, the sum of K ~ Poisson(2 mu t) steps
// +-X: E[D^2] = 2 mu t E[X^2] with E[X^2] = (1 + P) / (1 - P)^2, and E|D|
// follows from the characteristic function. Each row simulates 20000 pairs.
TEST(StepMutation, MultiStepDifferenceMatchesTheGeneralisedStepwiseTheory) {
    struct Row {
        double rate, t, P;
    };
    const Row rows[] = {{0.5, 1.0, 0.0}, {0.5, 2.0, 0.2}, {1.0, 1.5, 0.5},
                        {0.2, 2.0, 0.8}, {2.0, 1.0, 0.3}, {0.1, 1.0, 0.9}};
    for (const Row& row : rows) {
        SCOPED_TRACE("rate " + std::to_string(row.rate) + " t " + std::to_string(row.t) + " P " +
                     std::to_string(row.P));
        TestRng rng(777);
        SecondRng steps(4242);
        Genealogy g(2, 1);
        g.events = {{3, 1, 2}};
        g.eventTimes = {row.t};
        const int R = 20000;
        std::vector<double> squares, absolutes;
        std::vector<int32_t> a;
        StepMutationBuffers work;
        for (int i = 0; i < R; ++i) {
            generateStepMutInto(g, row.rate, MutationSteps{row.P, steps.g}, a, work);
            const double d = a[0] - a[1];
            squares.push_back(d * d);
            absolutes.push_back(std::fabs(d));
        }
        const double lambda = 2.0 * row.rate * row.t;
        const double stepSquare = (1.0 + row.P) / ((1.0 - row.P) * (1.0 - row.P));
        const Moments sq = momentsOf(squares), ab = momentsOf(absolutes);
        EXPECT_LT(std::fabs(sq.mean - lambda * stepSquare), 3.0 * sq.se)
            << sq.mean << " vs " << lambda * stepSquare;
        EXPECT_LT(std::fabs(ab.mean - expectedAbsDifference(lambda, row.P)), 3.0 * ab.se)
            << ab.mean << " vs " << expectedAbsDifference(lambda, row.P);
    }
}

// With P = 0 the generalised model is the strict one draw for draw, and it
// draws nothing from the second generator.
TEST(StepMutation, ZeroMultiStepChanceDrawsAsTheStrictModel) {
    Genealogy g(3, 1);
    g.events = {{4, 1, 2}, {5, 3, 4}};
    g.eventTimes = {0.25, 0.5};
    SecondRng steps(9);
    const auto untouched =
        std::unique_ptr<gsl_rng, void (*)(gsl_rng*)>(gsl_rng_clone(steps.g), gsl_rng_free);
    std::vector<int32_t> strict, general;
    StepMutationBuffers work;
    {
        TestRng rng(31);
        generateStepMutInto(g, 3.0, strict, work);
    }
    TestRng rng(31);
    generateStepMutInto(g, 3.0, MutationSteps{0.0, steps.g}, general, work);
    EXPECT_EQ(strict, general);
    EXPECT_TRUE(sameState(steps.g, untouched.get()));
}

// Rates that differ between loci: with lambda_i = lambda G_i, G_i ~ Gamma of
// mean 1 and variance 1 / shape, the mean over loci of D^2 stays lambda while
// its variance grows from lambda + 2 lambda^2 (a Poisson walk: E[D^4 | lambda]
// = lambda + 3 lambda^2) to lambda + 2 lambda^2 + 3 lambda^2 / shape. Shape 0
// is no variation. 40000 loci of two lines per row.
TEST(StepMutation, LocusRatesWidenTheSpreadOverLociAsAGammaMixture) {
    struct Row {
        double shape, lambda;
    };
    const Row rows[] = {{0.0, 1.0}, {0.5, 1.0}, {2.0, 1.0}, {4.0, 2.0}};
    for (const Row& row : rows) {
        SCOPED_TRACE("shape " + std::to_string(row.shape));
        TestRng rng(2026);
        SecondRng second(17);
        Genealogy g(2, 1);
        g.events = {{3, 1, 2}};
        g.eventTimes = {1.0};
        std::vector<double> squares, rates;
        std::vector<int32_t> a;
        StepMutationBuffers work;
        for (int i = 0; i < 40000; ++i) {
            const double rate = locusRate(row.lambda / 2.0, row.shape, second.g);
            rates.push_back(rate);
            generateStepMutInto(g, rate, MutationSteps{0.0, second.g}, a, work);
            squares.push_back(static_cast<double>((a[0] - a[1]) * (a[0] - a[1])));
        }
        const double L = row.lambda;
        const double spread = row.shape > 0 ? 3.0 * L * L / row.shape : 0.0;
        const Moments sq = momentsOf(squares), rt = momentsOf(rates);
        EXPECT_LE(std::fabs(rt.mean - L / 2.0), 3.0 * rt.se + 1e-12);
        EXPECT_LT(std::fabs(sq.mean - L), 3.0 * sq.se);
        EXPECT_LT(std::fabs(sq.var - (L + 2.0 * L * L + spread)), 3.0 * sq.varSe) << sq.var;
    }
}
