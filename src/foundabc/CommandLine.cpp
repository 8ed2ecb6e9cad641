#include "foundabc/CommandLine.h"

#include <sched.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <iostream>
#include <memory>
#include <vector>

#include "base/Fail.h"
#include "base/HelpFormat.h"
#include "base/OptionError.h"

namespace {

[[noreturn]] void optionError(const std::string& what) {
    fail("foundabc: " + what + "\nRun 'foundabc --help' for the options.\n");
}

// "K/M" with 1 <= K <= M.
void parseShard(const std::string& text, int& index, int& count) {
    const size_t slash = text.find('/');
    try {
        if (slash == std::string::npos) throw std::invalid_argument(text);
        size_t usedK = 0, usedM = 0;
        const std::string k = text.substr(0, slash), m = text.substr(slash + 1);
        const long K = std::stol(k, &usedK), M = std::stol(m, &usedM);
        if (usedK != k.size() || usedM != m.size() || K < 1 || M < K || M > 1000000)
            throw std::invalid_argument(text);
        index = static_cast<int>(K);
        count = static_cast<int>(M);
    } catch (const std::exception&) {
        optionError("--shard wants K/M with whole numbers 1 <= K <= M (for example 2/8), not '" +
                    text + "'");
    }
}

// A whole number from 0 to 2^64 - 1, in decimal digits only.
uint64_t parseSeed(const std::string& text) {
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        optionError("--seed wants a whole number from 0 to 18446744073709551615, not '" + text +
                    "'");
    return value;
}

// The help (and the man page made from it) with the parameter file as a run
// takes it: one, required. The positional itself takes any number, so that
// a wrong count gets the run's own message.
class OneFileUsage : public WrappedHelp {
  public:
    std::string make_option_usage(const CLI::Option* opt) const override {
        return opt->get_name(true, false);
    }
    std::string make_option_opts(const CLI::Option* opt) const override {
        std::string text = WrappedHelp::make_option_opts(opt);
        const std::string many = " ...";
        if (opt->get_positional() && text.size() >= many.size() &&
            text.compare(text.size() - many.size(), many.size(), many) == 0)
            text.erase(text.size() - many.size());
        return text;
    }
};

}  // namespace

int allowedCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) != 0) return 1;
    const int n = CPU_COUNT(&set);
    return n > 0 ? n : 1;
}

