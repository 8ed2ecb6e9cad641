// Whole-program runs of the rejection loop seeded by a fixed clock
// (--clock-seed), the draws of earlier versions.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "io/DataFile.h"
#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"

namespace {

const char* kClock = "2024-01-01 00:00:00";

// Small samples and wide priors; tests change single settings.
std::string paramFile(const std::vector<std::pair<std::string, std::string>>& changes = {}) {
    ParamsFileText text;
    text.set("NUMBER_OF_THA_LINES", "6").set("NUMBER_OF_SUE_LINES", "4").set("NUMBER_OF_LOCI", "3");
    text.set("TIME_TO_ORIGIN_UPPER", "500").set("POPSIZE_ORIGIN_THA_UPPER", "1000");
    text.set("POPSIZE_PRESENT_THA_UPPER", "10000").set("POPSIZE_ORIGIN_SUE_UPPER", "100");
    text.set("POPSIZE_PRESENT_SUE_UPPER", "5000").set("REPEATS", "200");
    for (const auto& [key, value] : changes) text.set(key, value);
    return "test run\n" + text.str();
}

const char* kData =
    "sue1 sue2 sue3 sue4 tha1 tha2 tha3 tha4 tha5 tha6\n"
    "12 13 12 14 15 18 12 20 16 14\n"
    "20 21 21 -9 22 25 19 23 18 24\n"
    "8 8 9 8 10 12 9 11 13 10\n";

struct RunOutcome {
    ChildResult result;
    std::string results;  // the results file ("" if absent)
    bool resultsExist;
};

RunOutcome runWith(const TempDir& dir, const std::string& params, const char* clock = kClock) {
    dir.write("params.txt", params);
    dir.write("data.txt", kData);
    RunOutcome run;
    run.result = runFoundabc({"--clock-seed", "params.txt"}, dir.path(), clock);
    run.resultsExist = dir.exists("results.txt");
    run.results = dir.read("results.txt");
    return run;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

const std::string kHeader =
    "Rep#    My             TimeToOri      PopSizeOriTha  PopSizePreTha  PopSizeOriSue  "
    "PopSizePreSue  FracSueMono    DS             ";

// Rows are fixed-width: 8 + 8 x 15 characters.
bool isCompleteRow(const std::string& line) { return line.size() == 128; }

}  // namespace

TEST(RejectionRun, SameClockGivesIdenticalBytesAndAnotherClockDiffers) {
    TempDir a, b, c;
    RunOutcome first = runWith(a, paramFile());
    RunOutcome second = runWith(b, paramFile());
    RunOutcome later = runWith(c, paramFile(), "2024-01-01 00:00:01");
    ASSERT_EQ(first.result.exitStatus, 0) << first.result.out;
    ASSERT_TRUE(first.resultsExist);
    EXPECT_EQ(first.result.out, second.result.out);
    EXPECT_EQ(first.results, second.results);
    EXPECT_NE(first.results, later.results);
}

TEST(RejectionRun, ResultsFileHasHeaderEmptyLineAndRowsNumberedFromOne) {
    TempDir dir;
    RunOutcome run = runWith(dir, paramFile({{"EPSILON", "1000"}, {"REPEATS", "25"}}));
    ASSERT_EQ(run.result.exitStatus, 0) << run.result.out;
    auto rows = lines(run.results);
    ASSERT_EQ(rows.size(), 27u);  // every repeat is accepted
    EXPECT_EQ(rows[0], kHeader);
    EXPECT_EQ(rows[1], "");
    for (int i = 2; i < 27; ++i) {
        EXPECT_TRUE(isCompleteRow(rows[i])) << rows[i];
        EXPECT_EQ(std::stoi(rows[i].substr(0, 8)), i - 1);
    }
}

TEST(RejectionRun, StandardOutputEndsWithTheBannerAndNothingAfterIt) {
    TempDir dir;
    RunOutcome run = runWith(dir, paramFile({{"REPEATS", "20"}}));
    ASSERT_EQ(run.result.exitStatus, 0);
    const std::string tail = "-------------------\n\nRunning... \n\n";
    ASSERT_GE(run.result.out.size(), tail.size());
    EXPECT_EQ(run.result.out.substr(run.result.out.size() - tail.size()), tail);
}

TEST(RejectionRun, TwoRunsAppendTwoHeadersEachWithRowsFromOne) {
    TempDir dir;
    std::string params = paramFile({{"EPSILON", "1000"}, {"REPEATS", "3"}});
    runWith(dir, params);
    RunOutcome second = runWith(dir, params, "2024-01-02 00:00:00");
    auto rows = lines(second.results);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[0], kHeader);
    EXPECT_EQ(rows[5], kHeader);
    EXPECT_EQ(rows[6], "");
    EXPECT_EQ(std::stoi(rows[7].substr(0, 8)), 1);
    EXPECT_EQ(std::stoi(rows[9].substr(0, 8)), 3);
}

