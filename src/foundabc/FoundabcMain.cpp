// foundabc: estimates the founding history of a derived population (`sue`)
// from a parental one (`tha`) by rejection sampling. This is the outline of a
// run; each step lives in its own file.
#include <gsl/gsl_errno.h>

#include <ios>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "base/Fail.h"
#include "cluster/Shards.h"
#include "foundabc/CommandLine.h"
#include "foundabc/SettingsCheck.h"
#include "io/DataFile.h"
#include "io/ObservedFile.h"
#include "io/ParameterFile.h"
#include "io/PriorsFile.h"
#include "io/ReferenceTable.h"
#include "io/ResultsFile.h"
#include "io/SampleFile.h"
#include "io/TableClaim.h"
#include "run/FreshSeed.h"
#include "run/ObservedStats.h"
#include "run/Progress.h"
#include "run/PseudoData.h"
#include "run/RejectionLoop.h"
#include "run/SampleDraw.h"
#include "run/SeededRun.h"
#include "run/StartUp.h"
#include "sim/Params.h"
#include "sim/TableStats.h"

namespace {

// The observed data summarised: the run's statistics (printed to `out`) and,
// when the run writes a reference table, the table's statistics and their
// line in the observed-statistics file.
struct Observed {
    ObservedStatistics stats;
    TableStatistics table;
    std::string tableLine;
};

Observed readObserved(const params& p, bool withTable, std::ostream& out) {
    std::string note;
    AlleleMatrix matrix = readDataFile(p.datafile_name, p.number_of_loci, p.number_of_sue_lines,
                                       p.number_of_tha_lines, &note);
    // Lines after the last locus and fields after a locus's values are
    // ignored by the data file's rules; the note keeps that from going unseen.
    std::cerr << note;
    Observed o;
    if (withTable) {
        ObservedTableLine line = observedTableLine(matrix, p);
        o.table = line.stats;
        o.tableLine = std::move(line.line);
    }
    o.stats = observedStatistics(std::move(matrix), p, out);
    return o;
}

std::string seedLine(uint64_t seed) { return "SEED = " + std::to_string(seed) + "\n"; }

// The echo's line of a run from a sample, which writes no results file.
constexpr const char* kTableOnlyLine =
    "RESULTS = none: a run from a sample writes its simulations to the reference table only\n";

// The files a run reads or appends to, which its reference table must not
// overwrite.
std::vector<ProtectedFile> runInputs(const CommandLine& command, const params& p) {
    std::vector<ProtectedFile> inputs = {{"parameter file", command.infile},
                                         {"data file", p.datafile_name},
                                         {"results file", p.outfile_name}};
    if (!command.fromSample.empty()) {
        inputs.push_back({"sample file", command.fromSample});
        inputs.push_back({"record of the sample", sampleOriginPath(command.fromSample)});
    }
    return inputs;
}

// Writes the two files beside the reference table `table`: the observed
// statistics and the priors, the latter without its closing line until the
// table is complete. The caller holds the table (its writer).
void writeBesideTable(const std::string& table, const params& p, const TableStatistics& observed,
                      const TableProvenance& provenance) {
    writeObservedStatistics(table, observed);
    writePriors(table, p, provenance);
}

// What makes the run's table: the priors or the sample, these settings and
// this data. The data's fingerprint needs the observed statistics' table line.
TableProvenance provenanceOf(const params& p, ModelVersion model, const Observed& observed,
                             const SampleDraw* sample) {
    TableProvenance made;
    made.source = sample ? TableSource::sample : TableSource::prior;
    made.sample = sample ? sample->rows().fingerprint : 0;
    made.known = true;
    made.settings = settingsFingerprint(p, model);
    made.data = dataFingerprint(observed.tableLine);
    return made;
}

// `foundabc --merge`: the shards of a seeded run into the results file (and
// the reference table), with the standard output that the one run prints.
int runMerge(const CommandLine& command, const params& p) {
    checkParams(p);
    refuseResultsOnInput(p, command.infile, command.fromSample);
    std::optional<SampleDraw> sample;
    if (!command.fromSample.empty())
        sample = loadSampleDraw(command.fromSample, p.hasGsm(), command.infile);
    std::ostringstream observedText;
    const Observed observed = readObserved(p, true, observedText);
    bool sampleChecked = false;
    mergeShards(
        p.outfile_name, p.hasGsm(),
        [&](ModelVersion model, const std::string& table) {
            // A table that would land on an input is refused while the
            // shards are checked, before the merge writes anything.
            if (!table.empty()) refuseTableOverOtherFiles(table, runInputs(command, p));
            // The shards name the model; the sample is checked once, against it.
            if (sample && !sampleChecked)
                checkSampleOrigin(command.fromSample, *sample, command.infile,
                                  settingsFingerprint(p, model),
                                  dataFingerprint(observed.tableLine), std::cerr);
            sampleChecked = true;
            return fingerprintWithSample(
                runFingerprint(p, observed.stats, model, table, observed.tableLine),
                sample ? &*sample : nullptr);
        },
        [&](const ShardRun& run) {
            // Called once every lock is held (the table's too) and every
            // check made; returns the files it wrote, which the merge syncs
            // before it removes the shards.
            echoParams(
                p, std::cout,
                seedLine(run.seed) +
                    (sample ? sampleEchoLine(command.fromSample, *sample) + kTableOnlyLine : ""));
            std::cout << observedText.str();
            printRunningBanner(std::cout);
            std::vector<std::string> written;
            if (!run.table.empty()) {
                writeBesideTable(run.table, p, observed.table,
                                 provenanceOf(p, run.model, observed, sample ? &*sample : nullptr));
                written = {observedStatisticsPath(run.table), priorsPath(run.table)};
            }
            return written;
        },
        [&](const ShardRun& run) {
            completePriors(run.table, p,
                           provenanceOf(p, run.model, observed, sample ? &*sample : nullptr),
                           p.repeats);
        });
    return 0;
}

int foundabcRun(int argc, char* argv[]) {
    // The legacy founder count forms binomial coefficients that overflow for
    // huge founder counts: they then read as infinity instead of aborting.
    // Every GSL failure is a status the caller checks, in the check too.
    gsl_set_error_handler_off();
    const CommandLine command = parseCommandLine(argc, argv);
    if (command.check) return checkSettings(command, std::cout);
    installOutOfMemoryHandler();
    ignoreFileSizeSignal();
    if (!command.simulateData.empty())
        return simulateData({command.simulateData, command.at, command.missing, command.seedGiven,
                             command.seed, command.model, command.genepop},
                            command.infile);

    // A run seeded with the clock has one generator, made before anything is
    // read; a seeded run gives every simulation a stream of its own, of the
    // seed given or of a fresh one from the operating system.
    GeneratorOwner generator;
    if (command.clockSeed) generator = createSeededGenerator();
    const uint64_t seed = command.seedGiven ? command.seed : command.seeded ? freshSeed() : 0;

    std::unique_ptr<params> p = readInfile(command.infile.c_str());
    const std::string mutationFault = mutationKeysFault(*p, command.model);
    if (!mutationFault.empty()) fail(mutationFault);
    if (command.merge) return runMerge(command, *p);

    std::optional<SampleDraw> sample;
    if (!command.fromSample.empty())
        sample = loadSampleDraw(command.fromSample, p->hasGsm(), command.infile);
    const SampleDraw* from = sample ? &*sample : nullptr;

    std::string extra;
    ShardRange range{0, p->repeats};
    if (command.seeded) extra = seedLine(seed);
    if (sample) extra += sampleEchoLine(command.fromSample, *sample) + kTableOnlyLine;
    if (command.shardCount > 0) {
        range = shardRange(p->repeats, command.shardIndex, command.shardCount);
        extra += "SHARD = " + std::to_string(command.shardIndex) + "/" +
                 std::to_string(command.shardCount) + " (simulations " +
                 std::to_string(range.first + 1) + " to " + std::to_string(range.last) + ")\n";
    }
    echoParams(*p, std::cout, extra);
    checkParams(*p);
    refuseManyMutations(*p, command.allowManyMutations);
    refuseResultsOnInput(*p, command.infile, command.fromSample);

    const bool withTable = !command.table.empty();
    // A sample is checked against the data as well, by the same table line.
    const Observed observed = readObserved(*p, withTable || from, std::cout);
    if (from)
        checkSampleOrigin(command.fromSample, *from, command.infile,
                          settingsFingerprint(*p, command.model),
                          dataFingerprint(observed.tableLine), std::cerr);
    printRunningBanner(std::cout);
    // A table named like an input or the results file is refused before
    // anything is opened for writing, by a shard too: its merge writes the
    // table.
    if (withTable) refuseTableOverOtherFiles(command.table, runInputs(command, *p));

    // On a terminal, standard error shows how far the repeats have come; on
    // a terminal or in a log, it ends with how the run ended.
    ProgressLine progress(range.last - range.first, stderr);
    auto showProgress = [&progress](long done, long accepted) { progress.update(done, accepted); };

    if (command.shardCount > 0) {
        ShardRun run;
        run.seed = seed;
        run.count = command.shardCount;
        run.model = command.model;
        run.table = command.table;
        run.withGsmP = p->hasGsm();
        run.fingerprint = fingerprintWithSample(
            runFingerprint(*p, observed.stats, command.model, command.table, observed.tableLine),
            from);
        ShardWriter shard(p->outfile_name, command.shardIndex, run, range);
        TableOnlyOutput tableOnly(shard);
        RunSink& sink = from ? static_cast<RunSink&>(tableOnly) : shard;
        sink.setObserver(showProgress);
        runSeeded(*p, observed.stats, command.model, seed, range.first, range.last, command.threads,
                  sink, from);
        shard.finish();
        progress.finishShard(shardPath(p->outfile_name, command.shardIndex, command.shardCount));
        return 0;
    }

    // A results file that cannot be written is found now rather than at the
    // first accepted row, which may come hours later or never. From here the
    // run holds the file (when it exists) against other runs, and then its
    // reference table: every output is held before the first byte of any, so
    // a refused run leaves the other run's files as they were.
    ResultsWriter results(p->outfile_name);
    std::optional<ReferenceTableWriter> table;
    if (withTable) {
        table.emplace(command.table, ReferenceTableWriter::kDefaultBlockBytes, p->hasGsm());
        writeBesideTable(command.table, *p, observed.table,
                         provenanceOf(*p, command.model, observed, from));
    }
    RunOutput output(results, table ? &*table : nullptr, p->hasGsm());
    TableOnlyOutput tableOnly(output);
    RunSink& sink = from ? static_cast<RunSink&>(tableOnly) : output;
    sink.setObserver(showProgress);
    if (command.seeded)
        runSeeded(*p, observed.stats, command.model, seed, 0, p->repeats, command.threads, sink,
                  from);
    else
        runRejectionLoop(*p, observed.stats, command.model, output);
    if (table) {
        // Synced and closed first: the closing line of the priors file
        // promises that every row is on the disk.
        table->close();
        completePriors(command.table, *p, provenanceOf(*p, command.model, observed, from),
                       p->repeats);
    }
    results.close();
    progress.finish(from ? std::string() : std::string(p->outfile_name), command.table);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Every reader names the file it cannot read; a stream error that still
    // escapes ends the run with a message rather than an abort.
    try {
        return foundabcRun(argc, argv);
    } catch (const std::ios_base::failure& e) {
        fail(std::string("error: a file cannot be read: ") + e.what() + "\n");
    }
}
