// foundabc: estimates the founding history of a derived population (`sue`)
// from a parental one (`tha`) by rejection sampling. This is the outline of a
// run; each step lives in its own file.
#include <gsl/gsl_errno.h>

#include <iostream>
#include <memory>

#include "app/CommandLine.h"
#include "app/ObservedStats.h"
#include "app/Progress.h"
#include "app/RejectionLoop.h"
#include "app/SettingsCheck.h"
#include "app/StartUp.h"
#include "io/Fail.h"
#include "io/IO_tools.h"

int main(int argc, char* argv[]) {
    const CommandLine command = parseCommandLine(argc, argv);
    if (command.check) return checkSettings(command.infile, std::cout);
    installOutOfMemoryHandler();
    ignoreFileSizeSignal();
    // The legacy founder count forms binomial coefficients that overflow for
    // huge founder counts: they then read as infinity instead of aborting.
    gsl_set_error_handler_off();

    // The one generator of the run; no number is drawn before the repeats.
    GeneratorOwner generator = createSeededGenerator();

    std::unique_ptr<params> p = readInfile(command.infile.c_str());
    echoParams(*p, std::cout);
    checkParams(*p);

    AlleleMatrix observed = readDataFile(p->datafile_name, p->number_of_loci, totalLines(*p));
    const ObservedStatistics obs = observedStatistics(std::move(observed), *p, std::cout);
    printRunningBanner(std::cout);

    // A results file that cannot be written is found now rather than at the
    // first accepted row, which may come hours later or never. From here the
    // run holds the file (when it exists) against other runs.
    ResultsWriter results(p->outfile_name);

    // On a terminal, standard error shows how far the repeats have come.
    ProgressLine progress(p->repeats, stderr);
    const int accepted = runRejectionLoop(
        *p, obs, command.model, results,
        [&progress](long done, long accepted) { progress.update(done, accepted); });
    results.close();
    progress.finish(accepted, p->outfile_name);

    return 0;
}