TEST(RejectionRun, NothingAcceptedLeavesNoResultsFile) {
    for (const char* setting : {"REPEATS", "EPSILON"}) {
        TempDir dir;
        RunOutcome run = runWith(dir, paramFile({{setting, "0"}}));
        EXPECT_EQ(run.result.exitStatus, 0) << setting;
        EXPECT_FALSE(run.resultsExist) << setting;
    }
}

TEST(RejectionRun, EveryFoundingModelRunsToTheEnd) {
    const std::vector<std::vector<std::pair<std::string, std::string>>> models = {
        {{"CONDITIONAL_NUMBER_OF_ORIGINS", "1"}},
        {{"CONDITIONAL_NUMBER_OF_ORIGINS", "3"}},
        {{"CONDITIONAL_NUMBER_OF_ORIGINS", "2"}, {"UNEQUAL_FOUNDING_FRACTIONS", "0.3"}},
        {{"PRIOR_DISTRIBUTION", "1"},
         {"MY_LOWER", "-4"},
         {"MY_UPPER", "-2"},
         {"TIME_TO_ORIGIN_LOWER", "1"},
         {"TIME_TO_ORIGIN_UPPER", "2.5"},
         {"POPSIZE_ORIGIN_THA_LOWER", "2"},
         {"POPSIZE_ORIGIN_THA_UPPER", "3"},
         {"POPSIZE_PRESENT_THA_LOWER", "3"},
         {"POPSIZE_PRESENT_THA_UPPER", "4"},
         {"POPSIZE_ORIGIN_SUE_LOWER", "1"},
         {"POPSIZE_ORIGIN_SUE_UPPER", "2"},
         {"POPSIZE_PRESENT_SUE_LOWER", "2"},
         {"POPSIZE_PRESENT_SUE_UPPER", "3.5"}},
    };
    for (auto settings : models) {
        settings.push_back({"EPSILON", "1000"});
        settings.push_back({"REPEATS", "30"});
        TempDir dir;
        RunOutcome run = runWith(dir, paramFile(settings));
        EXPECT_EQ(run.result.exitStatus, 0) << run.result.out;
        EXPECT_EQ(lines(run.results).size(), 32u);
    }
}

TEST(RejectionRun, FractionWithoutTwoFoundersEndsBeforeAnyRow) {
    TempDir dir;
    RunOutcome run = runWith(dir, paramFile({{"UNEQUAL_FOUNDING_FRACTIONS", "0.3"},
                                             {"CONDITIONAL_NUMBER_OF_ORIGINS", "1"},
                                             {"EPSILON", "1000"}}));
    EXPECT_EQ(run.result.exitStatus, 1);
    const std::string message = "if fracF2 > 0 conditional_origins must be 2\n";
    ASSERT_GE(run.result.out.size(), message.size());
    EXPECT_EQ(run.result.out.substr(run.result.out.size() - message.size()), message);
    EXPECT_FALSE(run.resultsExist);
}

