#include "summary/ChooseCommand.h"

#include <CLI/CLI.hpp>
#include <tuple>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/HelpFormat.h"
#include "abc/ModelChoice.h"
#include "io/ObservedFile.h"
#include "io/PriorsFile.h"
#include "io/ReferenceTable.h"
#include "io/TableClaim.h"
#include "plot/PlotFormat.h"
#include "sim/Columns.h"
#include "summary/Command.h"
#include "summary/ChooseShared.h"
#include "summary/OptionErrors.h"
#include "summary/Options.h"

namespace {

constexpr double kSeparated = 0.8;  // share chosen correctly to call a model told apart

}  // namespace

// Whether `table` holds the same simulations, row for row, as the rows of
// `pooled` from `offset` on (the `sim` numbers aside; NaN equals NaN).
static bool sameSimulations(const ReferenceTable& pooled, std::size_t offset, std::size_t rows,
                            const ReferenceTable& table) {
    if (rows != table.rows()) return false;
    const auto same = [&](const std::vector<double>& a, const std::vector<double>& b) {
        return std::equal(b.begin(), b.end(), a.begin() + static_cast<std::ptrdiff_t>(offset),
                          [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); });
    };
    for (std::size_t c = 0; c < numbParamColumns; ++c)
        if (!same(pooled.params[c], table.params[c])) return false;
    for (std::size_t j = 0; j < numbTableStats; ++j)
        if (!same(pooled.stats[j], table.stats[j])) return false;
    return true;
}

static std::string baseName(const std::string& path) {
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    for (const char* suffix : {".gz", ".tsv"})
        if (name.size() > std::strlen(suffix) &&
            name.compare(name.size() - std::strlen(suffix), std::strlen(suffix), suffix) == 0)
            name.resize(name.size() - std::strlen(suffix));
    return name;
}


// A matrix of models with a label column, for people or (tsv) programs.
void printMatrix(std::ostream& out, const std::vector<std::string>& names,
                 const std::vector<std::vector<std::string>>& cells, bool tsv) {
    std::size_t width = 10;
    for (const std::string& n : names) width = std::max(width, n.size() + 2);
    out << (tsv ? "model" : std::string(width, ' '));
    for (const std::string& n : names)
        out << (tsv ? "\t" + n : std::string(width - n.size(), ' ') + n);
    out << "\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        out << (tsv ? names[i] : names[i] + std::string(width - names[i].size(), ' '));
        for (const std::string& c : cells[i])
            out << (tsv ? "\t" + c : std::string(width - std::min(width, c.size()), ' ') + c);
        out << "\n";
    }
}

