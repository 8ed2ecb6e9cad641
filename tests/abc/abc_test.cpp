#include "abc/Abc.h"

#include <gsl/gsl_errno.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <sstream>

#include "abc/ChoiceVerdict.h"
#include "abc/CrossValidation.h"
#include "abc/FitCheck.h"
#include "abc/GoodnessOfFit.h"
#include "abc/LocalLinear.h"
#include "abc/ModelChoice.h"
#include "abc/Stats.h"
#include "io/PriorsFile.h"
#include "sim/PriorBounds.h"
#include "support/ChildProcess.h"
#include "support/ReferenceTableText.h"

namespace {

constexpr double nan_ = std::numeric_limits<double>::quiet_NaN();
constexpr double inf_ = std::numeric_limits<double>::infinity();

// The rows as a table written before the spread and shape statistics: those
// are not numbers, as a reader leaves them.
ReferenceTable toTable(const std::vector<TableRow>& rows) {
    ReferenceTable t;
    t.numbStats = numbCoreStats;
    for (const TableRow& row : rows) {
        for (std::size_t c = 0; c < 7; ++c) t.params[c].push_back(row.params[c]);
        for (std::size_t j = 0; j < numbTableStats; ++j)
            t.stats[j].push_back(j < numbCoreStats ? row.stats[j] : nan_);
    }
    return t;
}

// Observed core statistics, the others not numbers.
std::array<double, numbTableStats> widened(const std::array<double, numbCoreStats>& core) {
    std::array<double, numbTableStats> all;
    all.fill(nan_);
    std::copy(core.begin(), core.end(), all.begin());
    return all;
}

const std::vector<std::string> toyStats = {"S_sue", "S_tha", "NAL_sue", "NAL_tha"};

// The toy's priors as its priors file gives them.
TablePriors toyPriors() {
    PriorsFile file;
    std::string error;
    EXPECT_TRUE(parsePriors(toyPriorsText(1), file, error)) << error;
    return file.priors;
}

// Settings for an estimate of `t`: the transform `kind` (from the toy's
// priors, or falling back from logit without them).
EstimationSettings settingsFor(const ReferenceTable& t, double tolerance,
                               TransformKind kind = TransformKind::logit, bool priors = false,
                               bool hcorr = false) {
    const TablePriors p = toyPriors();
    TransformChoice choice = chooseTransforms(t, kind, priors ? &p : nullptr);
    EXPECT_EQ(choice.error, "");
    return {tolerance, AdjustMethod::loclinear, hcorr, choice.transforms};
}

}  // namespace

TEST(Abc, MedianAbsoluteDeviationIgnoresWhatIsNotFinite) {
    struct Case {
        std::vector<double> values;
        double mad;
    };
    for (const Case& c : std::vector<Case>{{{1, 2, 3, 4, 100}, 1},
                                           {{1, 2, 3, 4}, 1},  // median 2.5
                                           {{4, nan_, 1, inf_, 3, 2, -inf_}, 1},
                                           {{7, 7, 7, 8}, 0},
                                           {{5}, 0}}) {
        EXPECT_EQ(medianAbsoluteDeviation(c.values), c.mad);
    }
    EXPECT_TRUE(std::isnan(medianAbsoluteDeviation({nan_, inf_})));
}

TEST(Abc, AcceptsTheNearestShareKeepsTiesAndWeighsByEpanechnikov) {
    struct Case {
        std::vector<double> distances;
        double tolerance;
        std::vector<std::size_t> rows;
        std::vector<double> weights;
    };
    std::vector<double> hundred;
    for (int i = 1; i <= 100; ++i) hundred.push_back(i);
    for (const Case& c :
         std::vector<Case>{// Two of four finite distances asked for; the tie at 0.2 is kept,
                           // and the rows at the cut-off get weight 0.
                           {{0.3, 0.2, inf_, 0.1, 0.2}, 0.5, {1, 3, 4}, {0, 0.75, 0}},
                           // Every accepted row matches exactly: h = 0, equal weights.
                           {{0, 1, 0}, 0.34, {0, 2}, {1, 1}},
                           {{2, 1}, 1.0, {0, 1}, {0, 0.75}},
                           // Far below one row: still the nearest one.
                           {{2, 1}, 1e-9, {1}, {0}},
                           // 0.07 * 100 is 7.000000000000001 in floating point: still 7 rows.
                           {hundred,
                            0.07,
                            {0, 1, 2, 3, 4, 5, 6},
                            {48. / 49, 45. / 49, 40. / 49, 33. / 49, 24. / 49, 13. / 49, 0}}}) {
        Acceptance a = acceptNearest(c.distances, c.tolerance);
        EXPECT_EQ(a.rows, c.rows);
        ASSERT_EQ(a.weights.size(), c.weights.size());
        for (std::size_t i = 0; i < c.weights.size(); ++i)
            EXPECT_NEAR(a.weights[i], c.weights[i], 1e-15) << i;
    }
    EXPECT_EQ(acceptNearest({inf_, inf_}, 0.5).rows.size(), 0u);
}