TEST(RejectionRun, PriorErrorMidRunKeepsEarlierRowsComplete) {
    // The founding size of `tha` may be drawn above the present upper bound;
    // the first repeat that does so ends the run.
    TempDir dir;
    RunOutcome run = runWith(dir, paramFile({{"POPSIZE_ORIGIN_THA_UPPER", "4100"},
                                             {"POPSIZE_PRESENT_THA_UPPER", "4000"},
                                             {"REPEATS", "100000"},
                                             {"EPSILON", "1000"}}));
    EXPECT_EQ(run.result.exitStatus, 1);
    const std::string message =
        "error: parameters: popsize_present_tha_upper <= popsize_present_tha_lower\n";
    ASSERT_GE(run.result.out.size(), message.size());
    EXPECT_EQ(run.result.out.substr(run.result.out.size() - message.size()), message);
    auto rows = lines(run.results);
    ASSERT_GE(rows.size(), 3u) << "the clock should give at least one accepted row first";
    EXPECT_EQ(rows[0], kHeader);
    for (size_t i = 2; i < rows.size(); ++i) EXPECT_TRUE(isCompleteRow(rows[i])) << rows[i];
    EXPECT_EQ(run.results.back(), '\n');
}

TEST(RejectionRun, OneSueLineCompletesWithoutAcceptingAnything) {
    TempDir dir;
    dir.write("data.txt", "h\n12 15 18 12 20 16 14\n");
    std::string params = paramFile({{"NUMBER_OF_SUE_LINES", "1"},
                                    {"NUMBER_OF_LOCI", "1"},
                                    {"EPSILON", "1000"},
                                    {"REPEATS", "20"}});
    dir.write("params.txt", params);
    ChildResult result = runFoundabc({"params.txt"}, dir.path());
    EXPECT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_FALSE(dir.exists("results.txt"));
}

// Pseudo-observed data at the bottleneck set of the coalescent reference
// values (ALPHA 1, T 50, sue 5 -> 5000, tha 2000 -> 2e6, mu 0.00487): the mean
// over 5000 loci of S per locus is E|D| within three standard errors; the file
// reads back as a data file of positive repeat counts, each locus from 1.
TEST(PseudoData, BottleneckDataMatchTheoryAndAreRepeatCounts) {
    TempDir dir;
    dir.write("params.txt", ParamsFileText()
                                .set("NUMBER_OF_SUE_LINES", "10")
                                .set("NUMBER_OF_THA_LINES", "10")
                                .set("NUMBER_OF_LOCI", "5000")
                                .set("ALPHA", "1")
                                .str());
    const ChildResult run =
        runFoundabc({"--simulate-data", "pod.txt", "--seed", "11", "--at",
                     "My=0.00487,TimeToOri=50,PopSizeOriTha=2000,PopSizePreTha=2e6,PopSizeOriSue=5,"
                     "PopSizePreSue=5000",
                     "params.txt"},
                    dir.path());
    ASSERT_EQ(run.exitStatus, 0) << run.out;
    EXPECT_NE(run.out.find("\nSEED = 11\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nPopSizeOriSue = 5\n"), std::string::npos) << run.out;
    DataFileScan scan = scanDataFile(dir.file("pod.txt").c_str(), 5000, 20, true);
    ASSERT_TRUE(scan.faults.empty()) << scan.faults.front().message;
    const double expected[] = {0.99229, 3.14802};  // sue, tha
    for (int pop = 0; pop < 2; ++pop) {
        double sum = 0, sumSq = 0;
        for (const std::vector<int32_t>& locus : scan.matrix) {
            double s = 0;
            for (int j = 10 * pop; j < 10 * pop + 10; ++j)
                for (int k = j + 1; k < 10 * pop + 10; ++k) s += std::abs(locus[j] - locus[k]);
            s /= 45;
            sum += s, sumSq += s * s;
        }
        const double mean = sum / 5000, se = std::sqrt((sumSq / 5000 - mean * mean) / 4999);
        EXPECT_LT(std::fabs(mean - expected[pop]), 3 * se) << pop << ": " << mean << " se " << se;
    }
    for (const std::vector<int32_t>& locus : scan.matrix)
        ASSERT_EQ(*std::min_element(locus.begin(), locus.end()), 1);
}

