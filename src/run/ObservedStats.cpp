#include "run/ObservedStats.h"

#include <array>
#include <ostream>

#include "io/PriorsFile.h"
#include "io/TableFormat.h"
#include "run/StartUp.h"
#include "sim/SummaryStats.h"

ObservedStatistics observedStatistics(AlleleMatrix observed, const params& p, std::ostream& out) {
    std::array<double, 2> S =
        computeSD_real(observed, totalLines(p), p.number_of_sue_lines, p.number_of_loci);
    out << "S_obs_sue = " << S[0] << '\n' << "S_obs_tha = " << S[1] << '\n';
    AlleleMatrix().swap(observed);

    ObservedStatistics stats;
    stats.S_obs_sue = S[0];
    stats.S_obs_tha = S[1];
    stats.S_obs_x_epsilon = (S[0] + S[1]) * p.epsilon;
    out << "S_obs_x_epsilon = " << stats.S_obs_x_epsilon << '\n';
    return stats;
}

void printRunningBanner(std::ostream& out) {
    out << "-------------------\n\nRunning... \n\n";
    out.flush();
}

ObservedTableLine observedTableLine(const AlleleMatrix& observed, const params& p) {
    ObservedTableLine o;
    TableStatsScratch scratch;
    o.stats = tableStatistics(observed, p.number_of_sue_lines, p.number_of_tha_lines,
                              p.number_of_loci, AlleleSource::kObserved, scratch);
    o.line = observedValuesLine(o.stats.values());
    return o;
}
