#include "study/StudyRun.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <iostream>
#include <limits>
#include <memory>
#include <stdexcept>

#include "abc/ChoiceVerdict.h"
#include "abc/ForestChoice.h"
#include "abc/ForestDefaults.h"
#include "abc/ForestSample.h"
#include "abc/FitCheck.h"
#include "abc/GoodnessOfFit.h"
#include "abc/PredictiveCheck.h"
#include "abc/Stats.h"
#include "abc/VerdictText.h"
#include "base/Counted.h"
#include "base/Fnv.h"
#include "base/ForestProgress.h"
#include "base/Version.h"
#include "io/FinishedFile.h"
#include "io/ObservedFile.h"
#include "io/PriorsFile.h"
#include "io/ReferenceTable.h"
#include "io/SampleFile.h"
#include "run/SampleDraw.h"
#include "plot/ChoicePlot.h"
#include "plot/CheckPlot.h"
#include "plot/ImportancePlot.h"
#include "plot/Plot.h"
#include "study/ForestAnalysis.h"
#include "study/ModelTable.h"
#include "study/ReportWriter.h"
#include "study/SavedResult.h"
#include "study/ShardedTable.h"
#include "study/SlurmArray.h"
#include "study/StepKeys.h"
#include "study/StepLine.h"
#include "study/StudyData.h"
#include "study/SvgPicture.h"

namespace fs = std::filesystem;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Rows whose out-of-bag posteriors measure the coverage of a column's
// intervals: the table's first, at most this many.
constexpr std::size_t kCoverageRows = 1000;
// Pseudo-observed simulations of the goodness-of-fit test.
constexpr std::size_t kFitReplicates = 100;
constexpr double kFitTolerance = 0.01;

[[noreturn]] void stop(const std::string& message) {
    std::cout.flush();
    std::cerr << "foundabc-study: " << message << "\n";
    std::exit(1);
}

std::FILE* terminal() { return isatty(fileno(stderr)) ? stderr : nullptr; }

// A model's table and what the steps after the tables need of it.
struct ModelRun {
    std::string name, table;
    uint64_t key = 0;  // its table step's key
    ReferenceTable rows;
    PriorsFile priors;
    bool hasPriors = false;
};

// The prior of GsmP from a model's priors file, when it gives one.
const ParameterPrior* gsmPPriorOf(const ModelRun& run) {
    return run.hasPriors && run.priors.hasGsmP ? &run.priors.gsmP : nullptr;
}

class Study {
  public:
    Study(const StudySettings& study, const StudyRunOptions& options)
        : s_(study), o_(options), work_(study.folder + "/work"), keys_(work_) {
        threads_ = options.threads >= 0 ? options.threads : study.threads;
    }

    int run();

  private:
    bool forced(const std::string& step) const {
        return o_.redo.count(step) || o_.redo.count("all");
    }
    void warn(const std::string& step, const std::string& text) {
        std::cerr << "foundabc-study: warning: " << text << "\n";
        report_.warnings.push_back({step, text});
    }
    void recordStep(const std::string& name, bool redone) { report_.steps.push_back({name, redone}); }

    void importStep();
    void tablesStep();
    std::vector<std::string> tablesBySlurm(const std::vector<std::size_t>& toMake);
    void readTables();
    void choiceStep();
    void estimateSteps();
    void fitStep();
    void writeSample(const ModelRun& run, const ForestAnalysis& analysis);
    void predictiveCheckOf(std::size_t m, FitSection& section);
    void fitCheckOf(const ModelRun& run, std::size_t count, FitSection& section);

    std::vector<std::size_t> estimatedModels() const;
    uint64_t keyOf(const char* step, const std::vector<std::size_t>& models) const;
    bool loadSaved(const std::string& step, uint64_t key, SavedResult& saved);
    void save(const std::string& step, uint64_t key, SavedResult saved);
    void estimate(std::vector<ForestAnalysis>& analyses);
    void calibrate(const std::vector<ForestAnalysis>& analyses);
    void checkEnough(const std::vector<ForestAnalysis>& analyses);

    const StudySettings& s_;
    const StudyRunOptions& o_;
    std::string work_;
    StepKeys keys_;
    int threads_ = 0;
    StudyData data_;
    std::vector<ModelRun> models_;
    std::array<double, numbTableStats> observed_{};
    std::size_t chosen_ = 0;
    StudyReport report_;
};

// A step's key: its name, the keys of the tables it reads and the settings
// of its forests.
uint64_t Study::keyOf(const char* step, const std::vector<std::size_t>& models) const {
    Fnv key;
    key.addText(foundabcVersion);
    key.addText(step);
    for (std::size_t m : models) key.addValue(models_[m].key);
    key.addValue(static_cast<uint64_t>(s_.trees));
    key.addValue(s_.seed);
    key.addValue(s_.estimateAll);
    return key.value();
}