// The same seed gives the same file; --missing marks exactly the share asked
// for and leaves every other value as it was.
TEST(PseudoData, SeedRepeatsTheDataAndMissingOnlyHidesValues) {
    TempDir dir;
    dir.write("params.txt", ParamsFileText().set("NUMBER_OF_LOCI", "40").str());
    const std::string at =
        "My=0.01,TimeToOri=50,PopSizeOriTha=150,PopSizePreTha=1500,PopSizeOriSue=15,"
        "PopSizePreSue=150";
    auto simulate = [&](const std::string& out, const std::string& missing) {
        const ChildResult r = runFoundabc(
            {"--simulate-data", out, "--at", at, "--seed", "3", "--missing", missing, "params.txt"},
            dir.path());
        EXPECT_EQ(r.exitStatus, 0) << r.out;
        return dir.read(out);
    };
    const std::string full = simulate("a.txt", "0"), again = simulate("b.txt", "0");
    const std::string holed = simulate("c.txt", "0.25");
    EXPECT_EQ(full, again);
    std::istringstream a(full.substr(full.find('\n'))), c(holed.substr(holed.find('\n')));
    int missing = 0, values = 0;
    for (std::string x, y; a >> x && c >> y; ++values) {
        if (y == "-9")
            ++missing;
        else
            EXPECT_EQ(x, y);
    }
    EXPECT_EQ(values, 40 * 5);
    EXPECT_EQ(missing, 50);

    // Blanks around names and values change nothing.
    ASSERT_EQ(runFoundabc({"--simulate-data", "d.txt", "--at",
                           " My= 0.01 ,TimeToOri =50,PopSizeOriTha=150\t,PopSizePreTha=1500,"
                           "PopSizeOriSue=15,PopSizePreSue=150 ",
                           "--seed", "3", "params.txt"},
                          dir.path())
                  .exitStatus,
              0);
    EXPECT_EQ(dir.read("d.txt"), full);

    // The largest share allowed leaves each population one value per locus.
    std::istringstream most(simulate("e.txt", "0.6"));
    std::string line;
    std::getline(most, line);
    int loci = 0;
    for (; std::getline(most, line); ++loci) {
        std::istringstream values(line);
        std::vector<std::string> v((std::istream_iterator<std::string>(values)),
                                   std::istream_iterator<std::string>());
        ASSERT_EQ(v.size(), 5u);
        EXPECT_EQ((v[0] != "-9") + (v[1] != "-9"), 1) << line;  // 2 sue lines
        EXPECT_EQ((v[2] != "-9") + (v[3] != "-9") + (v[4] != "-9"), 1) << line;
    }
    EXPECT_EQ(loci, 40);

    // With the GSM keys the data set's P is drawn from their range and shown;
    // equal bounds fix it. The jumps change the data, one seed repeats them.
    dir.write("gsm.txt", ParamsFileText()
                             .set("NUMBER_OF_LOCI", "40")
                             .set("GSM_P_LOWER", "0.3")
                             .set("GSM_P_UPPER", "0.3")
                             .str());
    for (const char* out : {"g1.txt", "g2.txt"}) {
        const ChildResult r =
            runFoundabc({"--simulate-data", out, "--at", at, "--seed", "3", "gsm.txt"}, dir.path());
        ASSERT_EQ(r.exitStatus, 0) << r.out;
        EXPECT_NE(r.out.find("\nPopSizePreSue = 150\nGsmP = 0.3 (drawn from GSM_P_LOWER to "
                             "GSM_P_UPPER)\nmissing values: 0 of 200\n"),
                  std::string::npos)
            << r.out;
    }
    EXPECT_EQ(dir.read("g1.txt"), dir.read("g2.txt"));
    EXPECT_NE(dir.read("g1.txt"), full);
}

