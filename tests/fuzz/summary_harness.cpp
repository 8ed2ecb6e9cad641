// Fuzzing harness for foundabc-summary's reading of a results file: the
// fuzzer's input is the results file, summarised as the command would with
// several choices of runs and weights. Output goes to memory and is dropped;
// a crash, a sanitizer report or a hang is what the fuzzer looks for.
//
//   foundabc_summary_fuzz summary INPUT
//
// The first argument keeps the command line of tests/fuzz/run.sh the same for
// every target. In a folder marked as a fuzzing scratch folder (a file named
// .fuzz-run-dir, as tests/fuzz/run.sh makes) the table of rows is written
// too, as rows.tsv there.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "summary/Command.h"

int main(int argc, char* argv[]) {
    if (argc != 3 || std::string(argv[1]) != "summary") {
        std::fprintf(stderr, "usage: foundabc_summary_fuzz summary INPUT\n");
        return 2;
    }
    SummaryOptions options;
    options.resultsPath = argv[2];
    struct stat marker;
    const bool scratch = stat(".fuzz-run-dir", &marker) == 0;
    const RunChoice choices[] = {
        {RunChoice::last, 0}, {RunChoice::all, 0}, {RunChoice::numbered, 2}};
    for (const RunChoice& runs : choices) {
        for (int weighting = 0; weighting < 3; ++weighting) {
            options.runs = runs;
            options.weighted = weighting > 0;
            options.bandwidth = weighting == 2 ? 1e-3 : 0.0;
            options.tsv = weighting == 1;
            options.rowsPath = scratch && weighting == 0 ? "rows.tsv" : "";
            std::ostringstream out, err;
            const int status = runSummary(options, out, err);
            if (status != 0 && status != 1) std::abort();  // no other status is promised
        }
    }
    return 0;
}
