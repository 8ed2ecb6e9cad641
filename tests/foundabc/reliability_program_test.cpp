// Whole-program runs under faults (results file that cannot be written, a run
// killed part-way) and under extreme settings: each run either does what its
// settings ask or stops with a clear message, and never loses a written row.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"

namespace {

const char* kData =
    "sue1 sue2 tha1 tha2 tha3\n"
    "10 12 11 13 9\n"
    "20 20 21 19 22\n";

const std::string kHeader =
    "Rep#    My             TimeToOri      PopSizeOriTha  PopSizePreTha  PopSizeOriSue  "
    "PopSizePreSue  FracSueMono    DS             \n\n";

// Every repeat is accepted: the threshold is far above any distance.
ParamsFileText acceptAll() { return ParamsFileText().set("EPSILON", "1e6").set("REPEATS", "50"); }

// Runs the program (with a time limit, so that a hang fails the test rather
// than stalling it) in `dir`, after `wrapper` (e.g. a resource limit).
ChildResult runLimited(const TempDir& dir, const ParamsFileText& params,
                       std::vector<std::string> wrapper = {}, const char* data = kData) {
    dir.write("params.txt", params.str());
    dir.write("data.txt", data);
    std::vector<std::string> argv = {"timeout", "60"};
    argv.insert(argv.end(), wrapper.begin(), wrapper.end());
    argv.insert(argv.end(), {FOUNDABC_BIN, "params.txt"});
    return runProgram(argv, dir.path());
}

// As runLimited, with `options` before the parameter file.
ChildResult runWith(const TempDir& dir, const ParamsFileText& params,
                    const std::vector<std::string>& options,
                    std::vector<std::string> wrapper = {}) {
    dir.write("params.txt", params.str());
    if (!dir.exists("data.txt")) dir.write("data.txt", kData);
    std::vector<std::string> argv = {"timeout", "60"};
    argv.insert(argv.end(), wrapper.begin(), wrapper.end());
    argv.push_back(FOUNDABC_BIN);
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back("params.txt");
    return runProgram(argv, dir.path());
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Number of rows when `text` is a header, an empty line and complete rows
// numbered from 1 (or nothing at all); -1 otherwise.
int completeRows(const std::string& text) {
    if (text.empty()) return 0;
    if (text.compare(0, kHeader.size(), kHeader) != 0) return -1;
    std::istringstream in(text.substr(kHeader.size()));
    int numbRows = 0;
    for (std::string line; std::getline(in, line);) {
        // Fixed width: 8 + 8 x 15 characters, starting with the row number.
        if (line.size() != 128 || std::stoi(line.substr(0, 8)) != numbRows + 1) return -1;
        ++numbRows;
    }
    return text.back() == '\n' ? numbRows : -1;
}

// Whether `piece` is row `number` as a run with acceptAll() writes it, with
// its line end, or a start of that row: the number exactly, then in each
// column a character of the kind its format puts there (the values of these
// settings are positive, with two-digit exponents).
bool startsRow(const std::string& piece, int number) {
    std::string pattern = std::to_string(number);
    pattern.resize(8, ' ');
    for (int column = 0; column < 8; ++column)
        pattern += column == 6 ? "D.DDDDD        " : "D.DDeSDD       ";
    pattern += '\n';
    if (piece.size() > pattern.size()) return false;
    for (std::size_t i = 0; i < piece.size(); ++i) {
        const char c = piece[i];
        const bool fits = pattern[i] == 'D'   ? c >= '0' && c <= '9'
                          : pattern[i] == 'S' ? c == '+' || c == '-'
                                              : c == pattern[i];
        if (!fits) return false;
    }
    return true;
}

// Number of complete rows when `text` is what a run with acceptAll() leaves
// if it is killed at any moment: the header, the empty line and rows numbered
// from 1, of which every one but the last is complete, and the last is
// complete or a start of a row without its line end (header and first row are
// written together, so the cut may fall in the header too); -1 otherwise.
int rowsLeftByKill(const std::string& text) {
    if (text.size() <= kHeader.size()) return kHeader.compare(0, text.size(), text) == 0 ? 0 : -1;
    if (text.compare(0, kHeader.size(), kHeader) != 0) return -1;
    int numbRows = 0;
    for (std::size_t begin = kHeader.size(); begin < text.size();) {
        const std::size_t end = text.find('\n', begin);
        const bool complete = end != std::string::npos;
        const std::string piece =
            text.substr(begin, complete ? end + 1 - begin : std::string::npos);
        if (!startsRow(piece, numbRows + 1) || (complete && piece.size() != 129)) return -1;
        if (!complete) break;
        ++numbRows;
        begin = end + 1;
    }
    return numbRows;
}

}  // namespace

TEST(ProgramFaults, KillCheckAcceptsOnlyCompleteRowsAndOneCutLastRow) {
    const std::string row1 =
        "1       4.78e-04       2.42e+01       1.91e+02       1.84e+03       1.38e+01       "
        "7.59e+05       0.50000        6.67e+00       \n";
    std::string row2 = row1;
    row2[0] = '2';
    const std::string cut89 = row2.substr(0, 89);
    struct Case {
        std::string text;
        int rows;
    };
    const Case cases[] = {
        {"", 0},
        {kHeader.substr(0, 30), 0},
        {kHeader, 0},
        {kHeader + row1.substr(0, 1), 0},
        {kHeader + row1, 1},
        {kHeader + row1 + cut89, 1},
        {kHeader + row1 + row2.substr(0, 128), 1},  // all but the line end
        {kHeader + row1 + row2, 2},
        {"x" + kHeader + row1, -1},
        {kHeader + row2, -1},                             // numbered from 2
        {kHeader + cut89 + "\n" + row1, -1},              // a cut row that is not the last
        {kHeader + row1 + row1.substr(0, 40), -1},        // numbered 1 again
        {kHeader + row1 + row2.substr(0, 30) + "?", -1},  // no row has that character there
    };
    for (const Case& c : cases) EXPECT_EQ(rowsLeftByKill(c.text), c.rows) << c.text;
}

TEST(ProgramFaults, ResultsFileThatCannotBeOpenedOrWrittenEndsTheRun) {
    struct Case {
        const char* outfile;
        const char* epsilon;  // "0" accepts nothing: the file is checked before the repeats
        const char* message;
    };
    const Case cases[] = {
        {".", "1e6", "Error opening outfile\n"},           // a folder
        {"data.txt/x", "1e6", "Error opening outfile\n"},  // a path through a regular file
        {"/dev/full", "1e6", "error: printOutfile: cannot write /dev/full\n"},
        {".", "0", "Error opening outfile\n"},
        {"data.txt/x", "0", "Error opening outfile\n"},
        {"missing/results.txt", "0", "Error opening outfile\n"},
        {"", "0", "Error opening outfile\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        ChildResult r =
            runLimited(dir, acceptAll().set("OUTFILE_NAME", c.outfile).set("EPSILON", c.epsilon));
        EXPECT_EQ(r.exitStatus, 1) << c.outfile;
        EXPECT_TRUE(endsWith(r.out, std::string("Running... \n\n") + c.message))
            << c.outfile << ": " << r.out;
        EXPECT_EQ(dir.read("data.txt"), kData) << c.outfile;
    }
}

TEST(ProgramFaults, ResultsFileOnlyRootCouldWriteIsFoundBeforeTheFirstRepeat) {
    // As root, the run is started as an ordinary user, for whom permissions hold.
    std::vector<std::string> asUser;
    if (geteuid() == 0)
        asUser = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    struct Case {
        bool fileExists;
        mode_t fileMode, folderMode;
        const char* message;  // nullptr: the run ends normally
    };
    const Case cases[] = {
        {true, 0444, 0755, "Error opening outfile\n"},  // a read-only file
        {false, 0, 0555, "Error opening outfile\n"},    // a folder that takes no new file
        {true, 0666, 0555, nullptr},                    // the file itself is writable
        {false, 0, 0777, nullptr},
    };
    for (const Case& c : cases) {
        TempDir dir;
        if (c.fileExists) {
            dir.write("results.txt", "");
            ASSERT_EQ(chmod(dir.file("results.txt").c_str(), c.fileMode), 0);
        }
        ASSERT_EQ(chmod(dir.path().c_str(), c.folderMode), 0);
        // Nothing is accepted, so only the check can fail.
        ChildResult r = runLimited(dir, acceptAll().set("EPSILON", "0"), asUser);
        const std::string label = std::to_string(c.fileMode) + "/" + std::to_string(c.folderMode);
        EXPECT_EQ(r.exitStatus, c.message ? 1 : 0) << label << r.out;
        EXPECT_TRUE(endsWith(r.out, std::string("Running... \n\n") + (c.message ? c.message : "")))
            << label << ": " << r.out;
        EXPECT_EQ(dir.exists("results.txt"), c.fileExists) << label;
        chmod(dir.path().c_str(), 0700);
    }
}

TEST(ProgramFaults, AWriteThatFailsMidRunKeepsEarlierRowsComplete) {
    TempDir dir;
    // Room for the header and two rows and part of a third: the file-size
    // limit makes the third write fail part-way, as a full disk would.
    const std::size_t limit = kHeader.size() + 2 * 129 + 60;
    ChildResult r = runLimited(dir, acceptAll(), {"prlimit", "--fsize=" + std::to_string(limit)});
    EXPECT_EQ(r.exitStatus, 1) << r.out;
    EXPECT_TRUE(endsWith(r.out, "error: printOutfile: cannot write results.txt\n")) << r.out;
    EXPECT_EQ(completeRows(dir.read("results.txt")), 2);
}

TEST(ProgramFaults, RunKilledAtAnyMomentCutsAtMostItsLastRow) {
    // Kill moments spread over the run, from before the first row to well
    // into it (every repeat writes a row); the last ones are counted from the
    // first row, so that some kills surely come while rows are written
    // however slow the machine.
    struct Moment {
        int delayMs;
        bool fromFirstRow;
    };
    const Moment moments[] = {{1, false},   {3, false},  {6, false},  {10, false},
                              {17, false},  {25, false}, {40, false}, {65, false},
                              {100, false}, {0, true},   {2, true},   {9, true}};
    int mostRows = 0;
    for (const Moment& m : moments) {
        TempDir dir;
        dir.write("params.txt", acceptAll().set("REPEATS", "100000000").str());
        dir.write("data.txt", kData);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (chdir(dir.path().c_str()) != 0) _exit(127);
            const int devNull = open("/dev/null", O_WRONLY);
            dup2(devNull, 1);
            dup2(devNull, 2);
            execl(FOUNDABC_BIN, FOUNDABC_BIN, "params.txt", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (m.fromFirstRow)
            for (int i = 0; i < 20000 && !dir.exists("results.txt"); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(m.delayMs));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it was killed";
        // A kill during a write may cut the row being written, but no other.
        const std::string results = dir.read("results.txt");
        const int numbRows = rowsLeftByKill(results);
        EXPECT_GE(numbRows, 0) << "killed after " << m.delayMs << " ms:\n" << results;
        mostRows = std::max(mostRows, numbRows);
    }
    EXPECT_GT(mostRows, 0) << "no kill came while rows were written";
}

TEST(ProgramFaults, RunAfterACutRowStartsOnAFreshLineAndKeepsTheCutBytes) {
    TempDir dir;
    const std::string cut = kHeader + "1       4.78e-04       2.42e+01       5.49e+";
    dir.write("results.txt", cut);
    ChildResult r = runLimited(dir, acceptAll().set("REPEATS", "3"));
    EXPECT_EQ(r.exitStatus, 0) << r.out;
    const std::string results = dir.read("results.txt");
    ASSERT_EQ(results.compare(0, cut.size() + 1, cut + "\n"), 0) << results;
    EXPECT_EQ(completeRows(results.substr(cut.size() + 1)), 3) << results;
}

TEST(ProgramFaults, RunStopsBeforeItsFirstRowWhileAnotherRunHoldsTheResultsFile) {
    TempDir dir;
    const std::string earlier = kHeader + "1       4.78e-04       2.42e+01";
    dir.write("results.txt", earlier);
    // This process stands in for a live run: it holds the lock a run takes.
    const int held = open(dir.file("results.txt").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    ChildResult r = runLimited(dir, acceptAll());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(endsWith(r.out,
                         "Running... \n\nerror: results file results.txt is being written by "
                         "another run; give each run its own OUTFILE_NAME\n"))
        << r.out;
    EXPECT_EQ(dir.read("results.txt"), earlier);
    close(held);
    // Released, the file takes the next run's rows on a fresh line.
    EXPECT_EQ(runLimited(dir, acceptAll()).exitStatus, 0);
    EXPECT_EQ(completeRows(dir.read("results.txt").substr(earlier.size() + 1)), 50);
}

TEST(ProgramFaults, RunsSharingAResultsFileNeitherLoseNorMixRows) {
    // Two runs started together on one results file, one of them under a
    // file-size limit that makes its writes fail part-way: the limited run's
    // take-back must never cut the other run's rows, and the rows of the two
    // must never be interleaved. The run that finds the file held stops
    // before it writes a row.
    const int kRepeats = 400;  // 51 kB of rows: beyond the limit
    const std::string busy =
        "error: results file results.txt is being written by another run; give each run its "
        "own OUTFILE_NAME\n";
    for (int trial = 0; trial < 4; ++trial) {
        TempDir dir;
        const ParamsFileText params = acceptAll().set("REPEATS", std::to_string(kRepeats));
        dir.write("params.txt", params.str());
        dir.write("data.txt", kData);
        auto start = [&](std::vector<std::string> wrapper) {
            return std::async(std::launch::async, [&dir, wrapper] {
                std::vector<std::string> argv = {"timeout", "60"};
                argv.insert(argv.end(), wrapper.begin(), wrapper.end());
                argv.insert(argv.end(), {FOUNDABC_BIN, "params.txt"});
                return runProgram(argv, dir.path());
            });
        };
        auto limitedRun = start({"prlimit", "--fsize=30000"});
        auto freeRun = start({});
        const ChildResult limited = limitedRun.get();
        const ChildResult free = freeRun.get();

        // The file is a sequence of whole tables, each numbered from 1.
        const std::string results = dir.read("results.txt");
        std::vector<int> tables;
        for (std::size_t begin = 0; begin < results.size();) {
            std::size_t next = results.find(kHeader, begin + 1);
            if (next == std::string::npos) next = results.size();
            tables.push_back(completeRows(results.substr(begin, next - begin)));
            ASSERT_GT(tables.back(), 0) << "trial " << trial << ":\n" << results;
            begin = next;
        }
        // The free run wrote all its rows or none, stopped by the other run.
        if (free.exitStatus == 0) {
            EXPECT_EQ(std::count(tables.begin(), tables.end(), kRepeats), 1) << trial;
        } else {
            EXPECT_TRUE(endsWith(free.out, busy)) << free.out;
        }
        EXPECT_TRUE(endsWith(limited.out, busy) ||
                    endsWith(limited.out, "error: printOutfile: cannot write results.txt\n"))
            << limited.out;
        EXPECT_EQ(limited.exitStatus, 1);
        // A stopped run left no table; the limited one may have found no room.
        EXPECT_LE(tables.size(), 2u);
        if (endsWith(limited.out, busy)) {
            EXPECT_EQ(tables.size(), 1u) << trial;
        }
    }
}

TEST(ProgramEdges, ExtremeButValidSettingsRunToTheEnd) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> changes;
        int repeats;
    };
    const std::vector<Case> cases = {
        {{{"ALPHA", "5"}}, 50},  // the founding falls inside the growth phase
        {{{"ALPHA", "1e300"}}, 50},
        {{{"ALPHA", "1e-300"}}, 50},
        {{{"TIME_TO_ORIGIN_LOWER", "1e-9"}, {"TIME_TO_ORIGIN_UPPER", "1e-6"}}, 50},
        {{{"TIME_TO_ORIGIN_LOWER", "0"}, {"TIME_TO_ORIGIN_UPPER", "1e-300"}}, 50},
        // Far more founders than lines: costs no more than a few founders.
        {{{"CONDITIONAL_NUMBER_OF_ORIGINS", "2000000000"}}, 200},
        {{{"UNEQUAL_FOUNDING_FRACTIONS", "1e-300"}, {"CONDITIONAL_NUMBER_OF_ORIGINS", "2"}}, 50},
    };
    for (const Case& c : cases) {
        ParamsFileText params = acceptAll().set("REPEATS", std::to_string(c.repeats));
        std::string label;
        for (const auto& [key, value] : c.changes) {
            params.set(key, value);
            label += std::string(key) + "=" + value + " ";
        }
        TempDir dir;
        ChildResult r = runLimited(dir, params);
        EXPECT_EQ(r.exitStatus, 0) << label << r.out;
        EXPECT_TRUE(endsWith(r.out, "Running... \n\n")) << label;
        // Every distance is finite and far below the threshold.
        EXPECT_EQ(completeRows(dir.read("results.txt")), c.repeats) << label;
    }
}

TEST(ProgramEdges, EqualPriorBoundsStopAtTheFirstDraw) {
    const char* ranges[] = {"MY",
                            "TIME_TO_ORIGIN",
                            "POPSIZE_ORIGIN_THA",
                            "POPSIZE_PRESENT_THA",
                            "POPSIZE_ORIGIN_SUE",
                            "POPSIZE_PRESENT_SUE"};
    for (const char* range : ranges) {
        const std::string key = range;
        ParamsFileText params = acceptAll().set(key + "_LOWER", "3000").set(key + "_UPPER", "3000");
        std::string field = key;
        for (char& c : field) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        TempDir dir;
        // A rate of 3000 expects more mutations per branch than the run
        // takes without --allow-many-mutations.
        ChildResult r = runWith(dir, params, {"--allow-many-mutations"});
        EXPECT_EQ(r.exitStatus, 1) << key;
        EXPECT_TRUE(
            endsWith(r.out, "error: parameters: " + field + "_upper <= " + field + "_lower\n"))
            << key << ": " << r.out;
        EXPECT_FALSE(dir.exists("results.txt")) << key;
    }
}

// The mutation keys are judged before anything is written: a bound alone, a
// range out of order, and any of them under the legacy model, whose strict
// model must not ignore them silently.
TEST(ProgramEdges, MutationKeysThatCannotBeUsedStopBeforeAnyRow) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> keys;
        std::vector<std::string> options;
        std::string message;  // "": the run goes through
    };
    const std::string head = "error: parameters: ";
    const Case cases[] = {
        {{{"GSM_P_LOWER", "0.1"}},
         {},
         head + "GSM_P_LOWER is given without GSM_P_UPPER: give both bounds of the prior of "
                "GsmP, or neither\n"},
        {{{"GSM_P_LOWER", "0.2"}, {"GSM_P_UPPER", "0.1"}},
         {"--seed", "1"},
         head + "GSM_P_UPPER < GSM_P_LOWER\n"},
        {{{"LOCUS_RATE_SHAPE", "1"}},
         {"--legacy-model"},
         head + "--legacy-model keeps the strict stepwise model with one rate for all loci; "
                "remove GSM_P_LOWER, GSM_P_UPPER and LOCUS_RATE_SHAPE from the parameter file, "
                "or run without --legacy-model\n"},
        {{{"GSM_P_LOWER", "0.1"}, {"GSM_P_UPPER", "0.1"}, {"LOCUS_RATE_SHAPE", "1"}},
         {"--seed", "1"},
         ""},
    };
    for (const Case& c : cases) {
        ParamsFileText params = acceptAll();
        for (const auto& [key, value] : c.keys) params.set(key, value);
        TempDir dir;
        ChildResult r = runWith(dir, params, c.options);
        EXPECT_EQ(r.exitStatus, c.message.empty() ? 0 : 1) << r.out;
        if (c.message.empty()) {
            EXPECT_NE(dir.read("results.txt").find("0.10000        \n"), std::string::npos);
        } else {
            EXPECT_TRUE(endsWith(r.out, c.message)) << r.out;
            EXPECT_FALSE(dir.exists("results.txt"));
        }
    }
}