// The saved result of `step` when its key is `key` and it is not to be
// redone; its warnings are shown again and join the report's.
bool Study::loadSaved(const std::string& step, uint64_t key, SavedResult& saved) {
    if (forced(step) || !keys_.unchanged(step, key)) return false;
    std::ifstream in(work_ + "/" + step + ".result", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in || !readSavedResult(text.str(), saved)) return false;
    for (const StudyWarning& w : saved.warnings) warn(w.step, w.text);
    return true;
}

void Study::save(const std::string& step, uint64_t key, SavedResult saved) {
    for (const StudyWarning& w : report_.warnings)
        if (w.step == step) saved.warnings.push_back(w);
    const std::string path = work_ + "/" + step + ".result";
    FinishedFile file(path);
    if (!file.error().empty() || !file.write(formatSavedResult(saved)) || !file.commit(true))
        stop("cannot write " + path + " (" + file.error() + ")");
    keys_.record(step, key);
}

void Study::importStep() {
    StepLine line(1, "import");
    const std::string problem = prepareStudyData(s_, work_, data_);
    if (!problem.empty()) stop(problem);
    // Every model's settings are checked before anything is simulated.
    if (chdir(work_.c_str()) != 0) stop("cannot enter the work folder " + work_);
    for (std::size_t m = 0; m < s_.models.size(); ++m) {
        const std::string fault = checkModelSettings(modelParametersName(s_.models[m].name));
        if (!fault.empty()) stop("model " + s_.models[m].name + ": " + fault);
    }
    recordStep("import", data_.changed);
    line.finish(data_.changed, std::to_string(data_.sueLines) + " sue and " +
                                   std::to_string(data_.thaLines) + " tha lines, " +
                                   counted(static_cast<std::size_t>(data_.loci), "locus", "loci") + "; " +
                                   counted(s_.models.size(), "model") + " checked");
}

void Study::tablesStep() {
    StepLine line(2, "tables");
    const uint64_t dataPrint = fileFingerprint(data_.dataFile);
    std::vector<std::size_t> toMake;
    for (std::size_t m = 0; m < s_.models.size(); ++m) {
        ModelRun run;
        run.name = s_.models[m].name;
        run.table = run.name + ".table.tsv";
        Fnv key;
        key.addText(foundabcVersion);
        key.addText("table");
        key.addValue(fileFingerprint(data_.modelFiles[m]));
        key.addValue(dataPrint);
        key.addValue(modelSeed(s_.seed, m));
        run.key = key.value();
        const bool fresh = !forced("tables") && keys_.unchanged("table-" + run.name, run.key) &&
                           fs::exists(run.table) && fs::exists(priorsPath(run.table));
        if (!fresh) toMake.push_back(m);
        report_.provenance.seeds.push_back({"table " + run.name, modelSeed(s_.seed, m)});
        models_.push_back(std::move(run));
    }
    std::vector<std::string> made(models_.size());
    if (o_.slurm) {
        made = tablesBySlurm(toMake);
    } else {
        for (std::size_t m : toMake) {
            const ModelRun& run = models_[m];
            keys_.forget("table-" + run.name);
            makeModelTable(modelParametersName(run.name), run.table, modelSeed(s_.seed, m),
                           threads_);
            keys_.record("table-" + run.name, run.key);
            made[m] = "made";
        }
    }
    std::string note;
    for (std::size_t m = 0; m < models_.size(); ++m)
        note += (note.empty() ? "" : ", ") + models_[m].name + " " +
                (made[m].empty() ? "kept" : made[m]);
    recordStep("tables", !toMake.empty());
    readTables();
    line.finish(!toMake.empty(), note);
}

