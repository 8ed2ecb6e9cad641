// A stand-in for the report's renderers: report.md with the study's main
// numbers, so that the study runs end to end until the renderers land.
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "io/FinishedFile.h"
#include "study/ReportWriter.h"

namespace {

std::string shown(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", x);
    return x == x ? text : "NA";
}

}  // namespace

void writeStudyReport(const std::string& reportDir, const StudyReport& report) {
    std::ostringstream md;
    md << "# Study " << report.title << "\n\n";
    if (report.choice.present)
        md << "Chosen model: " << report.choice.chosen << ", probability "
           << shown(report.choice.chosenProbability) << "; " << report.choice.verdict << "\n\n";
    for (const EstimateSection& e : report.estimates) {
        md << "## Estimates under " << e.model << "\n\n| parameter | median | 2.5 % | 97.5 % | OOB error | verdict |\n|---|---|---|---|---|---|\n";
        for (const EstimateLine& l : e.lines)
            md << "| " << l.parameter << " | " << shown(l.median) << " | " << shown(l.q025) << " | "
               << shown(l.q975) << " | " << shown(l.oobError) << " | " << l.verdict << " |\n";
        md << "\n";
    }
    const std::string path = reportDir + "/report.md";
    FinishedFile file(path);
    if (!file.error().empty() || !file.write(md.str()) || !file.commit(true))
        throw std::runtime_error("cannot write " + path + " (" + file.error() + ")");
}