TEST(Abc, ChoosesStatisticsAndLeavesOutThoseThatCannotBeScaledOrCompared) {
    ReferenceTable t = toTable(toyRows(200, 1));
    std::array<double, numbTableStats> observed = widened(toyObserved);
    observed[1] = nan_;
    StatisticChoice all = chooseStatistics(t, observed, {});
    // S_tha (NaN observed) and FST (constant) drop out with a warning each.
    EXPECT_EQ(all.columns, (std::vector<std::size_t>{0, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    ASSERT_EQ(all.warnings.size(), 2u);
    EXPECT_NE(all.warnings[0].find("S_tha left out: it is not a finite number"), std::string::npos);
    EXPECT_NE(all.warnings[1].find("FST left out: its median absolute deviation"),
              std::string::npos);
    EXPECT_EQ(all.scale[0], medianAbsoluteDeviation(t.stats[0]));

    StatisticChoice two = chooseStatistics(t, observed, {"NAL_tha", "S_sue", "S_sue"});
    EXPECT_EQ(two.columns, (std::vector<std::size_t>{0, 3}));
    EXPECT_EQ(two.observed, (std::vector<double>{5, 1}));
    EXPECT_NE(chooseStatistics(t, observed, {"S_sue", "Sue"}).error.find("unknown statistic 'Sue'"),
              std::string::npos);
    EXPECT_EQ(chooseStatistics(t, observed, {"S_tha", "FST"}).error,
              "no statistic is left to compare with the data");

    // A statistic undefined in every simulation is named, and the others
    // keep their scales.
    for (double& x : t.stats[6]) x = nan_;
    StatisticChoice noVar = chooseStatistics(t, observed, {});
    EXPECT_EQ(noVar.columns, (std::vector<std::size_t>{0, 2, 3, 4, 5, 7, 8, 9, 10}));
    ASSERT_EQ(noVar.warnings.size(), 3u);
    EXPECT_NE(noVar.warnings[1].find("VAR_sue left out: it is not a finite number in any "
                                     "simulation"),
              std::string::npos);

    // Which statistics each method takes by default: the rejection methods
    // the core ones, the forests those the table holds (silently, for an
    // older table); a later statistic is taken by name.
    ReferenceTable current = toTable(toyRows(200, 2));
    current.numbStats = numbTableStats;
    for (std::size_t j = numbCoreStats; j < numbTableStats; ++j)
        for (std::size_t i = 0; i < current.rows(); ++i) current.stats[j][i] = double(i % 7) + j;
    std::array<double, numbTableStats> seen = widened(toyObserved);
    for (std::size_t j = numbCoreStats; j < numbTableStats; ++j) seen[j] = 3;
    // FST, 0 in every toy row, drops out with a warning everywhere.
    const std::vector<std::size_t> core = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::vector<std::size_t> every = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 13, 14, 15, 16, 17};
    struct Defaults {
        const ReferenceTable* table;
        bool forest;
        std::vector<std::string> names;
        std::vector<std::size_t> columns;
        std::size_t warnings;
    };
    const ReferenceTable older = toTable(toyRows(200, 2));
    for (const Defaults& d : std::vector<Defaults>{
             {&current, false, {}, core, 1},
             {&current, true, {}, every, 1},
             {&older, true, {}, core, 1},
             {&current, false, {"GAP_tha", "SDHET_sue"}, {12, 17}, 0},
             {&older, false, {"S_sue", "GAP_tha"}, {0}, 1}}) {
        const StatisticChoice c =
            d.forest ? chooseForestStatistics(*d.table, seen, d.names)
                     : chooseStatistics(*d.table, seen, d.names);
        EXPECT_EQ(c.columns, d.columns) << d.forest << " " << d.names.size();
        EXPECT_EQ(c.warnings.size(), d.warnings) << d.forest << " " << d.names.size();
    }
}

TEST(Abc, ScaledDistancesSkipUndefinedObservedAndRowsWithUndefinedStatistics) {
    ReferenceTable t;
    t.params[0] = {1, 1, 1};
    t.stats[0] = {1, 3, nan_};
    t.stats[1] = {2, 2, 2};
    t.stats[2] = {10, 20, 30};
    EXPECT_EQ(scaledDistances(t, {0, 1}, {1, 6}, {2, 1}),
              (std::vector<double>{4, std::sqrt(17.), inf_}));
    EXPECT_EQ(scaledDistances(t, {0, 2}, {nan_, 10}, {1, 10}), (std::vector<double>{0, 1, 2}));
}

// The toy's statistics come in pairs that measure one parameter each. Data
// whose pair disagrees far beyond its noise, each value ordinary on its own,
// break a relation that every simulation keeps: the fit check flags them
// where the goodness of fit, a mean distance over every statistic, does not,
// and names the pair. Fresh data from the model get uniform p-values.
TEST(FitCheck, FlagsBrokenRelationsAndIsUniformOnTheModelsOwnData) {
    ReferenceTable t = toTable(toyRows(4000, 5));
    const std::vector<std::string> stats = {"S_sue", "S_tha", "NAL_sue", "NAL_tha", "HET_sue"};
    const auto observed = [](double sSue, double sTha, double nalSue, double nalTha) {
        std::array<double, numbTableStats> o = widened(toyObserved);
        o[0] = sSue, o[1] = sTha, o[2] = nalSue, o[3] = nalTha;
        return o;
    };
    struct Case {
        std::array<double, numbTableStats> observed;
        double lowest, highest;  // the fit check's p-value
        bool gfitFlags;
        std::size_t pair;  // the first of the two statistics that disagree; 9: none
    };
    for (const Case& c : std::vector<Case>{
             {observed(5, 5.5, 0, 0.5), 0.1, 1.0, false, 9},
             {observed(3.5, 7.5, 0, 0), 0.0, 0.03, false, 0},
             {observed(5, 5, -1.5, 2.5), 0.0, 0.03, false, 2},
             {observed(5, 5, 0, 14), 0.0, 0.01, true, 2}}) {
        const StatisticChoice choice = chooseStatistics(t, c.observed, stats);
        const FitCheck fit = fitCheck(t, choice, 200, 3, 0.05);
        ASSERT_EQ(fit.error, "");
        EXPECT_GE(fit.pValue, c.lowest) << c.observed[0] << " " << c.observed[2];
        EXPECT_LE(fit.pValue, c.highest) << c.observed[0] << " " << c.observed[2];
        EXPECT_EQ(goodnessOfFit(t, choice, 200, 3, 0.05).pValue < 0.05, c.gfitFlags)
            << c.observed[0] << " " << c.observed[2];
        // The residuals of each statistic on the others name the pair.
        for (std::size_t j = 0; j < choice.columns.size(); ++j)
            EXPECT_EQ(std::fabs(fit.observed.conditional[j]) > 2.5, j == c.pair || j == c.pair + 1)
                << j << " " << c.observed[0] << " " << c.observed[2];
        EXPECT_EQ(fit.rows, goodnessOfFit(t, choice, 200, 3, 0.05).rows);
        EXPECT_EQ(fit.nullScores, fitCheck(t, choice, 200, 3, 0.05).nullScores);
    }

    // Under the model the p-value is uniform: of 80 fresh data sets about
    // 4 fall below 0.05 and 40 below 0.5 (binomial spreads 2 and 4.5).
    const std::vector<TableRow> fresh = toyRows(80, 77);
    std::size_t below05 = 0, below50 = 0;
    for (const TableRow& row : fresh) {
        std::array<double, numbTableStats> o = widened(toyObserved);
        std::copy(row.stats.begin(), row.stats.end(), o.begin());
        const FitCheck fit = fitCheck(t, chooseStatistics(t, o, stats), 100, 4, 0.05);
        ASSERT_EQ(fit.error, "");
        below05 += fit.pValue < 0.05 ? 1 : 0;
        below50 += fit.pValue < 0.5 ? 1 : 0;
    }
    EXPECT_LE(below05, 10u);
    EXPECT_GE(below50, 27u);
    EXPECT_LE(below50, 53u);

    // What it refuses: more pseudo-observed rows than the table has others,
    // and a neighbourhood too small for the covariance of its statistics.
    const StatisticChoice choice = chooseStatistics(t, widened(toyObserved), stats);
    struct Refusal {
        std::size_t count;
        double share;
        std::string error;
    };
    for (const Refusal& r : std::vector<Refusal>{
             {4000, 0.05, "needs a table of more rows than that; it has 4000"},
             {0, 0.05, "a fit check on 0 simulations"},
             {10, 0.006, "the 24 simulations nearest to the data are too few to give the "
                         "covariance of 5 statistics: it needs at least 25"}}) {
        const FitCheck fit = fitCheck(t, choice, r.count, 1, r.share);
        EXPECT_NE(fit.error.find(r.error), std::string::npos) << fit.error;
        EXPECT_EQ(fit.tooFewNeighbours, r.share < 0.01);
    }
}

// Two statistics over a whole table: the score is r' C_s^-1 r with the
// covariance's off-diagonal shrunk, and each residual that of the simple
// regression of one statistic on the other, worked out by hand.
TEST(FitCheck, ScoreAndResidualsOfTwoStatisticsByHand) {
    ReferenceTable t;
    for (int i = 0; i < 10; ++i) {
        t.params[0].push_back(1);
        t.stats[0].push_back(i);
        t.stats[1].push_back(2 * i + (i % 2 == 0 ? -1.0 : 1.0) * (1 + i % 3));
    }
    const auto moments = [&](double& mx, double& my, double& vx, double& vy, double& cxy) {
        mx = my = vx = vy = cxy = 0;
        for (int i = 0; i < 10; ++i) mx += t.stats[0][i] / 10, my += t.stats[1][i] / 10;
        for (int i = 0; i < 10; ++i) {
            const double dx = t.stats[0][i] - mx, dy = t.stats[1][i] - my;
            vx += dx * dx / 9, vy += dy * dy / 9, cxy += dx * dy / 9;
        }
    };
    double mx, my, vx, vy, cxy;
    moments(mx, my, vx, vy, cxy);
    for (const std::array<double, 2>& point : std::vector<std::array<double, 2>>{
             {4.5, 9}, {4.5, 14}, {1, 12}, {8, 3}}) {
        std::array<double, numbTableStats> o = widened(toyObserved);
        o[0] = point[0], o[1] = point[1];
        const StatisticChoice choice = chooseStatistics(t, o, {"S_sue", "S_tha"});
        ASSERT_EQ(choice.error, "");
        const NeighbourhoodScore s = neighbourhoodScore(t, choice, choice.observed, 1.0, 10, true);
        EXPECT_EQ(s.neighbours, 10u);
        const double rx = point[0] - mx, ry = point[1] - my;
        const double c = (1 - varianceShare) * cxy, det = vx * vy - c * c;
        EXPECT_NEAR(s.score, (vy * rx * rx - 2 * c * rx * ry + vx * ry * ry) / det, 1e-9)
            << point[1];
        const double rho2 = cxy * cxy / (vx * vy);
        EXPECT_NEAR(s.conditional[1], (ry - cxy / vx * rx) / std::sqrt(vy * (1 - rho2)), 1e-9);
        EXPECT_NEAR(s.conditional[0], (rx - cxy / vy * ry) / std::sqrt(vx * (1 - rho2)), 1e-9);
        // Without asking, the residuals are not worked out.
        EXPECT_TRUE(std::isnan(
            neighbourhoodScore(t, choice, choice.observed, 1.0, 10, false).conditional[0]));
    }
}

TEST(LocalLinear, RecoversAPlaneAndRefusesTooFewRowsAndSingularDesigns) {
    // y = 3 + 2 x1 - x2 (+ 0.1 noise on the second response) on a small grid;
    // x2 in units a million times smaller, as statistics of unlike units are.
    std::vector<double> x, y1, y2, w;
    for (int i = 0; i < 12; ++i) {
        double a = i % 4, b = (i * 7) % 5;
        x.insert(x.end(), {a, b * 1e6});
        y1.push_back(3 + 2 * a - b);
        y2.push_back(1 - b + (i % 2 ? 0.1 : -0.1));
        w.push_back(i == 11 ? 0 : 1 + 0.1 * i);
    }
    LocalLinearFit fit = fitLocalLinear(x, 2, {y1, y2}, w);
    ASSERT_EQ(fit.error, "");
    EXPECT_EQ(fit.rowsUsed, 11u);
    std::vector<double> plane = {3, 2, -1e-6};
    for (std::size_t j = 0; j < 3; ++j)
        EXPECT_NEAR(fit.coefficients[0][j], plane[j], 1e-12 * std::fabs(plane[j]));
    for (double a : fit.adjusted[0]) EXPECT_NEAR(a, 3, 1e-12);  // every row carried to x = 0
    EXPECT_NEAR(fit.coefficients[1][2], -1e-6, 0.05e-6);

    // A statistic constant or collinear with others among the rows is left
    // out (slope 0), and the fit goes on with the rest; too few rows remain
    // an error.
    struct Case {
        std::string name;
        std::vector<double> x;
        std::size_t p;
        std::string dropped;  // collinearityText of each left out, "; " between
        std::string message;  // part of the error; "" for none
    };
    std::vector<double> same, near, constant, sum;
    for (int i = 0; i < 12; ++i) {
        same.insert(same.end(), {x[2 * i], 2 * x[2 * i]});
        near.insert(near.end(), {x[2 * i], x[2 * i] * (1 + 1e-13 * i)});
        constant.insert(constant.end(), {x[2 * i], 5});  // the intercept again
        sum.insert(sum.end(), {x[2 * i], x[2 * i + 1], x[2 * i] - 3e-6 * x[2 * i + 1] + 1});
    }
    const std::vector<std::string> names = {"A", "B", "C"};
    for (const Case& c : std::vector<Case>{
             {"dependent", same, 2, "B is collinear with A among the accepted rows", ""},
             {"near", near, 2, "B is collinear with A among the accepted rows", ""},
             {"constant", constant, 2, "B is constant among the accepted rows", ""},
             {"a sum of two", sum, 3, "C is collinear with A and B among the accepted rows", ""},
             {"few", x, 2, "",
              "too few accepted simulations for the regression: 3 have positive weight, but 3 "
              "coefficients need more than 3"}}) {
        std::vector<double> weights = w;
        if (c.name == "few") weights = {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        const LocalLinearFit f = fitLocalLinear(c.x, c.p, {y1}, weights);
        std::string dropped;
        for (const CollinearColumn& d : f.dropped)
            dropped += (dropped.empty() ? "" : "; ") + collinearityText(d, names);
        EXPECT_EQ(dropped, c.dropped) << c.name;
        if (!c.message.empty()) {
            EXPECT_NE(f.error.find(c.message), std::string::npos) << c.name << ": " << f.error;
            continue;
        }
        ASSERT_EQ(f.error, "") << c.name;
        ASSERT_EQ(f.coefficients[0].size(), c.p + 1) << c.name;
        EXPECT_EQ(f.coefficients[0][c.p], 0.0) << c.name;  // the slope of the one left out
    }
    // Without C, the sum fits as the two statistics alone.
    const LocalLinearFit withoutSum = fitLocalLinear(sum, 3, {y1}, w);
    for (std::size_t j = 0; j < 3; ++j)
        EXPECT_NEAR(withoutSum.coefficients[0][j], plane[j], 1e-9 * std::fabs(plane[j]));
}

// The linear-Gaussian toy (see toyRows): the exact posterior of log My is
// N(5.2, 0.2) (truncation to the prior's [0, 10] is 11 SD away), so My is
// log-normal with mean exp(5.3) and SD mean * sqrt(e^0.2 - 1); that of
// TimeToOri is N(0.2, 0.2). About 1000 simulations are accepted, of effective
// size n_e ~ 700. The adjusted values are then draws from the posterior up to
// the error of the fitted slopes, so the estimated mean may miss by a few
// Monte Carlo standard errors, SD / sqrt(n_e), and the SD by a few
// SD / sqrt(2 n_e): the test allows four of each (with the log-normal's
// SD for My). Rejection alone accepts a ball that is wide next to the
// posterior, and must miss the SD by at least three times as much.
TEST(Abc, AdjustedPosteriorOfTheLinearGaussianToyIsCloseToTheExactOne) {
    ReferenceTable t = toTable(toyRows(20000, 7));
    StatisticChoice choice = chooseStatistics(t, widened(toyObserved), toyStats);
    // My on the log scale; TimeToOri, which has negative values, on its own.
    AbcEstimate e = estimateParameters(t, choice, choice.observed, settingsFor(t, 0.05), t.rows());
    ASSERT_EQ(e.error, "");
    const std::vector<double>& w = e.acceptance.weights;
    const double ne = effectiveSize(w);
    EXPECT_GT(ne, 500);
    struct Case {
        std::size_t param;
        double mean, sd;
    };
    const double myMean = std::exp(5.3);
    for (const Case& c : std::vector<Case>{{0, myMean, myMean * std::sqrt(std::exp(0.2) - 1)},
                                           {1, 0.2, std::sqrt(0.2)}}) {
        const double adjustedMean = weightedMean(e.adjusted[c.param], w);
        const double adjustedSd = weightedSd(e.adjusted[c.param], w);
        const double rejectionSd = weightedSd(e.rejection[c.param], w);
        EXPECT_NEAR(adjustedMean, c.mean, 4 * c.sd / std::sqrt(ne)) << c.param;
        EXPECT_NEAR(adjustedSd, c.sd, 4 * c.sd / std::sqrt(2 * ne)) << c.param;
        EXPECT_GT(std::fabs(rejectionSd - c.sd), 3 * std::fabs(adjustedSd - c.sd)) << c.param;
        EXPECT_GT(std::fabs(weightedMean(e.rejection[c.param], w) - c.mean),
                  std::fabs(adjustedMean - c.mean))
            << c.param;
    }
    // FracSueMono is reported as accepted.
    EXPECT_EQ(e.adjusted[6], e.rejection[6]);
}

TEST(CrossValidation, ErrorNearZeroForAnInformedParameterAndNearOneOtherwise) {
    ReferenceTable t = toTable(toyRows(5000, 3));
    StatisticChoice choice = chooseStatistics(t, widened(toyObserved), toyStats);
    const EstimationSettings settings = settingsFor(t, 0.02, TransformKind::logit, true);
    CrossValidation cv = crossValidate(t, choice, 60, 11, settings);
    ASSERT_EQ(cv.error, "");
    // TimeToOri: posterior variance 0.2 against a prior variance of 100/12.
    EXPECT_LT(cv.adjusted[1].error, 0.05);
    EXPECT_LT(cv.rejection[1].error, 0.1);
    EXPECT_EQ(verdict(cv.adjusted[1].error, cv.adjusted[1].standardError), "informed by the data");
    for (std::size_t c : {2, 3, 4, 5, 6}) {  // drawn apart from every statistic
        EXPECT_GT(cv.rejection[c].error, 0.8) << c;
        EXPECT_LT(cv.rejection[c].error, 1.3) << c;
        EXPECT_GT(cv.adjusted[c].error, 0.8) << c;
        EXPECT_EQ(verdict(cv.adjusted[c].error, cv.adjusted[c].standardError),
                  "not informed by the data");
    }
    ASSERT_EQ(cv.truths[1].size(), 60u);
    EXPECT_EQ(cv.truths[1][0], t.params[1][cv.rows[0]]);

    // The seed fixes the rows; another seed picks others.
    EXPECT_EQ(crossValidate(t, choice, 60, 11, settings).rows, cv.rows);
    EXPECT_NE(crossValidate(t, choice, 60, 12, settings).rows, cv.rows);
    for (std::size_t n : {0, 5000})
        EXPECT_NE(crossValidate(t, choice, n, 1, settings).error.find("needs a table of more rows"),
                  std::string::npos);

    struct Verdict {
        double error, standardError;
        std::string says;
    };
    for (const Verdict& v : std::vector<Verdict>{{0.3, 0.05, "informed by the data"},
                                                 {0.45, 0.05, "weakly informed by the data"},
                                                 {0.79, 0.3, "weakly informed by the data"},
                                                 {0.8, 0.01, "not informed by the data"},
                                                 {nan_, nan_, "cannot tell"}})
        EXPECT_EQ(verdict(v.error, v.standardError).substr(0, v.says.size()), v.says) << v.error;
}

// On the linear-Gaussian toy the adjusted posteriors of My and TimeToOri are
// close to the exact ones, and the others are the prior itself, so every
// central interval should hold the truth at its nominal rate. The share of
// N pseudo-observed rows inside has a Monte Carlo standard error of
// sqrt(c (1 - c) / N): 0.029 for c = 0.5 and 0.013 for c = 0.95 at N = 300;
// allowed: three. And the stated standard error of the prediction error
// must match its spread over repeated draws of the pseudo-observed rows.
TEST(CrossValidation, CoverageIsCalibratedAndTheStandardErrorMatchesTheSpreadOverSeeds) {
    ReferenceTable t = toTable(toyRows(6000, 4));
    StatisticChoice choice = chooseStatistics(t, widened(toyObserved), toyStats);
    const EstimationSettings settings = settingsFor(t, 0.03, TransformKind::logit, true);
    const std::size_t N = 300;
    CrossValidation cv = crossValidate(t, choice, N, 3, settings);
    ASSERT_EQ(cv.error, "");
    const double se50 = std::sqrt(0.25 / N), se95 = std::sqrt(0.95 * 0.05 / N);
    for (std::size_t c = 0; c < 6; ++c) {
        const CvMethodResult& m = c < 2 ? cv.adjusted[c] : cv.rejection[c];
        EXPECT_NEAR(m.coverage50, 0.5, 3 * se50) << c;
        EXPECT_NEAR(m.coverage95, 0.95, 3 * se95) << c;
    }

    std::vector<double> errors, standardErrors;
    for (unsigned long seed = 1; seed <= 20; ++seed) {
        CrossValidation small = crossValidate(t, choice, 50, seed, settings);
        ASSERT_EQ(small.error, "");
        errors.push_back(small.rejection[2].error);
        standardErrors.push_back(small.rejection[2].standardError);
    }
    const std::vector<double> ones(errors.size(), 1.0);
    // The spread of 20 errors is itself uncertain by about 16 %.
    const double ratio = weightedMean(standardErrors, ones) / weightedSd(errors, ones);
    EXPECT_GT(ratio, 0.6);
    EXPECT_LT(ratio, 1.6);
}

// Where the data put a parameter at the edge of its prior, the log scale (or
// none) carries adjusted values beyond the bound; the logit never does.
TEST(Abc, LogitAdjustedValuesStayStrictlyInsideThePrior) {
    ReferenceTable t = toTable(toyRows(20000, 9));
    std::array<double, numbTableStats> edge = widened(toyObserved);
    edge[0] = edge[1] = 0.1;   // log My near its lower bound 0
    edge[2] = edge[3] = 4.95;  // TimeToOri near its upper bound 5
    StatisticChoice choice = chooseStatistics(t, edge, toyStats);
    const TablePriors priors = toyPriors();
    for (bool hcorr : {false, true}) {
        AbcEstimate loose =
            estimateParameters(t, choice, choice.observed,
                               settingsFor(t, 0.02, TransformKind::logit, false, hcorr), t.rows());
        AbcEstimate bounded =
            estimateParameters(t, choice, choice.observed,
                               settingsFor(t, 0.02, TransformKind::logit, true, hcorr), t.rows());
        ASSERT_EQ(loose.error + bounded.error, "");
        for (std::size_t c = 0; c < 6; ++c) {
            const auto outside = [&](double x) {
                return !(x > priors[c].lower && x < priors[c].upper);
            };
            if (c < 2) {
                EXPECT_TRUE(
                    std::any_of(loose.adjusted[c].begin(), loose.adjusted[c].end(), outside))
                    << c << " " << hcorr;
            }
            EXPECT_FALSE(
                std::any_of(bounded.adjusted[c].begin(), bounded.adjusted[c].end(), outside))
                << c << " " << hcorr;
        }
    }
    // A value drawn exactly on a bound is replaced, for the regression, by the
    // nearest value inside; back-transformed values far in a tail stay inside.
    std::vector<double> column = {1, 2, 3, 10};
    ParameterTransform logit(TransformKind::logit, column, {false, 1, 10});
    EXPECT_TRUE(logit.replacedValues());
    EXPECT_EQ(logit.forward(1), logit.forward(2));
    EXPECT_EQ(logit.forward(10), logit.forward(3));
    EXPECT_DOUBLE_EQ(logit.backward(logit.forward(3)), 3);
    EXPECT_GT(logit.backward(-800), 1);
    EXPECT_LT(logit.backward(800), 10);
    ParameterTransform logUniform(TransformKind::logit, column, {true, 1, 10});
    EXPECT_DOUBLE_EQ(logUniform.forward(std::sqrt(10.0)), 0);  // the middle of the log range
    EXPECT_NE(ParameterTransform(TransformKind::logit, {1, 10}, {false, 1, 10}).error(), "");
    EXPECT_NE(ParameterTransform(TransformKind::log, {-1, 0}).error(), "");
}

// The regression against R's lm() with weights, on the same accepted rows,
// transformed responses and weights: coefficients and adjusted values must
// agree to 1e-9 relative (for adjusted values near 0, relative to the mean
// magnitude of their response).
TEST(LocalLinear, AgreesWithRsWeightedLm) {
    if (system("command -v Rscript >/dev/null 2>&1") != 0) GTEST_SKIP() << "Rscript not installed";
    ReferenceTable t = toTable(toyRows(5000, 5));
    std::vector<std::string> names = {"S_sue", "S_tha", "NAL_sue", "NAL_tha", "HET_sue"};
    StatisticChoice choice = chooseStatistics(t, widened(toyObserved), names);
    AbcEstimate e = estimateParameters(t, choice, choice.observed, settingsFor(t, 0.1), t.rows());
    ASSERT_EQ(e.error, "");
    const Acceptance& a = e.acceptance;
    const std::size_t p = choice.columns.size(), n = a.rows.size();
    // My (0) and PopSizeOriTha (2) on the log scale, TimeToOri (1, negative
    // values) on its own.
    std::vector<std::vector<double>> ys(3);
    std::vector<double> x;
    // One line per accepted row: weight, the three responses, the predictors.
    std::string data = "w\ty0\ty1\ty2";
    for (std::size_t k = 0; k < p; ++k) data += "\tx" + std::to_string(k);
    for (std::size_t r = 0; r < n; ++r) {
        const std::size_t i = a.rows[r];
        std::vector<double> line = {a.weights[r]};
        for (std::size_t q = 0; q < 3; ++q) {
            ys[q].push_back(q == 1 ? t.params[q][i] : std::log(t.params[q][i]));
            line.push_back(ys[q].back());
        }
        for (std::size_t k = 0; k < p; ++k) {
            x.push_back((t.stats[choice.columns[k]][i] - choice.observed[k]) / choice.scale[k]);
            line.push_back(x.back());
        }
        char buf[32];
        for (std::size_t j = 0; j < line.size(); ++j)
            data += std::string(j ? "\t" : "\n") +
                    (std::snprintf(buf, sizeof buf, "%.17g", line[j]), buf);
    }
    TempDir dir;
    dir.write("rows.tsv", data + "\n");
    dir.write("fit.R", "d <- read.table('" + dir.file("rows.tsv") +
                           "', header = TRUE)\n"
                           "X <- as.matrix(d[, grep('^x', names(d))])\n"
                           "for (y in c('y0', 'y1', 'y2')) {\n"
                           "  fit <- lm(d[[y]] ~ X, weights = d$w)\n"
                           "  b <- coef(fit)\n"
                           "  cat(sprintf('%.17g', b), '\\n')\n"
                           "  cat(sprintf('%.17g', d[[y]] - X %*% b[-1]), '\\n')\n"
                           "}\n");
    ChildResult r = runProgram({"Rscript", dir.file("fit.R")});
    ASSERT_EQ(r.exitStatus, 0);
    LocalLinearFit fit = fitLocalLinear(x, p, ys, a.weights);
    ASSERT_EQ(fit.error, "");
    std::istringstream lines(r.out);
    for (std::size_t q = 0; q < 3; ++q) {
        std::string coefLine, adjustedLine;
        std::getline(lines, coefLine);
        std::getline(lines, adjustedLine);
        std::istringstream coefs(coefLine), adjusted(adjustedLine);
        double fromR;
        for (std::size_t j = 0; j <= p; ++j) {
            ASSERT_TRUE(coefs >> fromR);
            EXPECT_NEAR(fit.coefficients[q][j], fromR, 1e-9 * std::fabs(fromR)) << q << " " << j;
        }
        double scale = 0;
        for (double v : ys[q]) scale += std::fabs(v) / static_cast<double>(n);
        for (std::size_t r = 0; r < n; ++r) {
            ASSERT_TRUE(adjusted >> fromR);
            // The command's own adjusted values, back on the regression scale.
            double mine = e.adjusted[q][r];
            if (q != 1) mine = std::log(mine);
            EXPECT_NEAR(mine, fromR, 1e-9 * std::fmax(std::fabs(fromR), scale)) << q << " " << r;
            EXPECT_NEAR(fit.adjusted[q][r], fromR, 1e-9 * std::fmax(std::fabs(fromR), scale));
        }
    }
}

// The whole local-linear adjustment against R's abc 2.2.2, rewritten in base
// R from its steps: the logit transform with its treatment of values on a
// bound (over the whole column), lsfit on the accepted rows, residuals
// centred on their unweighted mean, and the heteroscedastic correction on
// the log squared residuals. Adjusted values agree to 1e-9 relative.
TEST(Abc, LogitAdjustmentAndHeteroscedasticCorrectionAgreeWithR) {
    if (system("command -v Rscript >/dev/null 2>&1") != 0) GTEST_SKIP() << "Rscript not installed";
    ReferenceTable t = toTable(toyRows(5000, 5));
    StatisticChoice choice = chooseStatistics(t, widened(toyObserved), toyStats);
    const std::size_t p = choice.columns.size();
    // A PopSizeOriTha drawn exactly on its lower bound, inside the accepted set.
    AbcEstimate first =
        estimateParameters(t, choice, choice.observed, settingsFor(t, 0.1), t.rows());
    t.params[2][first.acceptance.rows[3]] = 1;
    TempDir dir;
    std::string columns = "My\tTimeToOri\tPopSizeOriTha\n";
    for (std::size_t i = 0; i < t.rows(); ++i)
        columns += tableNumber(t.params[0][i]) + "\t" + tableNumber(t.params[1][i]) + "\t" +
                   tableNumber(t.params[2][i]) + "\n";
    dir.write("columns.tsv", columns);
    dir.write("fit.R", R"(
col <- read.table('columns.tsv', header = TRUE)
d <- read.table('rows.tsv', header = TRUE)
X <- as.matrix(d[, grep('^x', names(d))])
lb <- c(0, -5, 1); ub <- c(10, 5, 1000); logfirst <- c(TRUE, FALSE, FALSE)
Y <- sapply(1:3, function(j) {
  v <- col[[j]]; if (logfirst[j]) v <- log(v)
  if (min(v) <= lb[j]) { tmp <- ifelse(v <= lb[j], max(v), v); v <- ifelse(v <= lb[j], min(tmp), v) }
  if (max(v) >= ub[j]) { tmp <- ifelse(v >= ub[j], min(v), v); v <- ifelse(v >= ub[j], max(tmp), v) }
  v <- (v - lb[j]) / (ub[j] - lb[j]); log(v / (1 - v))[d$idx] })
for (hcorr in c(FALSE, TRUE)) {
  fit <- lsfit(X, Y, wt = d$w)
  res <- Y - cbind(1, X) %*% fit$coefficients
  m <- colMeans(res); res <- sweep(res, 2, m)
  pred <- matrix(fit$coefficients[1, ] + m, nrow(Y), 3, byrow = TRUE)
  if (hcorr) {
    fit2 <- lsfit(X, log(res^2), wt = d$w)
    sd <- matrix(sqrt(exp(fit2$coefficients[1, ])), nrow(Y), 3, byrow = TRUE)
    adj <- pred + sd * res / sqrt(exp(cbind(1, X) %*% fit2$coefficients))
  } else adj <- pred + res
  for (j in 1:3) {
    a <- exp(adj[, j]) / (1 + exp(adj[, j])) * (ub[j] - lb[j]) + lb[j]
    if (logfirst[j]) a <- exp(a)
    cat(sprintf('%.17g', a), '\n')
  }
})");
    for (bool hcorr : {false, true}) {
        AbcEstimate e =
            estimateParameters(t, choice, choice.observed,
                               settingsFor(t, 0.1, TransformKind::logit, true, hcorr), t.rows());
        ASSERT_EQ(e.error, "");
        if (!hcorr) {
            // One line per accepted row: its 1-based row, weight, predictors.
            std::string data = "idx\tw";
            for (std::size_t k = 0; k < p; ++k) data += "\tx" + std::to_string(k);
            for (std::size_t r = 0; r < e.acceptance.rows.size(); ++r) {
                const std::size_t i = e.acceptance.rows[r];
                data += "\n" + std::to_string(i + 1) + "\t" + tableNumber(e.acceptance.weights[r]);
                for (std::size_t k = 0; k < p; ++k)
                    data +=
                        "\t" + tableNumber((t.stats[choice.columns[k]][i] - choice.observed[k]) /
                                           choice.scale[k]);
            }
            dir.write("rows.tsv", data + "\n");
        }
        static ChildResult r;
        if (!hcorr) r = runProgram({"Rscript", "fit.R"}, dir.path());
        ASSERT_EQ(r.exitStatus, 0);
        std::istringstream lines(r.out);
        std::string line;
        for (int skip = 0; skip < (hcorr ? 3 : 0); ++skip) std::getline(lines, line);
        for (std::size_t q = 0; q < 3; ++q) {
            ASSERT_TRUE(std::getline(lines, line));
            std::istringstream values(line);
            double fromR;
            for (double mine : e.adjusted[q]) {
                ASSERT_TRUE(values >> fromR);
                EXPECT_NEAR(mine, fromR, 1e-9 * std::fabs(fromR)) << q << " hcorr " << hcorr;
            }
        }
    }
}

namespace {

// Pooled tables of toy models whose first statistic is N(mean, 1), one model
// per mean, and whose second is N(0, 1) noise, `n` rows each.
PooledTables gaussianModels(std::size_t n, unsigned long seed,
                            const std::vector<double>& means = {0, 1, 2}) {
    std::unique_ptr<gsl_rng, void (*)(gsl_rng*)> rng(gsl_rng_alloc(gsl_rng_mt19937), gsl_rng_free);
    gsl_rng_set(rng.get(), seed);
    PooledTables pooled;
    pooled.table.numbStats = numbCoreStats;
    for (std::size_t m = 0; m < means.size(); ++m) {
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t c = 0; c < 7; ++c) pooled.table.params[c].push_back(1);
            for (std::size_t j = numbCoreStats; j < numbTableStats; ++j)
                pooled.table.stats[j].push_back(nan_);
            for (std::size_t j = 0; j < 12; ++j)
                pooled.table.stats[j].push_back(j == 0   ? means[m] + gsl_ran_gaussian(rng.get(), 1)
                                                : j == 1 ? gsl_ran_gaussian(rng.get(), 1)
                                                         : 0);
            pooled.model.push_back(m);
        }
        pooled.sizes.push_back(n);
    }
    return pooled;
}

}  // namespace

// With means 0, 1, 2 and unit variance, the exact posterior at s = 0.5 with
// equal priors is proportional to exp(-(0.5 - m)^2 / 2); its log-odds are
// linear in s, so the multinomial regression is the right model locally.
// About 2 400 rows are accepted of effective size ~1 800: the probabilities
// may miss by a few sqrt(p (1 - p) / 1800) ~ 0.011; allowed: 0.035. The
// cross-validated confusion matrix of a model against itself is near chance.
// One rule for every method: an error rate within two standard errors of
// chance (that of a blind guess of the largest prior) tells nothing; else
// the chosen model is favoured from a probability of 0.75 on.
TEST(ModelChoice, VerdictSetsTheErrorRateAgainstChanceAndTheProbabilityAgainstOdds3To1) {
    const double none = std::numeric_limits<double>::quiet_NaN();
    using K = ChoiceVerdictKind;
    struct Case {
        double largestPrior, errorRate;
        std::size_t rows;
        double probability;
        K kind;
    };
    for (const Case& c : std::vector<Case>{
             {0.5, 0.44, 4000, 0.603, K::tooUncertain},  // rate told apart, point not
             {0.5, 0.44, 100, 0.95, K::notApart},        // 0.44 >= 0.5 - 2 * 0.05
             {1.0 / 3, 0.65, 60000, 0.422, K::tooUncertain},
             {1.0 / 3, 0.664, 60000, 0.99, K::notApart},  // 2 se = 0.0038
             {0.5, 0.1, 1000, 0.9, K::favoured},
             {0.5, 0.1, 1000, 0.75, K::favoured},
             {0.5, 0.1, 1000, 0.7499, K::tooUncertain},
             {0.8, 0.195, 10000, 0.99, K::notApart},  // no better than always naming the largest
             {0.8, 0.15, 10000, 0.99, K::favoured},
             {0.5, none, 0, 0.8, K::favoured},  // rejection: no error rate
             {0.5, none, 0, 0.3, K::tooUncertain},
             {0.5, 0.1, 0, 0.3, K::tooUncertain},  // a rate on no rows is none
             {0.5, none, 2, 1.0, K::notApart},     // to be measured, but no row out of bag
             {0.5, 0.2, 200, none, K::betterThanChance},  // cross-validation: no point
             {0.5, 0.45, 200, none, K::notApart},
             {0.5, none, 0, none, K::notApart}}) {
        const ChoiceVerdict v = choiceVerdict(c.largestPrior, c.errorRate, c.rows, c.probability);
        EXPECT_EQ(v.kind, c.kind) << c.largestPrior << " " << c.errorRate << " " << c.rows << " "
                                  << c.probability;
        EXPECT_NEAR(v.chance, 1.0 - c.largestPrior, 1e-15);
    }
    EXPECT_NEAR(choiceVerdict(0.5, 0.44, 4000, 0.6).standardError, std::sqrt(0.25 / 4000), 1e-15);
    EXPECT_TRUE(std::isnan(choiceVerdict(0.5, none, 0, 0.6).standardError));
}

TEST(ModelChoice, ProbabilitiesOfGaussianModelsMatchTheExactPosterior) {
    PooledTables pooled = gaussianModels(40000, 3);
    std::array<double, numbTableStats> observed{};
    observed[0] = 0.5;
    StatisticChoice choice = chooseStatistics(pooled.table, observed, {"S_sue", "S_tha"});
    const ModelPriors priors = modelPriors(pooled.sizes, false);
    std::vector<double> exact;
    for (double m : {0.0, 1.0, 2.0}) exact.push_back(std::exp(-(0.5 - m) * (0.5 - m) / 2));
    const double sum = exact[0] + exact[1] + exact[2];
    for (ChoiceMethod method : {ChoiceMethod::rejection, ChoiceMethod::mnlogistic}) {
        ModelChoice c =
            chooseModel(pooled, choice, choice.observed, 0.02, method, priors, pooled.table.rows());
        ASSERT_EQ(c.error, "");
        for (std::size_t m = 0; m < 3; ++m)
            EXPECT_NEAR(c.probabilities[m], exact[m] / sum, 0.035) << m;
    }
    // Two identical models are told apart at chance, 100 of 200 (SD 7);
    // two far apart nearly always (where the regression does not fail on
    // accepted rows that the statistic separates perfectly).
    for (double second : {0.0, 4.0}) {
        PooledTables two = gaussianModels(3000, 4, {0, second});
        ChoiceValidation cv =
            crossValidateChoice(two, choice, 100, 1, 0.05, modelPriors(two.sizes, false));
        ASSERT_EQ(cv.error, "");
        const double fitted = 200.0 - static_cast<double>(cv.logisticFailures);
        EXPECT_NEAR(cv.confusionRejection[0][0] + cv.confusionRejection[1][1],
                    second == 0 ? 100 : 195, 21)
            << second;
        EXPECT_NEAR((cv.confusionLogistic[0][0] + cv.confusionLogistic[1][1]) / fitted,
                    second == 0 ? 0.5 : 0.97, 0.11)
            << second;
    }
}

// The weighted multinomial fit against nnet::multinom, given the weights
// directly (R's abc::postpr misspells the argument and drops them), with
// maxit raised and reltol tightened so that it reaches the optimum.
TEST(ModelChoice, MultinomialFitAgreesWithNnetMultinom) {
    if (system("Rscript -e 'library(nnet)' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "R's nnet not installed";
    PooledTables pooled = gaussianModels(2000, 5);
    std::array<double, numbTableStats> observed{};
    observed[0] = 0.8;
    StatisticChoice choice = chooseStatistics(pooled.table, observed, {"S_sue", "S_tha"});
    std::vector<double> x, w;
    std::vector<std::size_t> classes;
    const Acceptance a = acceptNearest(
        scaledDistances(pooled.table, choice.columns, choice.observed, choice.scale), 0.2);
    std::string data = "y\tw\tx0\tx1";
    for (std::size_t r = 0; r < a.rows.size(); ++r) {
        const std::size_t i = a.rows[r];
        classes.push_back(pooled.model[i]);
        w.push_back(a.weights[r]);
        data += "\n" + std::to_string(classes.back()) + "\t" + tableNumber(w.back());
        for (std::size_t k = 0; k < 2; ++k) {
            x.push_back((pooled.table.stats[choice.columns[k]][i] - choice.observed[k]) /
                        choice.scale[k]);
            data += "\t" + tableNumber(x.back());
        }
    }
    TempDir dir;
    dir.write("rows.tsv", data + "\n");
    dir.write("fit.R",
              "library(nnet)\nd <- read.delim('rows.tsv')\nd$y <- factor(d$y)\n"
              "fit <- multinom(y ~ x0 + x1, data = d, weights = w, maxit = 10000, "
              "reltol = 1e-16, abstol = 1e-300, trace = FALSE)\n"
              "cat(sprintf('%.17g', t(coef(fit))), '\\n')\n"
              "cat(sprintf('%.17g', predict(fit, data.frame(x0 = 0, x1 = 0), type = 'probs')), "
              "'\\n')\n");
    ChildResult r = runProgram({"Rscript", "fit.R"}, dir.path());
    ASSERT_EQ(r.exitStatus, 0);
    MultinomialFit fit = fitMultinomial(x, 2, classes, 3, w);
    ASSERT_EQ(fit.error, "");
    ModelChoice c = chooseModel(pooled, choice, choice.observed, 0.2, ChoiceMethod::mnlogistic,
                                modelPriors(pooled.sizes, false), pooled.table.rows());
    ASSERT_EQ(c.error, "");
    std::istringstream lines(r.out);
    double fromR;
    for (std::size_t k = 0; k < 2; ++k)
        for (std::size_t j = 0; j < 3; ++j) {
            ASSERT_TRUE(lines >> fromR);
            EXPECT_NEAR(fit.coefficients[k][j], fromR, 1e-6 * std::fabs(fromR)) << k << j;
        }
    for (std::size_t m = 0; m < 3; ++m) {
        ASSERT_TRUE(lines >> fromR);
        EXPECT_NEAR(c.probabilities[m], fromR, 1e-6 * fromR) << m;
    }
}

// A singular Hessian never reaches GSL's handler (which aborts): a statistic
// constant or collinear with others is left out and the fit goes on; too few
// rows, or models the statistics separate, are errors that say so.
TEST(ModelChoice, SingularRegressionLeavesOutCollinearStatisticsOrSaysWhy) {
    gsl_error_handler_t* previous = gsl_set_error_handler_off();
    struct Case {
        std::string name;
        std::size_t rows;
        std::function<std::vector<double>(double a, double b)> row;  // the predictors
        std::string dropped;  // collinearityText of each left out, "; " between
        std::string message;  // part of the error; "" for none
    };
    const std::vector<std::string> names = {"A", "B", "C"};
    const std::vector<Case> cases = {
        {"independent", 40,
         [](double a, double b) {
             return std::vector<double>{a, b};
         },
         "", ""},
        {"constant", 40,
         [](double a, double) {
             return std::vector<double>{a, 5};
         },
         "B is constant among the accepted rows", ""},
        {"collinear", 40,
         [](double a, double b) {
             return std::vector<double>{a, b, 2 * a - b};
         },
         "C is collinear with A and B among the accepted rows", ""},
        {"few rows", 2,
         [](double a, double b) {
             return std::vector<double>{a, b};
         },
         "",
         "too few accepted simulations for the multinomial regression: 2 have positive weight, "
         "but 3 coefficients per model"},
        {"separated", 40, [](double a, double) { return std::vector<double>{a}; }, "",
         "separate the models"},
    };
    for (const Case& c : cases) {
        std::vector<double> x, w;
        std::vector<std::size_t> classes;
        std::size_t width = 0;
        for (std::size_t i = 0; i < c.rows; ++i) {
            const std::size_t k = i % 2;
            // Overlapping classes, but for "separated", where a tells them apart.
            const double a = c.name == "separated" ? (k == 0 ? -1.0 - i % 3 : 1.0 + i % 3)
                                                   : static_cast<double>((i * 7) % 11) - 5;
            const double b = static_cast<double>((i * 5) % 13) - 6;
            const std::vector<double> predictors = c.row(a, b);
            width = predictors.size();
            x.insert(x.end(), predictors.begin(), predictors.end());
            classes.push_back(k);
            w.push_back(1.0 + 0.01 * static_cast<double>(i));
        }
        const MultinomialFit fit = fitMultinomial(x, width, classes, 2, w);
        std::string dropped;
        for (const CollinearColumn& d : fit.dropped)
            dropped += (dropped.empty() ? "" : "; ") + collinearityText(d, names);
        EXPECT_EQ(dropped, c.dropped) << c.name;
        if (!c.message.empty()) {
            EXPECT_NE(fit.error.find(c.message), std::string::npos) << c.name << ": " << fit.error;
            continue;
        }
        ASSERT_EQ(fit.error, "") << c.name;
        ASSERT_EQ(fit.coefficients[0].size(), width + 1) << c.name;
        if (!c.dropped.empty()) {
            EXPECT_EQ(fit.coefficients[0][width], 0.0) << c.name;
        }
    }
    // Through the model choice: a third statistic that is the difference of
    // the first two is named in a warning, and the choice goes on.
    PooledTables pooled = gaussianModels(500, 6, {0, 1});
    for (std::size_t i = 0; i < pooled.table.rows(); ++i)
        pooled.table.stats[2][i] = pooled.table.stats[0][i] - pooled.table.stats[1][i];
    std::array<double, numbTableStats> observed{};
    observed[0] = 0.5;
    observed[2] = 0.5;
    const StatisticChoice choice = chooseStatistics(
        pooled.table, observed, {tableStatNames[0], tableStatNames[1], tableStatNames[2]});
    const ModelChoice m =
        chooseModel(pooled, choice, choice.observed, 0.2, ChoiceMethod::mnlogistic,
                    modelPriors(pooled.sizes, false), pooled.table.rows());
    EXPECT_EQ(m.error, "");
    ASSERT_EQ(m.warnings.size(), 1u);
    EXPECT_EQ(m.warnings[0], std::string("statistic ") + tableStatNames[2] +
                                 " left out of the multinomial regression: " + tableStatNames[2] +
                                 " is collinear with " + tableStatNames[0] + " and " +
                                 tableStatNames[1] + " among the accepted rows");
    EXPECT_NEAR(m.probabilities[0] + m.probabilities[1], 1.0, 1e-12);
    gsl_set_error_handler(previous);
}