// The tables of the models `toMake` on Slurm: one job array per model, all
// submitted before the first is waited on, so that the cluster runs them
// side by side; then each array's shards are merged. A failed array stops
// the study once the others have ended and been merged, so that a rerun
// submits only the failed model's missing shards. Returns, per model, how
// its table was made.
std::vector<std::string> Study::tablesBySlurm(const std::vector<std::size_t>& toMake) {
    std::vector<std::string> made(models_.size());
    if (toMake.empty()) return made;
    const std::string script = "table-array.sbatch";
    {
        FinishedFile file(work_ + "/" + script);
        if (!file.error().empty() || !file.write(slurmTaskScript()) || !file.commit(true))
            stop("cannot write " + work_ + "/" + script + " (" + file.error() + ")");
    }
    const int M = o_.slurmTasks;
    struct Array {
        std::size_t m;
        std::vector<int> tasks;
        std::unique_ptr<SlurmArray> job;
    };
    std::vector<Array> arrays;
    for (std::size_t m : toMake) {
        const ModelRun& run = models_[m];
        keys_.forget("table-" + run.name);
        Array a{
            m, shardsToRun(modelParametersName(run.name), run.table, modelSeed(s_.seed, m), M), {}};
        if (!a.tasks.empty()) {
            std::vector<std::string> args = {"--array=" + arrayList(a.tasks),
                                             "--job-name=foundabc-" + run.name,
                                             "--output=" + run.name + ".slurm-%A_%a.out"};
            args.insert(args.end(), s_.slurm.sbatch.begin(), s_.slurm.sbatch.end());
            args.insert(args.end(),
                        {script, o_.foundabc, modelParametersName(run.name),
                         std::to_string(modelSeed(s_.seed, m)), std::to_string(M), run.table});
            a.job = std::make_unique<SlurmArray>(args);
            if (!a.job->jobId().empty())
                std::cerr << "foundabc-study: model " << run.name << ": Slurm job "
                          << a.job->jobId() << ", " << counted(a.tasks.size(), "task") << " of "
                          << M << " submitted\n";
        }
        arrays.push_back(std::move(a));
    }
    std::string failures;
    for (Array& a : arrays) {
        const ModelRun& run = models_[a.m];
        const int status = a.job ? a.job->wait() : 0;
        const std::vector<int> missing =
            shardsToRun(modelParametersName(run.name), run.table, modelSeed(s_.seed, a.m), M);
        if (a.job && a.job->jobId().empty()) {
            failures += "\nmodel " + run.name + ": sbatch did not submit the array (" +
                        (status < 0 ? std::string("it could not be run")
                                    : "status " + std::to_string(status)) +
                        "; its message is above)";
            continue;
        }
        if (!missing.empty()) {
            const std::string job = a.job ? a.job->jobId() : "?";
            failures += "\nmodel " + run.name + ": Slurm job " + job + " failed" +
                        (status > 0 ? " (status " + std::to_string(status) + ")" : "") + ": " +
                        counted(missing.size(), "shard") + " of " + std::to_string(M) +
                        " missing (" + (missing.size() == 1 ? "task " : "tasks ") +
                        arrayList(missing) + "; see work/" + run.name + ".slurm-" + job + "_" +
                        std::to_string(missing.front()) + ".out)";
            continue;
        }
        mergeModelTable(modelParametersName(run.name), run.table);
        keys_.record("table-" + run.name, run.key);
        made[a.m] = a.job ? "made by Slurm job " + a.job->jobId() : "merged";
    }
    if (!failures.empty())
        stop("the tables' job arrays failed; run the study again to resubmit the missing tasks:" +
             failures);
    return made;
}

void Study::readTables() {
    for (std::size_t m = 0; m < models_.size(); ++m) {
        ModelRun& run = models_[m];
        TableRead read = readReferenceTable(run.table);
        if (!read.error.empty()) stop(read.error);
        for (const std::string& w : read.warnings) warn("tables", w);
        run.rows = std::move(read.table);
        const PriorsRead priors = readPriorsBeside(run.table);
        if (!priors.error.empty()) stop(priors.error);
        run.priors = priors.file;
        run.hasPriors = priors.found;
        if (m == 0) {
            const ObservedRead obs = readObservedStats(observedStatisticsPath(run.table));
            if (!obs.error.empty()) stop(obs.error);
            observed_ = obs.values;
        }
        ModelSection section;
        section.name = run.name;
        section.settings = s_.models[m].settings;
        for (std::size_t c = 0; c < numbDrawnParams && run.hasPriors; ++c)
            section.priors.push_back({paramColumnNames[c],
                                      run.priors.priors[c].logUniform ? "log-uniform" : "uniform",
                                      run.priors.priors[c].lower, run.priors.priors[c].upper});
        if (run.hasPriors && run.priors.hasGsmP)
            section.priors.push_back(
                {gsmPColumnName, "uniform", run.priors.gsmP.lower, run.priors.gsmP.upper});
        section.simulations = static_cast<long>(run.rows.rows());
        section.tableFingerprint = fingerprintText(fileFingerprint(run.table));
        report_.models.push_back(section);
        report_.provenance.fingerprints.push_back({"work/" + run.table, section.tableFingerprint});
    }
    DataSection& d = report_.data;
    d.source = !s_.genepop.empty() ? fs::path(s_.genepop).filename().string()
                                   : fs::path(s_.data).filename().string();
    d.sueName = s_.genepop.empty() ? "sue" : s_.sue;
    d.thaName = s_.genepop.empty() ? "tha" : s_.tha;
    d.sueLines = data_.sueLines;
    d.thaLines = data_.thaLines;
    d.loci = data_.loci;
    d.missingValues = data_.missingValues;
    for (std::size_t j = 0; j < numbTableStats; ++j) {
        d.statNames.push_back(tableStatNames[j]);
        d.statValues.push_back(observed_[j]);
    }
    report_.provenance.fingerprints.insert(
        report_.provenance.fingerprints.begin(),
        {"work/data.txt", fingerprintText(fileFingerprint(data_.dataFile))});
}