TEST(PseudoData, RefusesBadValuesAndOutputsAndLeavesNoFile) {
    const std::string good =
        "My=0.01,TimeToOri=50,PopSizeOriTha=150,PopSizePreTha=1500,PopSizeOriSue=15,"
        "PopSizePreSue=150";
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"--at", "My=0.01"}, "missing TimeToOri, PopSizeOriTha"},
        {{"--at", "Myy=0.01," + good}, "unknown parameter 'Myy'; did you mean My?"},
        {{"--at", "popsizeorisu=5," + good}, "did you mean PopSizeOriSue?"},
        {{"--at", good + ",My=0.02"}, "My is given twice"},
        {{"--at", "My=abc" + good.substr(7)}, "My=abc: the value is not a number"},
        {{"--at", "My=nan" + good.substr(7)}, "My = nan is not a finite number"},
        {{"--at", "My=-1" + good.substr(7)}, "My = -1 is not positive"},
        {{
             "--at",
             good + ",",
         },
         "'' is not NAME=VALUE"},
        {{"--at", good.substr(0, good.size() - 3) + "15"},
         "PopSizeOriSue = 15 is not below PopSizePreSue = 15"},
        {{"--at", good, "--missing", "1"}, "--missing wants a share"},
        {{"--at", good, "--missing", "0.999999"},
         "foundabc: --missing 0.999999 marks 10 of the 10 values, leaving a population without a "
         "value at a locus; each population keeps one per locus, so at most 6 can be missing"},
        {{"--at", "My=1e-400" + good.substr(7)}, "My=1e-400: the value is too small for a double"},
        {{"--at", "My=1e999" + good.substr(7)}, "My=1e999: the value is too large for a double"},
        {{"--at", good, "--threads", "2"}, "foundabc: "},
    };
    const std::vector<std::pair<std::string, std::string>> outputs = {
        {"params.txt", "is the parameter file"},
        {"./data.txt", "is the data file of the parameter file"},
        {"results.txt", "is the results file"},
        {"no/such/pod.txt", "error: simulate-data: cannot write no/such/pod.txt"}};
    auto check = [](const std::vector<std::string>& args, const std::string& message) {
        TempDir dir;
        dir.write("params.txt", ParamsFileText().str());
        dir.write("data.txt", "h\n1 2 3 4 5\n");
        dir.write("results.txt", "");
        std::vector<std::string> argv = args;
        argv.push_back("params.txt");
        const ChildResult r = runFoundabc(argv, dir.path());
        EXPECT_EQ(r.exitStatus, 1) << args[1];
        EXPECT_NE(r.out.find(message), std::string::npos) << args[1] << ": " << r.out;
        EXPECT_EQ(dir.read("data.txt"), "h\n1 2 3 4 5\n");
        DIR* d = opendir(dir.path().c_str());
        int entries = 0;
        while (readdir(d) != nullptr) ++entries;
        closedir(d);
        EXPECT_EQ(entries, 5) << "a stray file after " << args[1];  // ., .., the three
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--simulate-data", "pod.txt"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        check(args, c.message);
    }
    for (const auto& [out, message] : outputs)
        check({"--simulate-data", out, "--at", good}, message);

    // No locus: a Genepop file of none would not read back.
    TempDir dir;
    dir.write("params.txt", ParamsFileText().set("NUMBER_OF_LOCI", "0").str());
    const ChildResult r = runFoundabc(
        {"--simulate-data", "pod.gen", "--format", "genepop", "--at", good, "params.txt"},
        dir.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.out.find("foundabc: --format genepop: the parameter file has no locus "
                         "(NUMBER_OF_LOCI 0)"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(dir.exists("pod.gen"));
}

// The pseudo-observed data written over what the name holds: a link's file
// is replaced and the link kept; a FIFO or device is written through and kept;
// a directory or a link to nothing is refused and kept. No temporary stays.
TEST(PseudoData, AnOutputNameKeepsWhatItIs) {
    const std::string at =
        "My=0.01,TimeToOri=50,PopSizeOriTha=150,PopSizePreTha=1500,PopSizeOriSue=15,"
        "PopSizePreSue=150";
    namespace fs = std::filesystem;
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> setUp;  // makes pod.txt
        std::string message;                        // "": written
        fs::file_type kept;                         // what pod.txt is after
    };
    const Case cases[] = {
        {"link to a file",
         [](const TempDir& d) {
             d.write("real.txt", "old");
             symlink("real.txt", d.file("pod.txt").c_str());
         },
         "", fs::file_type::symlink},
        {"link to /dev/null",
         [](const TempDir& d) { symlink("/dev/null", d.file("pod.txt").c_str()); }, "",
         fs::file_type::symlink},
        {"directory", [](const TempDir& d) { fs::create_directory(d.file("pod.txt")); },
         "error: simulate-data: cannot write pod.txt (it is a directory, not a file)",
         fs::file_type::directory},
        {"dangling link", [](const TempDir& d) { symlink("gone", d.file("pod.txt").c_str()); },
         "(it is a symbolic link to 'gone', which does not exist)", fs::file_type::symlink},
        {"FIFO", [](const TempDir& d) { mkfifo(d.file("pod.txt").c_str(), 0600); }, "",
         fs::file_type::fifo},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write("params.txt", ParamsFileText().str());
        dir.write("data.txt", "h\n1 2 3 4 5\n");
        c.setUp(dir);
        std::string received;
        std::thread reader;
        std::atomic<bool> finished{false};
        // The FIFO's reader is there before the program starts (the program
        // refuses a FIFO that no program reads): opened without blocking
        // here, then read by a thread until the program has ended and the
        // pipe is empty.
        const int fifo = fs::is_fifo(dir.file("pod.txt"))
                             ? open(dir.file("pod.txt").c_str(), O_RDONLY | O_NONBLOCK)
                             : -1;
        if (fifo >= 0)
            reader = std::thread([&] {
                char buffer[4096];
                for (;;) {
                    const bool last = finished.load();
                    const ssize_t n = read(fifo, buffer, sizeof buffer);
                    if (n > 0) {
                        received.append(buffer, static_cast<std::size_t>(n));
                        continue;
                    }
                    if (last) break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            });
        const ChildResult r = runFoundabc(
            {"--simulate-data", "pod.txt", "--at", at, "--seed", "3", "params.txt"}, dir.path());
        finished = true;
        if (reader.joinable()) reader.join();
        if (fifo >= 0) close(fifo);
        EXPECT_EQ(r.exitStatus, c.message.empty() ? 0 : 1) << c.what << ": " << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_EQ(fs::symlink_status(dir.file("pod.txt")).type(), c.kept) << c.what;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            EXPECT_NE(entry.path().filename().string()[0], '.') << c.what;
        const std::string written = std::string(c.what) == "FIFO" ? received : dir.read("real.txt");
        if (std::string(c.what) == "FIFO" || std::string(c.what) == "link to a file") {
            EXPECT_EQ(written.rfind("pseudo-observed data", 0), 0u) << c.what;
        }
    }
}

// A run ended by SIGTERM or SIGHUP while its file is unfinished leaves no
// temporary file (the signal is sent as the file is about to be synced).
TEST(PseudoData, ASignalLeavesNoTemporaryFile) {
    if (runProgram({"strace", "-o", "/dev/null", "true"}).exitStatus != 0)
        GTEST_SKIP() << "strace cannot run here";
    const std::string at =
        "My=0.01,TimeToOri=50,PopSizeOriTha=150,PopSizePreTha=1500,PopSizeOriSue=15,"
        "PopSizePreSue=150";
    for (const char* sig : {"TERM", "HUP"}) {
        TempDir dir;
        dir.write("params.txt", ParamsFileText().str());
        dir.write("data.txt", "h\n1 2 3 4 5\n");
        const ChildResult r = runProgram(
            {"env", "ASAN_OPTIONS=detect_leaks=0", "strace", "-o", "/dev/null", "-e", "trace=fsync",
             "-e", std::string("inject=fsync:signal=") + sig, FOUNDABC_BIN, "--simulate-data",
             "pod.txt", "--at", at, "--seed", "3", "params.txt"},
            dir.path());
        EXPECT_NE(r.exitStatus, 0) << sig;
        int entries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            EXPECT_NE(entry.path().filename().string()[0], '.') << sig;
            ++entries;
        }
        EXPECT_EQ(entries, 2) << sig;  // params.txt and data.txt
    }
}
