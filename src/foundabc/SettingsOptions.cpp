// The settings check's look at the options given with --check: each is
// checked by the function the run refuses it with, so that a check and a run
// with the same options agree.
#include "foundabc/SettingsChecker.h"
#include "io/DataFile.h"
#include "io/PriorsFile.h"
#include "io/SampleFile.h"
#include "io/TableClaim.h"
#include "run/ObservedStats.h"
#include "run/PseudoData.h"
#include "run/SampleDraw.h"
#include "run/StartUp.h"

void SettingsChecker::checkOptions() {
    const CommandLine& c = command_;
    // Reported first: the command line comes before any file.
    auto add = [this](const std::string& option, const std::string& message,
                      const std::string& fix) {
        problems_.push_back({0, "option " + option, stopsWith(message), fix});
    };
    if (!c.fromSample.empty()) {
        SampleRows rows;
        const std::string why = readSampleFile(c.fromSample, rows);
        if (!why.empty())
            add("--from-sample " + c.fromSample, "error: sample: " + why,
                "give the sample that foundabc-summary --sample wrote, with at least one row of "
                "positive weight");
    }
    if (!c.fromSample.empty() && !c.merge && c.table.empty())
        add("--from-sample " + c.fromSample,
            "--from-sample needs --table: a run from a sample writes its simulations to the "
            "reference table only, not to the results file",
            "add --table PREDICTIVE.tsv.gz");
    if (!c.table.empty()) {
        const std::string clash = tableOverOtherFiles(c.table, runInputs(paramsFile_, settings_));
        if (!clash.empty())
            add("--table " + c.table, clash,
                "name a reference table of its own; the run overwrites it and the files beside "
                "it");
    }
    if (!c.simulateData.empty()) {
        const PseudoDataRequest request{c.simulateData, c.at,   c.missing, c.seedGiven,
                                        c.seed,         c.model, c.genepop};
        PriorDraw values{};
        const std::string why = pseudoDataRequestProblem(request, values);
        if (!why.empty()) {
            const bool at = why.rfind("--at", 0) == 0;
            add(at ? "--at " + c.at : "--missing " + std::to_string(c.missing), "foundabc: " + why,
                at ? "give each of the six parameters once, NAME=VALUE separated by commas"
                   : "give a share from 0 up to, but not including, 1");
        }
        const std::string clash = pseudoDataOutputProblem(request, paramsFile_, settings_);
        if (!clash.empty())
            add("--simulate-data " + c.simulateData, "foundabc: " + clash,
                "name a new file for the simulated data");
    }
}

void SettingsChecker::checkSampleRecord(std::ostream& out) {
    const CommandLine& c = command_;
    if (c.fromSample.empty()) return;
    SampleRows rows;
    if (!readSampleFile(c.fromSample, rows).empty()) return;  // reported by checkOptions
    const SampleDraw sample(std::move(rows));
    const params& p = settings_;
    const std::string model = sampleModelProblem(c.fromSample, sample, p.hasGsm(), paramsFile_);
    if (!model.empty())
        problems_.push_back({0, "option --from-sample " + c.fromSample, stopsWith(model),
                             "give the parameter file of the table the sample came from"});
    // The data file passed its check, so it reads without a fault.
    const AlleleMatrix observed = readDataFile(p.datafile_name, p.number_of_loci,
                                               p.number_of_sue_lines, p.number_of_tha_lines);
    std::string warning;
    const std::string problem = sampleOriginProblem(
        c.fromSample, sample, paramsFile_, settingsFingerprint(p, c.model),
        dataFingerprint(observedTableLine(observed, p).line), warning);
    if (!problem.empty())
        problems_.push_back({0, "option --from-sample " + c.fromSample, stopsWith(problem),
                             "give the parameter file and data of the table the sample came "
                             "from, or estimate a sample from a table made with these "
                             "settings"});
    else
        out << withoutLineEnd(warning) << (warning.empty() ? "" : "\n");
}