void Study::choiceStep() {
    StepLine line(3, "choice");
    ChoiceSection& c = report_.choice;
    if (models_.size() < 2) {
        c.present = false;
        recordStep("choice", false);
        line.finish(false, "one model: no choice to make");
        return;
    }
    std::vector<std::size_t> all(models_.size());
    for (std::size_t m = 0; m < all.size(); ++m) all[m] = m;
    const uint64_t key = keyOf("choice", all);
    report_.provenance.seeds.push_back({"forests", s_.seed});
    SavedResult saved;
    if (loadSaved("choice", key, saved)) {
        c = saved.choice;
        chosen_ = saved.chosen;
        recordStep("choice", false);
        line.finish(false, c.chosen + " chosen, probability " + choiceNumber(c.chosenProbability, "%.3f"));
        return;
    }
    keys_.forget("choice");
    // The tables pooled in the study file's order, their statistics chosen
    // as `foundabc-summary --choose --method forest` chooses them.
    PooledTables pooled;
    for (std::size_t m = 0; m < models_.size(); ++m) {
        const ReferenceTable& t = models_[m].rows;
        for (std::size_t k = 0; k < numbParamColumns; ++k)
            pooled.table.params[k].insert(pooled.table.params[k].end(), t.params[k].begin(), t.params[k].end());
        for (std::size_t j = 0; j < numbTableStats; ++j)
            pooled.table.stats[j].insert(pooled.table.stats[j].end(), t.stats[j].begin(), t.stats[j].end());
        pooled.table.numbStats = std::min(pooled.table.numbStats, t.numbStats);
        pooled.sizes.push_back(t.rows());
        pooled.model.insert(pooled.model.end(), t.rows(), m);
    }
    // The forests compare every statistic the tables hold.
    const std::vector<std::string> named(tableStatNames.begin(),
                                         tableStatNames.begin() + pooled.table.numbStats);
    const StatisticChoice choice = chooseStatistics(pooled.table, observed_, named);
    for (const std::string& w : choice.warnings) warn("choice", w);
    if (!choice.error.empty()) stop("model choice: " + choice.error);
    std::vector<double> point;
    for (std::size_t j : choice.columns) point.push_back(observed_[j]);
    const std::size_t axes = models_.size() - 1;
    ForestChoiceSettings settings;
    settings.classification = forestSettingsFor(s_.trees, threads_, s_.seed, choice.columns.size() + axes, 1);
    settings.regression = forestSettingsFor(s_.trees, threads_, s_.seed, choice.columns.size() + axes, 5);
    ForestProgress progress(2L * s_.trees, terminal());
    settings.classification.treeGrown = settings.regression.treeGrown = progress.callback();
    const ForestChoice f = chooseModelByForest(pooled, choice.columns, {point}, settings);
    progress.clear();
    if (!f.error.empty()) stop("model choice: the forest cannot be grown: " + f.error);

    std::size_t used = 0;
    for (std::size_t n : f.rowsUsed) used += n;
    double largestPrior = 0;
    c.present = true;
    for (std::size_t m = 0; m < models_.size(); ++m) {
        c.models.push_back(models_[m].name);
        c.votes.push_back(std::lround(f.votes[0][m] * s_.trees));
        c.priorProbability.push_back(static_cast<double>(f.rowsUsed[m]) / used);
        c.posteriorProbability.push_back(f.chosen[0] == m ? f.probability[0] : kNaN);
        largestPrior = std::max(largestPrior, c.priorProbability.back());
    }
    chosen_ = f.chosen[0];
    c.chosen = models_[chosen_].name;
    c.chosenProbability = f.probability[0];
    c.priorErrorRate = f.priorErrorRate;
    for (const auto& row : f.confusion) c.confusion.emplace_back(row.begin(), row.end());
    const ChoiceVerdict v = choiceVerdict(largestPrior, f.priorErrorRate, used, f.probability[0]);
    c.verdict = verdictText(v, c.chosen, f.priorErrorRate, f.probability[0]);
    std::string why;
    c.ldaSvg = drawSvg(
        [&](const std::string& output) {
            return choicePlotScript(f.axisScores, f.model, f.pointScores[0], c.models, output,
                                    "model choice: " + c.chosen + " chosen, probability " +
                                        choiceNumber(c.chosenProbability, "%.3f"),
                                    PlotFormat::svg);
        },
        work_ + "/choice.svg", why);
    if (!why.empty()) warn("choice", why);
    saved.choice = c;
    saved.chosen = chosen_;
    save("choice", key, saved);
    recordStep("choice", true);
    line.finish(true, c.chosen + " chosen, probability " + choiceNumber(c.chosenProbability, "%.3f"));
}

