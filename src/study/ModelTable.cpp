#include "study/ModelTable.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <thread>

#include "io/DataFile.h"
#include "io/ObservedFile.h"
#include "io/ParameterFile.h"
#include "io/PriorsFile.h"
#include "io/ReferenceTable.h"
#include "io/ResultsFile.h"
#include "run/ObservedStats.h"
#include "run/Progress.h"
#include "run/RunSink.h"
#include "run/SeededRun.h"
#include "run/StartUp.h"

std::string checkModelSettings(const std::string& paramsFile) {
    const std::unique_ptr<params> p = readInfile(paramsFile.c_str());
    const std::vector<SettingFault> faults = settingFaults(*p);
    if (!faults.empty()) return paramsFile + ": " + faults.front().key + ": " + faults.front().message;
    // The data as the run reads them: a value it cannot read ends the study
    // here, with the run's own message, before any simulation.
    std::string note;
    readDataFile(p->datafile_name, p->number_of_loci, p->number_of_sue_lines, p->number_of_tha_lines,
                 &note);
    return manyMutationsMessage(*p);
}

void makeModelTable(const std::string& paramsFile, const std::string& tableFile, uint64_t seed,
                    int threads, const SampleDraw* sample) {
    const std::unique_ptr<params> p = readInfile(paramsFile.c_str());
    checkParams(*p);
    std::string note;
    AlleleMatrix matrix = readDataFile(p->datafile_name, p->number_of_loci,
                                       p->number_of_sue_lines, p->number_of_tha_lines, &note);
    std::cerr << note;
    const ObservedTableLine line = observedTableLine(matrix, *p);
    std::ostringstream echo;  // the run's own lines, which the study does not show
    const ObservedStatistics observed = observedStatistics(std::move(matrix), *p, echo);

    TableProvenance made;
    made.source = sample ? TableSource::sample : TableSource::prior;
    made.sample = sample ? sample->rows().fingerprint : 0;
    made.known = true;
    made.settings = settingsFingerprint(*p, ModelVersion::current);
    made.data = dataFingerprint(line.line);

    std::remove(p->outfile_name);  // a results file is appended to: start it afresh
    ResultsWriter results(p->outfile_name);
    // A model of the generalised stepwise model writes GsmP as foundabc does.
    ReferenceTableWriter table(tableFile, ReferenceTableWriter::kDefaultBlockBytes, p->hasGsm());
    writeObservedStatistics(tableFile, line.stats);
    writePriors(tableFile, *p, made);
    RunOutput output(results, &table, p->hasGsm());
    TableOnlyOutput tableOnly(output);
    RunSink& sink = sample ? static_cast<RunSink&>(tableOnly) : output;
    {
        ProgressLine progress(p->repeats, isatty(fileno(stderr)) ? stderr : nullptr);
        sink.setObserver([&progress](long done, long accepted) { progress.update(done, accepted); });
        const unsigned cores = std::thread::hardware_concurrency();
        const int used = threads > 0 ? threads : static_cast<int>(cores > 0 ? cores : 1);
        runSeeded(*p, observed, ModelVersion::current, seed, 0, p->repeats, used, sink, sample);
        progress.clear();
    }
    table.close();
    completePriors(tableFile, *p, made, p->repeats);
    results.close();
}
