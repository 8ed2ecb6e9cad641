// Fuzzing harness: runs the whole program on one fuzzer input, in one of three
// modes that decide which of the run's two input files the input becomes.
//
//   foundabc_fuzz params INPUT   INPUT is the parameter file; the data file is
//                                a fixed small one (2 sue, 3 tha lines, 3 loci)
//   foundabc_fuzz data INPUT     INPUT is the data file; the parameter file is
//                                a fixed one with 3 loci and 2 repeats
//   foundabc_fuzz whole INPUT    INPUT holds both: the parameter file, then a
//                                line "~~~", then the data file
//
// The files are written as params.txt and data.txt into the current folder,
// which must be a scratch folder marked by a file named .fuzz-run-dir: every
// regular file in it is removed first, so results files do not pile up.
//
// A run's cost follows from its settings (repeats x loci x lines, plus the
// mutations that the mutation rate and the population sizes ask for). An
// input whose settings ask for more than kWorkBudget is not run, so that the
// fuzzer's time-out flags only runs that take longer than their settings
// should, not runs that were asked to be long.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "io/ParameterFile.h"

#define main foundabcMain
#include "foundabc/FoundabcMain.cpp"
#undef main

namespace {

constexpr double kWorkBudget = 2e6;         // about a tenth of a second of simulation
constexpr rlim_t kFileSizeLimit = 1 << 20;  // no file written may grow beyond 1 MiB
constexpr std::size_t kMaxInput = 1 << 16;  // longer inputs are cut
const char* const kSeparator = "\n~~~\n";

const char* const kFixedData =
    "header sue1 sue2 tha1 tha2 tha3\n"
    "10 12 11 13 9\n"
    "20 20 21 19 22\n"
    "7 -9 8 8 6\n";

const char* const kFixedParams =
    "DATAFILE_NAME data.txt #\n"
    "OUTFILE_NAME results.txt #\n"
    "NUMBER_OF_THA_LINES 3 #\n"
    "NUMBER_OF_SUE_LINES 2 #\n"
    "NUMBER_OF_LOCI 3 #\n"
    "ALPHA 0.5 #\n"
    "MY_LOWER 0.0001 #\n"
    "MY_UPPER 0.01 #\n"
    "TIME_TO_ORIGIN_LOWER 10 #\n"
    "TIME_TO_ORIGIN_UPPER 100 #\n"
    "POPSIZE_ORIGIN_THA_LOWER 100 #\n"
    "POPSIZE_ORIGIN_THA_UPPER 200 #\n"
    "POPSIZE_PRESENT_THA_LOWER 1000 #\n"
    "POPSIZE_PRESENT_THA_UPPER 2000 #\n"
    "POPSIZE_ORIGIN_SUE_LOWER 10 #\n"
    "POPSIZE_ORIGIN_SUE_UPPER 20 #\n"
    "POPSIZE_PRESENT_SUE_LOWER 100 #\n"
    "POPSIZE_PRESENT_SUE_UPPER 1000 #\n"
    "PRIOR_DISTRIBUTION 0 #\n"
    "REPEATS 2 #\n"
    "EPSILON 5 #\n"
    "CONDITIONAL_NUMBER_OF_ORIGINS 0 #\n"
    "UNEQUAL_FOUNDING_FRACTIONS 0 #\n";

[[noreturn]] void usage(const char* why) {
    std::fprintf(stderr, "foundabc_fuzz: %s\nusage: foundabc_fuzz params|data|whole INPUT\n", why);
    std::exit(2);
}

void writeFile(const char* name, const std::string& text) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) usage("cannot write the input files in the current folder");
}

// Removes the regular files of the current folder, which must be marked as a
// fuzzing scratch folder.
void clearRunDir() {
    struct stat marker;
    if (stat(".fuzz-run-dir", &marker) != 0)
        usage("the current folder is not a scratch folder (no .fuzz-run-dir)");
    DIR* dir = opendir(".");
    if (dir == nullptr) usage("cannot list the current folder");
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat info;
        if (name == ".fuzz-run-dir" || lstat(name.c_str(), &info) != 0) continue;
        if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) unlink(name.c_str());
    }
    closedir(dir);
}

// Size on the natural scale of a prior bound.
double natural(const params& p, double bound) {
    return p.prior_distribution == 1 ? std::pow(10.0, bound) : bound;
}

// Rough cost of the run the settings ask for, in units of one line of one
// locus (a few tens of nanoseconds); infinite when it cannot be bounded.
double askedWork(const params& p) {
    const double lines = static_cast<double>(p.number_of_tha_lines) + p.number_of_sue_lines;
    const double perRepeatLoci = std::fmax(1.0, p.number_of_loci);
    // Tree length in generations: the lines over the founding time, plus
    // coalescent time of the order of the largest population size.
    const double sizes =
        natural(p, p.popsize_origin_tha_upper) + natural(p, p.popsize_present_tha_upper) +
        natural(p, p.popsize_origin_sue_upper) + natural(p, p.popsize_present_sue_upper);
    const double treeLength = lines * natural(p, p.time_to_origin_upper) +
                              4 * sizes * (1 + std::log(std::fmax(lines, 1.0)));
    const double mutations = std::fmax(natural(p, p.my_upper), 0.0) * treeLength;
    double perLocus = lines + mutations;
    if (p.unequal_founding_fractions <= 0 && p.conditional_number_of_origins > 0)
        perLocus += lines * lines;  // the founder-count law
    const double work = std::fmax(1.0, p.repeats) * perRepeatLoci * perLocus;
    return std::isnan(work) ? INFINITY : work;
}

bool anyNotFinite(const params& p) {
    for (double v :
         {p.alpha, p.my_lower, p.my_upper, p.time_to_origin_lower, p.time_to_origin_upper,
          p.popsize_origin_tha_lower, p.popsize_origin_tha_upper, p.popsize_present_tha_lower,
          p.popsize_present_tha_upper, p.popsize_origin_sue_lower, p.popsize_origin_sue_upper,
          p.popsize_present_sue_lower, p.popsize_present_sue_upper, p.epsilon,
          p.unequal_founding_fractions})
        if (!std::isfinite(v)) return true;
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) usage("two arguments expected");
    const std::string mode = argv[1];

    std::ifstream in(argv[2], std::ios::binary);
    if (!in) usage("cannot read the input");
    std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (input.size() > kMaxInput) input.resize(kMaxInput);

    clearRunDir();
    if (mode == "params") {
        writeFile("params.txt", input);
        writeFile("data.txt", kFixedData);
    } else if (mode == "data") {
        writeFile("params.txt", kFixedParams);
        writeFile("data.txt", input);
    } else if (mode == "whole") {
        const std::size_t cut = input.find(kSeparator);
        writeFile("params.txt", input.substr(0, cut));
        writeFile("data.txt", cut == std::string::npos ? std::string() : input.substr(cut + 5));
    } else {
        usage("unknown mode");
    }

    // Whatever file the settings name, it cannot grow without bound; a write
    // beyond the limit fails (and is reported) rather than killing the run.
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit fileSize = {kFileSizeLimit, kFileSizeLimit};
    setrlimit(RLIMIT_FSIZE, &fileSize);

    {
        // Reads the settings once ahead of the run; a file the run would
        // refuse ends here with the run's own message and status.
        std::unique_ptr<params> p = readInfile("params.txt");
        if (!anyNotFinite(*p) && !(askedWork(*p) <= kWorkBudget)) return 0;
    }

    char program[] = "foundabc";
    char paramsFile[] = "params.txt";
    char* args[] = {program, paramsFile, nullptr};
    return foundabcMain(2, args);
}