std::vector<std::size_t> Study::estimatedModels() const {
    std::vector<std::size_t> which;
    for (std::size_t m = 0; m < models_.size(); ++m)
        if (s_.estimateAll || m == chosen_) which.push_back(m);
    return which;
}

// Step 4: the forests of each estimated model and their estimates.
void Study::estimate(std::vector<ForestAnalysis>& analyses) {
    for (std::size_t m : estimatedModels()) {
        const ModelRun& run = models_[m];
        ForestProgress progress(static_cast<long>(run.rows.numbParams()) * s_.trees, terminal());
        analyses.push_back(analyseByForests(run.rows, run.hasPriors ? &run.priors.priors : nullptr,
                                            gsmPPriorOf(run), observed_, s_.trees, threads_, s_.seed,
                                            progress.callback()));
        progress.clear();
        const ForestAnalysis& a = analyses.back();
        for (const std::string& w : a.warnings) warn("estimate", run.name + ": " + w);
        if (!a.error.empty()) stop(run.table + ": " + a.error);
        writeSample(run, a);
        EstimateSection e;
        e.model = run.name;
        std::vector<double> importance(a.statistics.size(), 0.0);
        std::vector<std::string> parameters, statistics;
        std::vector<std::vector<double>> byColumn;
        for (std::size_t c = 0; c < run.rows.numbParams(); ++c) {
            const ColumnSummary& s = a.summaries[c];
            const ColumnForest& f = a.forests[c];
            e.lines.push_back({paramSlotNames[c], s.median, s.q025, s.q975, s.q25, s.q75, s.mean,
                               f.fixed ? kNaN : f.oobError, columnVerdict(f)});
            parameters.push_back(paramSlotNames[c]);
            byColumn.push_back(f.forest->importance());
            for (std::size_t k = 0; k < importance.size(); ++k) importance[k] += byColumn.back()[k];
        }
        for (std::size_t k = 0; k < a.statistics.size(); ++k) {
            statistics.push_back(tableStatNames[a.statistics[k]]);
            e.importance.push_back({statistics.back(), importance[k]});
        }
        std::stable_sort(e.importance.begin(), e.importance.end(),
                         [](const auto& x, const auto& y) { return x.second > y.second; });
        std::string why;
        e.posteriorSvg = drawSvg(
            [&](const std::string& output) {
                return plotScript(a.summaries, output, run.name + ": random-forest posteriors",
                                  PlotFormat::svg, true);
            },
            work_ + "/" + run.name + ".posterior.svg", why);
        if (!why.empty()) warn("estimate", why);
        e.importanceSvg = drawSvg(
            [&](const std::string& output) {
                return importancePlotScript(parameters, byColumn, statistics, output,
                                            run.name + ": importance of the statistics",
                                            PlotFormat::svg);
            },
            work_ + "/" + run.name + ".importance.svg", why);
        if (!why.empty()) warn("estimate", why);
        report_.estimates.push_back(std::move(e));
    }
}

// Step 5: the out-of-bag coverage of the estimates' intervals.
void Study::calibrate(const std::vector<ForestAnalysis>& analyses) {
    std::size_t k = 0;
    for (std::size_t m : estimatedModels()) {
        const ModelRun& run = models_[m];
        const ForestAnalysis& a = analyses[k++];
        std::vector<std::size_t> rows(std::min(kCoverageRows, run.rows.rows()));
        for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = i;
        CalibrationSection section;
        section.model = run.name;
        for (std::size_t c = 0; c < run.rows.numbParams(); ++c) {
            const Coverage coverage = outOfBagCoverage(a.forests[c], run.rows, c, rows);
            const ColumnForest& f = a.forests[c];
            section.lines.push_back({paramSlotNames[c], static_cast<long>(rows.size()),
                                     coverage.inside50, coverage.inside95,
                                     f.fixed ? kNaN : f.oobError, columnVerdict(f)});
        }
        report_.calibration.push_back(std::move(section));
    }
}