TEST(ProgramEdges, HugeCountsWithAShortDataFileEndWithTheCountMessage) {
    struct Case {
        const char* key;
        const char* value;
        const char* message;
    };
    const Case cases[] = {
        {"NUMBER_OF_LOCI", "2000000000",
         "error: readDataFile: 0 values (of 5) read for loci# 3.\n"},
        {"NUMBER_OF_THA_LINES", "1000000000",
         "error: readDataFile: 5 values (of 1000000002) read for loci# 1.\n"},
        {"NUMBER_OF_SUE_LINES", "2147483640",
         "error: readDataFile: 5 values (of 2147483643) read for loci# 1.\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::vector<std::string> wrapper;
#if !defined(__SANITIZE_ADDRESS__)
        // Memory for the counts asked for is never taken, only for what the
        // file holds (the sanitizer runtime itself needs a larger space).
        wrapper = {"prlimit", "--as=1000000000"};
#endif
        ChildResult r = runLimited(dir, acceptAll().set(c.key, c.value), wrapper);
        EXPECT_EQ(r.exitStatus, 1) << c.key;
        EXPECT_TRUE(endsWith(r.out, c.message)) << c.key << ": " << r.out;
    }
}

TEST(ProgramEdges, MutationCountBeyondRangeStopsWithAMessage) {
    // Past the limit of 10^6 expected mutations per branch the run stops at
    // its start; --allow-many-mutations lets it go on to the repeat that
    // draws more than a branch can hold.
    struct Case {
        const char* upper;
        std::vector<std::string> options;
        std::string ending;
    };
    const std::string limit =
        "expects 5.4e+302 mutations, more than the limit of 10^6; check the units of the rate, "
        "the time and the sizes, or give --allow-many-mutations to run such priors anyway\n";
    const Case cases[] = {
        {"1e300", {}, limit},
        {"1e300",
         {"--allow-many-mutations"},
         "\n error: generateStepMut: expected number of mutations on a branch is too large\n\n"},
        {"2000", {}, "expects 1.08e+06 mutations, more than the limit of 10^6; check the units of "
                     "the rate, the time and the sizes, or give --allow-many-mutations to run "
                     "such priors anyway\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        ChildResult r = runWith(dir, acceptAll().set("MY_LOWER", "1e-4").set("MY_UPPER", c.upper),
                                c.options);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_TRUE(endsWith(r.out, c.ending)) << r.out;
        EXPECT_FALSE(dir.exists("results.txt"));
    }
}

TEST(ProgramFaults, TableThatWouldOverwriteAnotherFileIsRefusedBeforeAnyWrite) {
    // --table, OUTFILE_NAME, DATAFILE_NAME (link.tsv is a hard link to the
    // data file; r.txt does not exist yet) and the clash reported.
    const char* cases[][4] = {
        {"results.txt", "results.txt", "data.txt",
         "the reference table results.txt is the results file results.txt"},
        {"./r.txt", "r.txt", "data.txt", "the reference table ./r.txt is the results file r.txt"},
        {"params.txt", "results.txt", "data.txt",
         "the reference table params.txt is the parameter file params.txt"},
        {"link.tsv", "results.txt", "data.txt",
         "the reference table link.tsv is the data file data.txt"},
        {"d", "results.txt", "d.observed.tsv",
         "the observed statistics file d.observed.tsv (of --table d) is the data file "
         "d.observed.tsv"},
        {"t.gz", "t.priors.tsv", "data.txt",
         "the priors file t.priors.tsv (of --table t.gz) is the results file t.priors.tsv"}};
    for (const auto& [table, outfile, datafile, clash] : cases)
        for (bool shard : {false, true}) {  // a shard's merge would write the table
            TempDir dir;
            dir.write(datafile, kData);
            if (std::string(outfile) != "r.txt") dir.write(outfile, kHeader);
            ASSERT_EQ(link(dir.file(datafile).c_str(), dir.file("link.tsv").c_str()), 0);
            const ParamsFileText params =
                acceptAll().set("OUTFILE_NAME", outfile).set("DATAFILE_NAME", datafile);
            std::vector<std::string> options = {"--table", table};
            if (shard) options.insert(options.begin(), {"--seed", "1", "--shard", "1/2"});
            ChildResult r = runWith(dir, params, options);
            EXPECT_EQ(r.exitStatus, 1) << clash;
            EXPECT_TRUE(endsWith(
                r.out, std::string("error: table: ") + clash + "; choose another --table name\n"))
                << r.out;
            EXPECT_EQ(dir.read(datafile), kData) << clash;
            EXPECT_EQ(dir.read("params.txt"), params.str()) << clash;
            EXPECT_EQ(dir.read(outfile), std::string(outfile) == "r.txt" ? "" : kHeader);
        }
}

TEST(ProgramFaults, TableThatCannotBeCreatedIsRefusedWithTheReason) {
    struct Case {
        std::string table, folder, reason;  // folder: made read-only first
        bool loop = false;                  // the table a link in a loop of two
    };
    std::vector<Case> cases = {
        {"missing/t.tsv", "", "No such file or directory"},
        {"missing/t.tsv.gz", "", "No such file or directory"},
        {"t.tsv", "", "it is a symbolic link that leads round in a loop", true}};
    if (geteuid() != 0) cases.push_back({"ro/t.tsv", "ro", "Permission denied"});
    for (const Case& c : cases) {
        TempDir dir;
        if (!c.folder.empty()) {
            ASSERT_EQ(mkdir(dir.file(c.folder).c_str(), 0555), 0);
        }
        if (c.loop) {
            ASSERT_EQ(symlink("back", dir.file(c.table).c_str()), 0);
            ASSERT_EQ(symlink(c.table.c_str(), dir.file("back").c_str()), 0);
        }
        ChildResult r = runWith(dir, acceptAll(), {"--table", c.table});
        EXPECT_EQ(r.exitStatus, 1) << c.table;
        EXPECT_TRUE(
            endsWith(r.out, "error: table: cannot write " + c.table + " (" + c.reason + ")\n"))
            << r.out;
    }
}

TEST(ProgramFaults, RunRefusedOnAHeldFileLeavesTheOtherRunsTableWhole) {
    // This process, standing in for a live run, holds the results file or the
    // table: a run is refused before it writes (a shard, which writes no
    // table files, goes on).
    const std::string busyTable =
        "error: table: t.tsv is being written by another run; give each run its own --table\n";
    const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {"results.txt", {"--table", "t.tsv"}},
        {"t.tsv", {"--table", "t.tsv"}},
        {"t.tsv", {"--seed", "4", "--threads", "2", "--table", "t.tsv"}},
        {"t.tsv", {"--seed", "4", "--shard", "1/2", "--table", "t.tsv"}}};
    const char* theirs[] = {"t.tsv", "t.tsv.observed.tsv", "t.tsv.priors.tsv"};
    for (const auto& [held, options] : cases) {
        TempDir dir;
        dir.write("results.txt", kHeader);
        for (const char* name : theirs) dir.write(name, std::string("the other run's ") + name);
        const int fd = open(dir.file(held).c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
        ChildResult r = runWith(dir, acceptAll(), options);
        close(fd);
        const bool shard = options.size() > 2 && options[2] == "--shard";
        EXPECT_EQ(r.exitStatus, shard ? 0 : 1) << held << r.out;
        EXPECT_TRUE(shard || endsWith(r.out, std::string(held) == "t.tsv"
                                                 ? busyTable
                                                 : "another run; give each run its own "
                                                   "OUTFILE_NAME\n"))
            << r.out;
        for (const char* name : theirs)
            EXPECT_EQ(dir.read(name), std::string("the other run's ") + name) << held;
        EXPECT_EQ(dir.read("results.txt"), kHeader);
    }
}

TEST(ProgramFaults, TableIsMarkedCompleteOnlyWhenItsFilesAreSynced) {
    struct Case {
        std::vector<std::string> wrapper, options;
        ParamsFileText params;
        bool succeeds;
        std::string ending;  // of standard output
        bool complete;
        bool priorsLinked = false;  // the priors name a link into another folder
    };
    const std::string ran = "Running... \n\n";
    std::vector<Case> cases = {{{}, {"--table", "t.tsv"}, acceptAll(), true, ran, true},
                               {{}, {"--table", "t.tsv"}, acceptAll(), true, ran, true, true},
                               {{},
                                {"--seed", "3", "--threads", "2", "--table", "t.tsv.gz"},
                                acceptAll(),
                                true,
                                ran,
                                true},
                               {{"timeout", "-s", "KILL", "2"},
                                {"--table", "t.tsv"},
                                acceptAll().set("REPEATS", "100000000"),
                                false,
                                "",
                                false},
                               {{},
                                {"--table", "t.tsv"},
                                acceptAll().set("MY_LOWER", "0.01"),
                                false,
                                "my_lower\n",
                                false}};
    // A failed sync, in turn of the run's syncs: the observed statistics, the
    // priors, the table, the complete priors' temporary, the folder after its
    // rename (only then may the mark be there).
    const char* synced[] = {"t.tsv.observed.tsv", "t.tsv.priors.tsv", "t.tsv",
                            "t.tsv.priors.tsv.new", "t.tsv.priors.tsv"};
    const bool strace = system("command -v strace >/dev/null 2>&1") == 0;
    for (int n = 1; strace && n <= 5; ++n)
        cases.push_back(
            {{"strace", "-f", "-o", "/dev/null", "-e", "trace=fsync", "-e",
              "inject=fsync:error=EIO:when=" + std::to_string(n)},
             {"--table", "t.tsv"},
             acceptAll(),
             false,
             "error: table: cannot write " + std::string(synced[n - 1]) + " (Input/output error)\n",
             n == 5});
    for (const Case& c : cases) {
        TempDir dir;
        if (c.priorsLinked) {
            mkdir(dir.file("store").c_str(), 0755);
            ASSERT_EQ(symlink("store/priors.tsv", dir.file("t.tsv.priors.tsv").c_str()), 0);
        }
        ChildResult r = runWith(dir, c.params, c.options, c.wrapper);
        EXPECT_EQ(r.exitStatus == 0, c.succeeds) << c.ending << r.out;
        // Marked complete, a linked priors file is still the link.
        struct stat entry;
        if (c.priorsLinked) {
            EXPECT_TRUE(lstat(dir.file("t.tsv.priors.tsv").c_str(), &entry) == 0 &&
                        S_ISLNK(entry.st_mode));
        }
        EXPECT_TRUE(endsWith(r.out, c.ending)) << c.ending << r.out;
        const std::string priors = dir.read("t.tsv.priors.tsv");
        EXPECT_EQ(endsWith(priors, "\n# complete: 50 simulations\n"), c.complete) << priors;
        EXPECT_FALSE(c.complete && dir.exists("t.tsv.priors.tsv.new")) << c.ending;
    }
}

TEST(ProgramFaults, ThreadsThatCannotBeStartedEndTheRunWithAMessage) {
    // As root, the run is started as an ordinary user, for whom the limit on
    // processes holds; with a limit of one, no thread can be started.
    std::vector<std::string> wrapper;
    if (geteuid() == 0)
        wrapper = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    wrapper.insert(wrapper.end(), {"prlimit", "--nproc=1"});
    TempDir dir;
    chmod(dir.path().c_str(), 0777);
    ChildResult r = runWith(dir, acceptAll(), {"--seed", "1", "--threads", "8"}, wrapper);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.out.find("\nerror: threads: cannot start 8 threads (only 0 started: "),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(endsWith(r.out,
                         "); run with fewer --threads, or raise the limit on processes "
                         "(ulimit -u)\n"))
        << r.out;
}