CommandLine parseCommandLine(int argc, char* argv[]) {
    CLI::App app{
        "Estimates the founding history of a derived population (sue) from a parental one "
        "(tha) by rejection sampling: each repeat draws a parameter set from the priors of the "
        "parameter file, simulates every locus, and appends the set to the results file when "
        "its statistics come close to the observed ones.\n\n"
        "Simulation i draws from its own random stream of the seed, so a seed gives the same "
        "rows for every number of threads and every split into shards. Without --seed the run "
        "takes a fresh seed from the operating system and prints it (SEED = S), so that "
        "'--seed S' repeats it byte for byte. --clock-seed instead seeds one generator with the "
        "clock in whole seconds, as earlier versions did (other rows than seeded mode), to "
        "reproduce their results.",
        "foundabc"};
    app.set_version_flag("--version", std::string("foundabc ") + foundabcVersion);
    auto formatter = std::make_shared<OneFileUsage>();
    formatter->column_width(26);
    app.formatter(formatter);

    CommandLine line;
    std::vector<std::string> files;
    app.add_option("PARAMS_FILE", files, "Parameter file of the run")->expected(0, -1);
    bool legacy = false;
    app.add_flag("--legacy-model", legacy,
                 "Simulate the model as the program first computed it (growth-phase intervals "
                 "transformed twice, approximate founder count), to reproduce earlier results");
    std::string seedText;
    auto* seedOption =
        app.add_option("--seed", seedText,
                       "Seed S (0 to 2^64-1); without it the run takes a fresh seed from the "
                       "operating system and prints it")
            ->type_name("S");
    auto* threadsOption = app.add_option("--threads", line.threads,
                                         "Run the simulations on N threads; 0: every core "
                                         "this process may use")
                              ->type_name("N")
                              ->check(CLI::Range(0, 4096));
    std::string shard;
    auto* shardOption = app.add_option("--shard", shard,
                                       "Run only the K-th of M equal parts of the simulations "
                                       "into a shard file beside the results file (needs --seed)")
                            ->type_name("K/M");
    app.add_flag("--merge", line.merge,
                 "Append the rows of the finished shards to the results file, as one seeded "
                 "run would have written them, and remove the shard files");
    auto* tableOption = app.add_option("--table", line.table,
                                       "Also write every simulation's parameters and statistics "
                                       "to this tab-separated reference table (gzip-compressed "
                                       "when the name ends in .gz)")
                            ->type_name("FILE");
    app.add_flag("--clock-seed", line.clockSeed,
                 "Seed one generator with the clock in whole seconds, as earlier versions "
                 "did (two runs started in the same second give the same rows), to "
                 "reproduce earlier results (with --legacy-model bit for bit); not with "
                 "--seed, --threads, --shard or --merge");
    auto* simulateOption =
        app.add_option("--simulate-data", line.simulateData,
                       "Instead of running, simulate one data set at the values of --at with the "
                       "parameter file's samples, loci and founding model, and write it to this "
                       "data file (values shifted so the smallest of a locus is 1)")
            ->type_name("FILE");
    auto* atOption = app.add_option("--at", line.at,
                                    "The values of --simulate-data, as NAME=V joined by "
                                    "commas, for each of My, TimeToOri, PopSizeOriTha, "
                                    "PopSizePreTha, PopSizeOriSue and PopSizePreSue")
                         ->type_name("LIST");
    auto* missingOption =
        app.add_option("--missing", line.missing,
                       "With --simulate-data: mark this share of the values, chosen at random, "
                       "missing (-9); each population keeps a value at every locus")
            ->type_name("P");
    std::string format = "data";
    auto* formatOption =
        app.add_option("--format", format,
                       "With --simulate-data: data (a data file of this program) or genepop (a "
                       "haploid Genepop file with 3-digit codes, sue the first population)")
            ->check(CLI::IsMember({"data", "genepop"}))
            ->type_name("data|genepop");
    auto* sampleOption =
        app.add_option("--from-sample", line.fromSample,
                       "Draw each simulation's parameters from the rows of this sample file "
                       "(foundabc-summary --sample; weight as probability, adjusted values when "
                       "present) instead of from the priors; needs --table, the run's only "
                       "product (no row goes to the results file); give --merge the same sample")
            ->type_name("FILE");
    simulateOption->needs(atOption)
        ->excludes(threadsOption)
        ->excludes(shardOption)
        ->excludes(app.get_option("--merge"))
        ->excludes(tableOption)
        ->excludes(sampleOption)
        ->excludes(app.get_option("--clock-seed"));
    sampleOption->excludes(app.get_option("--clock-seed"));
    atOption->needs(simulateOption);
    missingOption->needs(simulateOption);
    formatOption->needs(simulateOption);
    app.add_flag("--allow-many-mutations", line.allowManyMutations,
                 "Run even when the priors let a branch of a genealogy expect more than 10^6 "
                 "mutations (at their largest rate, time and sizes), which otherwise stops the "
                 "run at its start: such a run may take days per repeat");
    app.add_flag("--check", line.check,
                 "Check the parameter file and its data file without running, and the other "
                 "options as the run would: list every problem found with its line and a "
                 "suggested fix, then \"settings OK\" (exit status 0) or the number of "
                 "problems (exit status 1)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        std::exit(0);
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << '\n';
        std::exit(0);
    } catch (const CLI::ParseError& e) {
        optionError(optionErrorMessage(app, e, argc, argv));
    }
    if (line.merge) {
        // The shards fix the seed, the model and the table; threads and
        // shards have no meaning for a merge. A merge never ignores one.
        std::string unused;
        for (const CLI::Option* option : {seedOption, threadsOption, shardOption, tableOption})
            if (option->count() > 0) unused += (unused.empty() ? "" : ", ") + option->get_name();
        if (legacy) unused += (unused.empty() ? "" : ", ") + std::string("--legacy-model");
        if (!unused.empty())
            optionError("--merge takes the seed, model and table from the shards: " + unused +
                        " cannot be given with it");
    }
    // The first words stay as they were, for scripts that look for them.
    if (files.empty())
        fail(
            "Not enough arguments (infile): give the parameter file, as in foundabc "
            "params.txt\n");
    if (files.size() > 1) {
        std::string names;
        for (const std::string& f : files) names += (names.empty() ? "" : " ") + f;
        fail("Not enough arguments (infile): one parameter file is read, but " +
             std::to_string(files.size()) + " files were given (" + names +
             "); give only the parameter file, which names the data file (DATAFILE_NAME)\n");
    }
    line.infile = files.front();
    line.model = legacy ? ModelVersion::legacy : ModelVersion::current;
    line.seedGiven = seedOption->count() > 0;
    if (line.seedGiven) line.seed = parseSeed(seedText);
    if (line.clockSeed) {
        // The clock seeds one generator whose draws run through the repeats in
        // order: nothing else may choose the seed, and the work cannot be split.
        if (line.seedGiven) optionError("--clock-seed and --seed both choose the seed: give one");
        if (threadsOption->count() > 0)
            optionError(
                "--clock-seed runs on one thread, its draws being one sequence: drop "
                "--threads, or use --seed S");
        if (shardOption->count() > 0)
            optionError(
                "--clock-seed cannot be split into shards, its draws being one "
                "sequence: give every shard the same --seed S");
        if (line.merge) optionError("--merge takes the seed of its shards: drop --clock-seed");
    }
    line.seeded = !line.clockSeed && !line.merge;
    if (shardOption->count() > 0) {
        if (!line.seedGiven)
            optionError("--shard needs --seed: every shard of a run must use the same seed");
        parseShard(shard, line.shardIndex, line.shardCount);
    }
    if (tableOption->count() > 0 && line.table.empty()) optionError("--table needs a file name");
    // A run from a sample writes no results file: without a table it would
    // make nothing.
    if (!line.fromSample.empty() && !line.merge && line.table.empty() && !line.check)
        optionError("--from-sample needs --table: a run from a sample writes its simulations to "
                    "the reference table only, not to the results file");
    line.genepop = format == "genepop";
    if (simulateOption->count() > 0 && line.simulateData.empty())
        optionError("--simulate-data needs a file name");
    if (line.threads == 0) line.threads = allowedCores();
    return line;
}