// Step 6: the estimates again on the first half of each table.
void Study::checkEnough(const std::vector<ForestAnalysis>& analyses) {
    std::size_t k = 0;
    for (std::size_t m : estimatedModels()) {
        const ModelRun& run = models_[m];
        const ForestAnalysis& full = analyses[k++];
        const ReferenceTable half = firstRows(run.rows, run.rows.rows() / 2);
        ForestProgress progress(static_cast<long>(half.numbParams()) * s_.trees, terminal());
        const ForestAnalysis h = analyseByForests(half, run.hasPriors ? &run.priors.priors : nullptr,
                                                  gsmPPriorOf(run), observed_, s_.trees, threads_, s_.seed,
                                                  progress.callback());
        progress.clear();
        EnoughSection e;
        e.model = run.name;
        e.rowsHalf = static_cast<long>(half.rows());
        e.rowsFull = static_cast<long>(run.rows.rows());
        if (!h.error.empty()) {
            warn("enough", run.name + ": the half table: " + h.error);
        } else {
            bool moved = false;
            for (std::size_t c = 0; c < half.numbParams(); ++c) {
                EnoughLine l;
                l.parameter = paramSlotNames[c];
                l.medianHalf = h.summaries[c].median;
                l.medianFull = full.summaries[c].median;
                l.intervalWidth = full.summaries[c].q975 - full.summaries[c].q025;
                l.oobErrorHalf = h.forests[c].fixed ? kNaN : h.forests[c].oobError;
                l.oobErrorFull = full.forests[c].fixed ? kNaN : full.forests[c].oobError;
                l.medianMoved = std::fabs(l.medianHalf - l.medianFull) > l.intervalWidth / 10;
                l.errorMoved = std::fabs(l.oobErrorHalf - l.oobErrorFull) > 0.02;
                moved = moved || l.medianMoved || l.errorMoved;
                e.lines.push_back(l);
            }
            // Moving by more than the margin between half and whole table
            // says the estimates have not settled: doubling the table again
            // is the next check of the same rule.
            e.suggestedSimulations = moved ? e.rowsFull : 0;
            e.advice = moved ? "Add simulations: an estimate moved between the first half of the "
                               "table and the whole; add " +
                                   std::to_string(e.suggestedSimulations) + " simulations to " +
                                   run.name + " (twice as many) and run the study again."
                             : "Enough simulations: no median moved by more than a tenth of its "
                               "interval and no out-of-bag error by more than 0.02 between the "
                               "first half of the table and the whole.";
        }
        report_.enough.push_back(std::move(e));
    }
}

// Steps 4 to 6 rest on the same forests: when one of them is to be redone,
// the forests are grown again and the three are redone together.
void Study::estimateSteps() {
    const uint64_t key = keyOf("estimate", estimatedModels());
    SavedResult estimates, calibration, enough;
    bool samples = true;  // the samples the predictive check simulates from
    for (std::size_t m : estimatedModels()) samples = samples && fs::exists(models_[m].name + ".sample.tsv");
    const bool kept = samples && loadSaved("estimate", key, estimates) &&
                      loadSaved("calibration", key, calibration) && loadSaved("enough", key, enough);
    std::vector<ForestAnalysis> analyses;
    StepLine estimateLine(4, "estimate");
    if (kept) {
        report_.estimates = estimates.estimates;
    } else {
        // The warnings of a saved result that is not taken are made again.
        report_.warnings.erase(std::remove_if(report_.warnings.begin(), report_.warnings.end(),
                                              [](const StudyWarning& w) {
                                                  return w.step == "estimate" || w.step == "calibration" || w.step == "enough";
                                              }),
                               report_.warnings.end());
        for (const char* step : {"estimate", "calibration", "enough"}) keys_.forget(step);
        estimate(analyses);
        estimates.estimates = report_.estimates;
        estimates.warnings.clear();
        save("estimate", key, estimates);
    }
    recordStep("estimate", !kept);
    estimateLine.finish(!kept, "under " + report_.estimates.front().model);

    StepLine calibrationLine(5, "calibration");
    if (kept) {
        report_.calibration = calibration.calibration;
    } else {
        calibrate(analyses);
        calibration = SavedResult();
        calibration.calibration = report_.calibration;
        save("calibration", key, calibration);
    }
    recordStep("calibration", !kept);
    calibrationLine.finish(!kept, "out-of-bag coverage on " +
                                      std::to_string(report_.calibration.front().lines.front().rows) +
                                      " simulations");

    StepLine enoughLine(6, "enough");
    if (kept) {
        report_.enough = enough.enough;
    } else {
        checkEnough(analyses);
        enough = SavedResult();
        enough.enough = report_.enough;
        save("enough", key, enough);
    }
    recordStep("enough", !kept);
    bool add = false;
    for (const EnoughSection& e : report_.enough) add = add || e.suggestedSimulations > 0;
    enoughLine.finish(!kept, add ? "add simulations" : "enough simulations");
}

