// The assembly of one locus from the simulation stages, checked on many
// random histories under every founding model.
#include <gtest/gtest.h>

#include <cmath>

#include "app/LocusSimulation.h"
#include "sim/StepMutation.h"
#include "support/GenealogyCheck.h"
#include "support/TestRng.h"

namespace {

void setModel(params& p, int origins, double fraction) {
    p.number_of_sue_lines = 7;
    p.number_of_tha_lines = 9;
    p.alpha = 0.5;
    p.conditional_number_of_origins = origins;
    p.unequal_founding_fractions = fraction;
}

}  // namespace

TEST(LocusSimulation, FullGenealogyIsOneTreeOverAllLinesInTimeOrder) {
    struct Model {
        int origins;
        double fraction;
    };
    // Small founding sizes and long times make many lines coalesce before the
    // founding; large ones leave many lines to the ancestral population.
    const PriorDraw draws[] = {{0.001, 50.0, 500.0, 5000.0, 20.0, 2000.0},
                               {0.01, 400.0, 50.0, 200.0, 5.0, 60.0},
                               {0.005, 5.0, 900.0, 1000.0, 90.0, 100.0}};
    for (Model model : {Model{0, 0.0}, Model{1, 0.0}, Model{3, 0.0}, Model{2, 0.3}}) {
        params p;
        setModel(p, model.origins, model.fraction);
        for (const PriorDraw& draw : draws) {
            TestRng rng(17);
            for (int rep = 0; rep < 200; ++rep) {
                LocusHistory history = simulateLocusHistory(p, draw);
                const Genealogy& g = *history.full;
                ASSERT_TRUE(isValidGenealogy(g, false));
                ASSERT_EQ(g.startLines, 16);
                ASSERT_EQ(g.endLines, 1);
                ASSERT_GE(history.numbOrigins, 1);
                ASSERT_LE(history.numbOrigins, 7);
                // Waiting times may round a hair below zero where a founding
                // merge meets the grafted ancestral events, never more.
                double cum = 0.0;
                for (double w : g.eventTimes) {
                    ASSERT_GT(w, -1e-9 * (1.0 + cum));
                    cum += w;
                }
                // The root lies before the founding.
                ASSERT_GE(cum, draw[TimeToOri] * (1 - 1e-12));
                ASSERT_EQ(generateStepMut(g, draw[My]).size(), 16u);
            }
        }
    }
}

TEST(LocusSimulation, OneFounderGivesOneOriginAtEveryLocus) {
    params p;
    setModel(p, 1, 0.0);
    TestRng rng(5);
    const PriorDraw draw = {0.001, 300.0, 100.0, 1000.0, 10.0, 100.0};
    for (int rep = 0; rep < 300; ++rep) EXPECT_EQ(simulateLocusHistory(p, draw).numbOrigins, 1);
}