namespace {

int run(const ChooseOptions& o, std::ostream& out, std::ostream& err) {
    const auto fail = [&](const std::string& message) {
        err << "foundabc-summary: " << message << "\n";
        return 1;
    };
    const auto warn = [&](const std::string& message) {
        err << "foundabc-summary: warning: " << message << "\n";
    };
    if (o.tables.size() < 2)
        return fail("--choose needs the tables of two models or more; got " +
                    std::to_string(o.tables.size()));
    if (!(o.tolerance > 0.0 && o.tolerance <= 1.0))
        return fail("--tol must lie in (0, 1], the share of simulations to accept");
    std::vector<std::string> names = o.names;
    if (names.empty())
        for (const std::string& t : o.tables) names.push_back(baseName(t));
    if (names.size() != o.tables.size())
        return fail("--names gives " + std::to_string(names.size()) + " names for " +
                    std::to_string(o.tables.size()) + " tables");

    // One table given twice would be two models with the same rows: the
    // choice between them is a coin toss and the others' shares are halved.
    for (std::size_t m = 0; m < o.tables.size(); ++m)
        for (std::size_t k = 0; k < m; ++k)
            if (o.tables[k] == o.tables[m] || sameFile(o.tables[k], o.tables[m]))
                return fail("--choose names one table twice: '" + o.tables[k] + "' and '" +
                            o.tables[m] + "' are the same file; give each model's table once");
    for (std::size_t i = 0; i < names.size(); ++i)
        for (std::size_t k = 0; k < i; ++k)
            if (names[i] == names[k])
                return fail("two models are named '" + names[i] +
                            "' (tables " + o.tables[k] + " and " + o.tables[i] +
                            "); give each its own name with --names");

    PooledTables pooled;
    std::array<double, numbTableStats> observed{};
    std::vector<std::array<double, numbParamColumns>> firstRows;
    for (std::size_t m = 0; m < o.tables.size(); ++m) {
        TableRead read = readReferenceTable(o.tables[m]);
        for (const std::string& w : read.warnings) warn(w);
        if (!read.error.empty()) return fail(read.error);
        if (read.table.rows() == 0) return fail(o.tables[m] + ": no simulations in the table");
        // A model's share of the simulations is its prior probability: a table
        // cut short would give it the wrong one.
        const PriorsRead priorsRead = readPriorsBeside(o.tables[m]);
        if (!priorsRead.error.empty()) return fail(priorsRead.error);
        const std::string incomplete =
            incompleteTable(o.tables[m], priorsRead, read.table.rows());
        if (!incomplete.empty())
            return fail(incomplete + "; its share of the simulations, the model's prior, would "
                                     "be wrong: let the run finish, or make the table again");
        // A predictive table's rows come from a posterior: set against tables
        // drawn from the priors, it would win by construction.
        for (const std::string& w : priorsRead.file.warnings)
            warn(priorsPath(o.tables[m]) + ": " + w);
        if (priorsRead.found && !drawnFromPriors(priorsRead.file.provenance))
            return fail(o.tables[m] +
                        (priorsRead.file.provenance.source == TableSource::sample
                             ? " was simulated from a posterior sample (its priors file says "
                               "'# made from: sample')"
                             : " may have been simulated from a posterior sample (its priors "
                               "file does not say clearly what made it)") +
                        ", so its rows are not draws from the model's priors: "
                        "choose between tables made without --from-sample");
        ObservedRead obs = readObservedStats(observedStatisticsPath(o.tables[m]));
        if (!obs.error.empty()) return fail(obs.error);
        if (!obs.note.empty()) err << "foundabc-summary: warning: " << obs.note << "\n";
        // Tables written before the spread and shape statistics are compared
        // on the statistics they hold, and the pooled table holds those that
        // every table holds.
        const std::size_t shared = std::min(pooled.table.numbStats, obs.numbStats);
        for (std::size_t j = 0; j < shared && m > 0; ++j) {
            const double a = observed[j], b = obs.values[j];
            if (!(a == b || (std::isnan(a) && std::isnan(b))))
                return fail("the tables were not simulated for the same observed data: " +
                            std::string(tableStatNames[j]) + " is " + choiceNumber(a, "%.17g") + " for " +
                            o.tables[0] + " but " + choiceNumber(b, "%.17g") + " for " + o.tables[m]);
        }
        observed = obs.values;
        // A copy of another model's table is that model again: the choice
        // between the two would be a coin toss, whatever the names say.
        for (std::size_t k = 0, offset = 0; k < m; offset += pooled.sizes[k], ++k)
            if (sameSimulations(pooled.table, offset, pooled.sizes[k], read.table))
                return fail("--choose: '" + o.tables[k] + "' and '" + o.tables[m] +
                            "' hold the same simulations (one table copied?), so they cannot "
                            "be two models; give each model its own table");
        std::array<double, numbParamColumns> first{};
        for (std::size_t c = 0; c < numbParamColumns; ++c) first[c] = read.table.params[c][0];
        for (std::size_t k = 0; k < firstRows.size(); ++k)
            if (std::equal(first.begin(), first.begin() + numbDrawnParams, firstRows[k].begin()))
                warn(o.tables[k] + " and " + o.tables[m] +
                     " begin with the same parameter draws (the same --seed?): models simulated "
                     "with one seed share draws and often whole rows of statistics, which ties "
                     "them at the cut-off; give each model its own seed");
        firstRows.push_back(first);
        for (std::size_t c = 0; c < numbParamColumns; ++c)
            pooled.table.params[c].insert(pooled.table.params[c].end(),
                                          read.table.params[c].begin(), read.table.params[c].end());
        for (std::size_t j = 0; j < numbTableStats; ++j)
            pooled.table.stats[j].insert(pooled.table.stats[j].end(), read.table.stats[j].begin(),
                                         read.table.stats[j].end());
        pooled.table.numbStats =
            std::min({pooled.table.numbStats, read.table.numbStats, obs.numbStats});
        pooled.sizes.push_back(read.table.rows());
        pooled.model.insert(pooled.model.end(), read.table.rows(), m);
    }
    // The forests compare every statistic the tables hold by default, the
    // rejection methods the core ones.
    std::vector<std::string> named = o.stats;
    if (named.empty() && o.forest)
        named.assign(tableStatNames.begin(), tableStatNames.begin() + pooled.table.numbStats);
    StatisticChoice choice = chooseStatistics(pooled.table, observed, named);
    for (const std::string& w : choice.warnings) warn(w);
    if (!choice.error.empty()) return fail(choice.error);
    const ModelPriors priors = modelPriors(pooled.sizes, o.equalPriors);
    std::string statistics;
    for (std::size_t j : choice.columns) statistics += std::string(" ") + tableStatNames[j];

    if (o.crossValidations > 0) {
        ChoiceValidation cv =
            crossValidateChoice(pooled, choice, o.crossValidations, o.seed, o.tolerance, priors);
        if (!cv.error.empty()) return fail(cv.error);
        if (cv.logisticFailures > 0)
            warn("the multinomial regression failed for " + std::to_string(cv.logisticFailures) +
                 " pseudo-observed simulations (left out of its columns)");
        if (cv.logisticReduced > 0)
            warn(
                "the multinomial regression left out statistics constant or collinear with "
                "others among the accepted rows for " +
                std::to_string(cv.logisticReduced) + " pseudo-observed simulation" +
                (cv.logisticReduced == 1 ? "" : "s"));
        if (!o.tsv)
            out << "model choice: cross-validation on " << o.crossValidations
                << " simulations of each of " << names.size() << " models (seed " << o.seed
                << "), tolerance " << choiceNumber(o.tolerance) << "\nstatistics (scaled by their "
                << "median absolute deviation over all tables):" << statistics
                << "\nrows: the true model; columns: the model chosen (largest posterior "
                   "probability), or the mean posterior probability\n";
        const bool logisticWorked = cv.logisticFailures < names.size() * o.crossValidations;
        for (bool logistic : {false, true}) {
            const auto& confusion = logistic ? cv.confusionLogistic : cv.confusionRejection;
            const auto& mean = logistic ? cv.meanLogistic : cv.meanRejection;
            const std::string method = logistic ? "mnlogistic" : "rejection";
            std::vector<std::vector<std::string>> counts, means;
            for (std::size_t i = 0; i < names.size(); ++i) {
                counts.emplace_back();
                means.emplace_back();
                for (std::size_t k = 0; k < names.size(); ++k) {
                    counts[i].push_back(std::to_string(confusion[i][k]));
                    means[i].push_back(choiceNumber(mean[i][k], "%.3f"));
                }
            }
            out << (o.tsv ? "# confusion " : "\nconfusion matrix, ") << method << "\n";
            printMatrix(out, names, counts, o.tsv);
            out << (o.tsv ? "# mean probabilities " : "mean posterior probabilities, ") << method
                << "\n";
            printMatrix(out, names, means, o.tsv);
        }
        if (o.tsv) return 0;
        const auto& confusion = logisticWorked ? cv.confusionLogistic : cv.confusionRejection;
        std::string apart, confused;
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::size_t total = 0;
            for (std::size_t k : confusion[i]) total += k;
            const double share = total ? static_cast<double>(confusion[i][i]) / total : 0.0;
            std::string& list = share >= kSeparated ? apart : confused;
            list +=
                (list.empty() ? "" : ", ") + names[i] + " (" + choiceNumber(100 * share, "%.0f") + " %)";
        }
        out << "\nChosen correctly (" << (logisticWorked ? "mnlogistic" : "rejection")
            << "): the data tell apart " << (apart.empty() ? "no model" : apart)
            << (confused.empty() ? "" : "; they confuse " + confused) << " (told apart: at least "
            << choiceNumber(100 * kSeparated, "%.0f")
            << " % of a model's simulations chosen correctly).\n";
        std::size_t rows = 0, errors = 0, largest = 0;
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::size_t total = 0;
            for (std::size_t k = 0; k < names.size(); ++k) total += confusion[i][k];
            rows += total;
            errors += total - confusion[i][i];
            largest = std::max(largest, total);
        }
        const double errorRate = rows ? static_cast<double>(errors) / rows : std::nan("");
        const ChoiceVerdict verdict =
            choiceVerdict(rows ? static_cast<double>(largest) / rows : 1.0, errorRate, rows,
                          std::nan(""));
        out << "Verdict (" << (logisticWorked ? "mnlogistic" : "rejection")
            << ", prior error rate over " << rows << " simulations): "
            << verdictText(verdict, "", errorRate, std::nan("")) << ".\n";
        return 0;
    }

    if (o.forest) return forestChoice(o, names, pooled, choice, observed, out, err);

    ModelChoice c = chooseModel(pooled, choice, choice.observed, o.tolerance, o.method, priors,
                                pooled.table.rows());
    for (const std::string& w : c.warnings) warn(w);
    if (!c.error.empty()) return fail(c.error);
    const Acceptance& a = c.acceptance;
    // The chosen model: the largest posterior probability, the first of a tie.
    std::size_t chosen = 0;
    for (std::size_t m = 1; m < names.size(); ++m)
        if (c.probabilities[m] > c.probabilities[chosen]) chosen = m;
    const double probability = c.probabilities[chosen];
    const ChoiceVerdict verdict =
        choiceVerdict(*std::max_element(priors.prior.begin(), priors.prior.end()), std::nan(""), 0,
                      probability);
    if (o.tsv) {
        out << "model\tsimulations\tprior\taccepted\tposterior\tverdict\n";
        for (std::size_t m = 0; m < names.size(); ++m)
            out << names[m] << "\t" << pooled.sizes[m] << "\t" << choiceNumber(priors.prior[m], "%.9g")
                << "\t" << c.accepted[m] << "\t" << choiceNumber(c.probabilities[m], "%.9g") << "\t"
                << verdictWord(verdict.kind) << "\n";
        return 0;
    }
    out << "model choice: " << names.size() << " models, " << pooled.table.rows()
        << " simulations, " << a.rows.size() << " accepted (tolerance " << choiceNumber(o.tolerance)
        << ", distance <= " << choiceNumber(a.cutoff) << ")\nstatistics (scaled by their median "
        << "absolute deviation over all tables):" << statistics << "\nmethod: "
        << (o.method == ChoiceMethod::rejection
                ? "rejection: each model's share of the accepted simulations"
                : "weighted multinomial logistic regression of the model on the statistics, "
                  "Epanechnikov weights 1 - (d/h)^2")
        << "\npriors: "
        << (o.equalPriors ? "equal (--equal-priors)" : "the models' shares of the simulations")
        << "\n\n";
    char line[256];
    std::snprintf(line, sizeof line, "%-14s %12s %8s %9s %10s\n", "Model", "Simulations", "Prior",
                  "Accepted", "Posterior");
    out << line;
    for (std::size_t m = 0; m < names.size(); ++m) {
        std::snprintf(line, sizeof line, "%-14s %12zu %8.3f %9zu %10.4f\n", names[m].c_str(),
                      pooled.sizes[m], priors.prior[m], c.accepted[m], c.probabilities[m]);
        out << line;
    }
    out << "\nBayes factors (row model over column model; they do not depend on the priors):\n";
    std::vector<std::vector<std::string>> factors(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        for (std::size_t k = 0; k < names.size(); ++k)
            factors[i].push_back(choiceNumber((c.probabilities[i] / c.probabilities[k]) /
                                        (priors.prior[i] / priors.prior[k])));
    printMatrix(out, names, factors, false);
    out << "\nVerdict: " << verdictText(verdict, names[chosen], std::nan(""), probability)
        << ".\n";
    out << "\nThese probabilities come from "
        << (o.method == ChoiceMethod::rejection ? "the shares of the accepted simulations"
                                                : "a regression on the accepted simulations")
        << " and are not calibrated: --cv tells how well\nthe data tell the models apart, and "
           "--method forest gives a calibrated probability of the chosen model.\n";
    return 0;
}

}  // namespace