// The posterior sample of a model's estimate, as `foundabc-summary --table
// TABLE --method forest --sample` writes it, with its record of origin:
// what the predictive check simulates from.
void Study::writeSample(const ModelRun& run, const ForestAnalysis& analysis) {
    const ForestSampleWeights weights = forestSampleWeights(run.rows, analysis.weights);
    if (!weights.matched)
        warn("estimate", run.name + ": the sample's weights match the forests' posteriors only to " +
                             choiceNumber(weights.discrepancy, "%.3g") + " of mass in a bin");
    const std::string text = formatWeightedRows(run.rows, weights.weights);
    SampleOrigin origin;
    origin.table = run.table;
    origin.sample = sampleTextFingerprint(text);
    origin.known = run.hasPriors && run.priors.provenance.known;
    origin.settings = run.priors.provenance.settings;
    origin.data = dataFingerprintOf(observed_);
    const std::string path = run.name + ".sample.tsv";
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{path, text},
                                      {sampleOriginPath(path), formatSampleOrigin(origin)}}) {
        FinishedFile file(work_ + "/" + name);
        if (!file.error().empty() || !file.write(bytes) || !file.commit(true))
            stop("cannot write " + work_ + "/" + name + " (" + file.error() + ")");
    }
}

// The posterior predictive check of model `m`: a table of ppc_simulations
// simulated from its posterior sample (as `foundabc --from-sample`), each
// observed statistic set in what it predicts.
void Study::predictiveCheckOf(std::size_t m, FitSection& section) {
    const ModelRun& run = models_[m];
    std::string base, text;
    {
        std::ifstream in(modelParametersName(run.name), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        base = bytes.str();
    }
    const std::string problem = overrideSettings(
        base, {{"OUTFILE_NAME", run.name + ".ppc.results.txt"}, {"REPEATS", std::to_string(s_.ppcSimulations)}},
        text);
    if (!problem.empty()) stop(problem);
    const std::string params = run.name + ".ppc.params.txt", table = run.name + ".ppc.tsv";
    {
        FinishedFile file(work_ + "/" + params);
        if (!file.error().empty() || !file.write(text) || !file.commit(true))
            stop("cannot write " + work_ + "/" + params + " (" + file.error() + ")");
    }
    const std::string sample = run.name + ".sample.tsv";
    if (!fs::exists(sample))
        stop("work/" + sample + " is missing: run again with --redo estimate");
    const SampleDraw draw = loadSampleDraw(sample, run.rows.hasGsmP, params);
    const uint64_t seed = modelSeed(s_.seed, models_.size() + m);
    makeModelTable(params, table, seed, threads_, &draw);
    TableRead read = readReferenceTable(table);
    if (!read.error.empty()) stop(read.error);
    const auto check = predictiveCheck(read.table, observed_);
    for (std::size_t j = 0; j < numbTableStats; ++j)
        section.ppc.push_back({tableStatNames[j], check[j].observed, check[j].q025, check[j].q975,
                               check[j].tail});
    std::string why;
    section.ppcSvg = drawSvg(
        [&](const std::string& output) {
            return predictivePlotScript(read.table, check, output,
                                        run.name + ": posterior predictive check", PlotFormat::svg);
        },
        work_ + "/" + run.name + ".ppc.svg", why);
    if (!why.empty()) warn("fit", why);
}

// The fit check of a model, as `foundabc-summary --table TABLE --fit-check
// COUNT --seed SEED` makes it: every statistic the table holds, in a
// neighbourhood of the check's own default share.
void Study::fitCheckOf(const ModelRun& run, std::size_t count, FitSection& section) {
    section.checkStatistic = section.checkPValue = kNaN;
    const std::vector<std::string> named(tableStatNames.begin(),
                                         tableStatNames.begin() + run.rows.numbStats);
    const StatisticChoice choice = chooseStatistics(run.rows, observed_, named);
    if (!choice.error.empty()) return warn("fit", run.name + ": fit check: " + choice.error);
    const FitCheck fit = fitCheck(run.rows, choice, count, s_.seed, defaultFitCheckShare);
    if (!fit.error.empty())
        return warn("fit", run.name + ": fit check: " + fit.error +
                               (fit.tooFewNeighbours ? "; give the model more simulations" : ""));
    if (fit.statisticsLeftOut > 0)
        warn("fit", run.name + ": fit check: " + std::to_string(fit.statisticsLeftOut) +
                        " statistics of the pseudo-observed simulations were not finite numbers "
                        "and were left out of their scores");
    section.checkStatistic = fit.observed.score;
    section.checkPValue = fit.pValue;
    section.checkReplicates = static_cast<long>(nullQuantiles(fit.nullScores).count);
    for (std::size_t c = 0; c < choice.columns.size(); ++c)
        section.checkResiduals.push_back({tableStatNames[choice.columns[c]], fit.observed.conditional[c]});
    std::string why;
    section.checkSvg = drawSvg(
        [&](const std::string& output) {
            return fitPlotScript(fit.nullScores, fit.observed.score, output,
                                 run.name + ": fit check, p = " + choiceNumber(fit.pValue, "%.3g"),
                                 PlotFormat::svg, fitCheckScoreAxis);
        },
        work_ + "/" + run.name + ".fit-check.svg", why);
    if (!why.empty()) warn("fit", why);
}

void Study::fitStep() {
    StepLine line(7, "fit");
    Fnv fitKey(keyOf("fit", estimatedModels()));
    fitKey.addValue(static_cast<int64_t>(s_.ppcSimulations));
    // The fit check's share in the key: a saved result of another share, or
    // of before the study ran the fit check, is made again.
    fitKey.addValue(defaultFitCheckShare);
    const uint64_t key = fitKey.value();
    report_.provenance.seeds.push_back({"goodness of fit", s_.seed});
    report_.provenance.seeds.push_back({"fit check", s_.seed});
    for (std::size_t m : estimatedModels())
        report_.provenance.seeds.push_back(
            {"predictive check " + models_[m].name, modelSeed(s_.seed, models_.size() + m)});
    // The step's line: each model's p-value of the goodness of fit and of
    // the fit check.
    const auto pValues = [&](double FitSection::*p) {
        std::string text;
        for (const FitSection& f : report_.fit)
            if (!std::isnan(f.*p))
                text += (text.empty() ? "" : ", ") + f.model + " p = " + choiceNumber(f.*p, "%.3g");
        return text.empty() ? std::string("not measured") : text;
    };
    const auto checks = [&] {
        return "goodness of fit " + pValues(&FitSection::gfitPValue) + "; fit check " +
               pValues(&FitSection::checkPValue);
    };
    SavedResult saved;
    if (loadSaved("fit", key, saved)) {
        report_.fit = saved.fit;
        recordStep("fit", false);
        line.finish(false, checks());
        return;
    }
    keys_.forget("fit");
    for (std::size_t m : estimatedModels()) {
        const ModelRun& run = models_[m];
        FitSection section;
        section.model = run.name;
        const StatisticChoice choice = chooseStatistics(run.rows, observed_, {});
        const std::size_t count = std::min(kFitReplicates, run.rows.rows() - 1);
        const GoodnessOfFit fit = choice.error.empty()
                                      ? goodnessOfFit(run.rows, choice, count, s_.seed, kFitTolerance)
                                      : GoodnessOfFit{};
        if (!choice.error.empty() || !fit.error.empty()) {
            warn("fit", run.name + ": " + (choice.error.empty() ? fit.error : choice.error));
            section.gfitStatistic = section.gfitPValue = kNaN;
        } else {
            section.gfitStatistic = fit.observedScore;
            section.gfitPValue = fit.pValue;
            section.gfitReplicates = static_cast<long>(fit.nullScores.size());
            section.gfitVerdict =
                fit.pValue < 0.05
                    ? "The model is rejected at the 5 % level: it does not reproduce the observed statistics."
                    : "The model is not rejected at the 5 % level.";
            std::string why;
            section.gfitSvg = drawSvg(
                [&](const std::string& output) {
                    return fitPlotScript(fit.nullScores, fit.observedScore, output,
                                         run.name + ": goodness of fit, p = " + choiceNumber(fit.pValue, "%.3g"),
                                         PlotFormat::svg);
                },
                work_ + "/" + run.name + ".fit.svg", why);
            if (!why.empty()) warn("fit", why);
        }
        fitCheckOf(run, count, section);
        predictiveCheckOf(m, section);
        report_.fit.push_back(std::move(section));
    }
    saved.fit = report_.fit;
    save("fit", key, saved);
    recordStep("fit", true);
    line.finish(true, checks() + "; predictive check on " +
                          std::to_string(s_.ppcSimulations) + " simulations");
}

int Study::run() {
    fs::create_directories(work_);
    fs::create_directories(s_.folder + "/report");
    report_.title = fs::path(s_.folder).filename().string();
    report_.provenance.programVersion = foundabcVersion;
    report_.provenance.studyFileName = fs::path(s_.path).filename().string();
    report_.provenance.studyFileText = s_.text;
    report_.provenance.seed = s_.seed;
    report_.provenance.reproduceCommand = o_.command;
    importStep();
    tablesStep();
    choiceStep();
    estimateSteps();
    fitStep();
    StepLine line(8, "report");
    recordStep("report", true);
    try {
        writeStudyReport(s_.folder + "/report", report_);
    } catch (const std::exception& e) {
        stop(e.what());
    }
    line.finish(true, "in " + o_.shownFolder + "report");
    return 0;
}

}  // namespace

const std::vector<std::string>& studyStepNames() {
    static const std::vector<std::string> names = {"import",      "tables", "choice", "estimate",
                                                   "calibration", "enough", "fit",    "report"};
    return names;
}

uint64_t modelSeed(uint64_t studySeed, std::size_t index) { return studySeed + index; }

int runStudy(const StudySettings& study, const StudyRunOptions& options) {
    Study s(study, options);
    return s.run();
}