bool wantsModelChoice(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--choose") == 0) return true;
    return false;
}

int modelChoiceMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{
        "Model choice: the posterior probabilities of founding models from their reference "
        "tables (each made by foundabc --table for the same observed data), by default from "
        "a classification forest, or by weighted multinomial logistic regression or "
        "rejection; or, with --cv, the confusion matrix of that choice.",
        "foundabc-summary --choose"};
    app.set_version_flag("--version", std::string("foundabc-summary ") + foundabcVersion);
    app.formatter(std::make_shared<WrappedHelp>());
    nameProgramInOptionErrors(app);
    ChooseOptions o;
    app.add_option("--choose", o.tables, "The reference tables, one per model (two or more)")
        ->type_name("TABLE...")
        ->required()
        ->expected(1, 1000);
    app.add_option("--names", o.names, "The models' names, comma-separated, in table order")
        ->type_name("LIST")
        ->delimiter(',');
    app.add_option("--tol", o.tolerance, "Share of all simulations to accept, in (0, 1]")
        ->type_name("Q")
        ->capture_default_str();
    app.add_option("--stats", o.stats, "Statistics to compare, comma-separated; by default the twelve core "
                                 "statistics (S_sue to FST) for the rejection methods, every "
                                 "statistic the tables hold for the forests")
        ->type_name("LIST")
        ->delimiter(',');
    std::string method = "forest";
    auto* methodOption =
        app.add_option("--method", method,
                       "forest: a classification forest on every simulation, with the "
                       "calibrated posterior probability of the chosen model and the prior "
                       "error rate; mnlogistic: weighted multinomial logistic regression; "
                       "rejection: the models' shares of the accepted simulations")
            ->check(CLI::IsMember({"forest", "mnlogistic", "rejection"}))
            ->capture_default_str();
    const ForestCountOptions counts(app);
    bool noLda = false;
    auto* ldaOption = app.add_flag("--no-lda", noLda,
                                   "With --method forest: leave the linear discriminant axes out "
                                   "of the forest's features");
    auto* observedOption =
        app.add_option("--observed", o.observedPath,
                       "With --method forest: choose for each line of values of this observed "
                       "statistics file instead of the tables' own data")
            ->type_name("OBS.tsv");
    auto* plotOption =
        app.add_option("--plot", o.plotPath,
                       "With --method forest: draw the pooled simulations on their first two "
                       "discriminant axes (one for two models), with the observed data "
                       "(.png, .svg or .pdf; needs gnuplot)")
            ->type_name("FILE");
    app.add_flag("--equal-priors", o.equalPriors,
                 "Weight each model's simulations so that the models' priors are equal");
    app.add_flag("--tsv", o.tsv, "Write tab-separated values instead of a text table");
    std::string cvText, seedText = "1";
    auto* cvOption = app.add_option("--cv", cvText,
                                    "Cross-validate instead: choose for N simulations of each "
                                    "model and print the confusion matrices")
                         ->type_name("N");
    auto* seedOption = app.add_option("--seed", seedText,
                                      "Seed of the forests, or of the choice of simulations for "
                                      "--cv (default 1)")
                           ->type_name("S");
    cvOption->excludes(methodOption)->excludes(observedOption)->excludes(plotOption);
    if (const int status = parseCommandLine(app, argc, argv, out, err); status >= 0)
        return status;
    const auto whole = [](const std::string& text, unsigned long& value) {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
        errno = 0;
        value = std::strtoul(text.c_str(), nullptr, 10);
        return errno == 0;
    };
    unsigned long value = 0;
    if (!cvText.empty()) {
        if (!whole(cvText, value) || value < 1) {
            err << "foundabc-summary: --cv '" << cvText
                << "': give the number of simulations of each model, a whole number from 1 up\n";
            return 1;
        }
        o.crossValidations = value;
    }
    if (!whole(seedText, value)) {
        err << "foundabc-summary: --seed '" << seedText << "': give a whole number from 0 up\n";
        return 1;
    }
    o.seed = value;
    o.method = method == "rejection" ? ChoiceMethod::rejection : ChoiceMethod::mnlogistic;
    o.forest = method == "forest" && cvText.empty();
    o.lda = !noLda;
    const auto refuse = [&](const std::string& message) {
        err << "foundabc-summary: " << message << "\n";
        return 1;
    };
    if (seedOption->count() > 0 && !o.forest && cvText.empty())
        return refuse("--seed seeds the forests and chooses the simulations of --cv; give one "
                      "of them");
    for (CLI::Option* option :
         {counts.trees(), counts.threads(), ldaOption, observedOption, plotOption})
        if (option->count() > 0 && !o.forest)
            return refuse(option->get_name() + " belongs to --method forest");
    if (const std::string problem = counts.read(o.trees, o.threads); !problem.empty())
        return refuse(problem);
    if (!o.plotPath.empty() && plotFormatFor(o.plotPath) == PlotFormat::none)
        return refuse("--plot '" + o.plotPath +
                      "': the picture's file name must end in .png, .svg or .pdf, which choose "
                      "its format");
    for (std::string& s : o.stats) s = CLI::detail::trim_copy(s);
    for (std::string& s : o.names) s = CLI::detail::trim_copy(s);
    return run(o, out, err);
}
