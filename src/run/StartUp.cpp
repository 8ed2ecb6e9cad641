#include "run/StartUp.h"

#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <new>
#include <sstream>
#include <string>
#include <utility>

#include "base/Fail.h"
#include "io/SampleFile.h"
#include "sim/Random.h"

namespace {

// Must not allocate: it runs when allocation has just failed.
void outOfMemory() {
    std::cout.flush();
    std::fputs("error: out of memory\n", stdout);
    std::fflush(stdout);
    std::exit(1);
}

std::string lower(std::string key) {
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

// The same file: the same name once made absolute, or the same device and
// inode (a link, or another path to it).
bool sameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code ea, eb;
    const fs::path pa = fs::absolute(a, ea).lexically_normal();
    const fs::path pb = fs::absolute(b, eb).lexically_normal();
    if (!ea && !eb && pa == pb) return true;
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

void installOutOfMemoryHandler() { std::set_new_handler(outOfMemory); }

void ignoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

GeneratorOwner createSeededGenerator() {
    GeneratorOwner generator(gsl_rng_alloc(gsl_rng_taus));
    gsl_rng_set(generator.get(), static_cast<unsigned long>(std::time(nullptr)));
    r = generator.get();
    return generator;
}

void echoParams(const params& p, std::ostream& out, const std::string& extraLines) {
    out << '\n'
        << "-------------------\n"
        << "DATAFILE_NAME = " << p.datafile_name << '\n'
        << "OUTFILE_NAME = " << p.outfile_name << '\n'
        << "NUMBER_OF_THA_LINES = " << p.number_of_tha_lines << '\n'
        << "NUMBER_OF_SUE_LINES = " << p.number_of_sue_lines << '\n'
        << "ALPHA = " << p.alpha << '\n'
        << "MY_LOWER = " << p.my_lower << '\n'
        << "MY_UPPER = " << p.my_upper << '\n'
        << "TIME_TO_ORIGIN_LOWER = " << p.time_to_origin_lower << '\n'
        << "TIME_TO_ORIGIN_UPPER = " << p.time_to_origin_upper << '\n'
        << "POPSIZE_ORIGIN_THA_LOWER = " << p.popsize_origin_tha_lower << '\n'
        << "POPSIZE_ORIGIN_THA_UPPER = " << p.popsize_origin_tha_upper << '\n'
        << "POPSIZE_PRESENT_THA_LOWER = " << p.popsize_present_tha_lower << '\n'
        << "POPSIZE_PRESENT_THA_UPPER = " << p.popsize_present_tha_upper << '\n'
        << "POPSIZE_ORIGIN_SUE_LOWER = " << p.popsize_origin_sue_lower << '\n'
        << "POPSIZE_ORIGIN_SUE_UPPER = " << p.popsize_origin_sue_upper << '\n'
        << "POPSIZE_PRESENT_SUE_LOWER = " << p.popsize_present_sue_lower << '\n'
        << "POPSIZE_PRESENT_SUE_UPPER = " << p.popsize_present_sue_upper << '\n'
        << "PRIOR_DISTRIBUTION = " << p.prior_distribution << '\n'
        << "CONDITIONAL_NUMBER_OF_ORIGINS = " << p.conditional_number_of_origins << '\n'
        << "UNEQUAL_FOUNDING_FRACTIONS = " << p.unequal_founding_fractions << '\n';
    // The mutation keys are shown only when given: without them the echo is
    // the one it always was.
    if (p.gsm_p_lower_set) out << "GSM_P_LOWER = " << p.gsm_p_lower << '\n';
    if (p.gsm_p_upper_set) out << "GSM_P_UPPER = " << p.gsm_p_upper << '\n';
    if (p.locus_rate_shape_set) out << "LOCUS_RATE_SHAPE = " << p.locus_rate_shape << '\n';
    out << "REPEATS = " << p.repeats << '\n'
        << "EPSILON = " << p.epsilon << '\n'
        << extraLines << "-------------------\n";
    out.flush();
}

std::vector<SettingFault> settingFaults(const params& p) {
    std::vector<SettingFault> faults;
    auto add = [&faults](const char* key, const std::string& what) {
        faults.push_back({key, "error: parameters: " + what + "\n"});
    };
    if (p.number_of_tha_lines < 1) add("NUMBER_OF_THA_LINES", "number_of_tha_lines < 1");
    if (p.number_of_sue_lines < 1) add("NUMBER_OF_SUE_LINES", "number_of_sue_lines < 1");
    if (p.number_of_loci < 0) add("NUMBER_OF_LOCI", "number_of_loci < 0");
    if (p.repeats < 0) add("REPEATS", "repeats < 0");
    if (p.conditional_number_of_origins < 0 && p.unequal_founding_fractions <= 0)
        add("CONDITIONAL_NUMBER_OF_ORIGINS", "conditional_number_of_origins < 0");
    const std::pair<const char*, double> reals[] = {
        {"ALPHA", p.alpha},
        {"MY_LOWER", p.my_lower},
        {"MY_UPPER", p.my_upper},
        {"TIME_TO_ORIGIN_LOWER", p.time_to_origin_lower},
        {"TIME_TO_ORIGIN_UPPER", p.time_to_origin_upper},
        {"POPSIZE_ORIGIN_THA_LOWER", p.popsize_origin_tha_lower},
        {"POPSIZE_ORIGIN_THA_UPPER", p.popsize_origin_tha_upper},
        {"POPSIZE_PRESENT_THA_LOWER", p.popsize_present_tha_lower},
        {"POPSIZE_PRESENT_THA_UPPER", p.popsize_present_tha_upper},
        {"POPSIZE_ORIGIN_SUE_LOWER", p.popsize_origin_sue_lower},
        {"POPSIZE_ORIGIN_SUE_UPPER", p.popsize_origin_sue_upper},
        {"POPSIZE_PRESENT_SUE_LOWER", p.popsize_present_sue_lower},
        {"POPSIZE_PRESENT_SUE_UPPER", p.popsize_present_sue_upper},
        {"EPSILON", p.epsilon},
        {"UNEQUAL_FOUNDING_FRACTIONS", p.unequal_founding_fractions},
    };
    for (const auto& [key, value] : reals)
        if (!std::isfinite(value)) add(key, lower(key) + " is not a finite number");
    // The share of the second founder: above 1 the first would get a negative
    // share, and the founding draws one founder whatever the share.
    if (std::isfinite(p.unequal_founding_fractions) && p.unequal_founding_fractions > 1)
        add("UNEQUAL_FOUNDING_FRACTIONS", "unequal_founding_fractions > 1");
    // On the base-10 logarithmic scale a slot holds 10 to the drawn value,
    // which past about 10^308 is no finite number: an infinite rate, time or
    // size makes no run (it would be written as "inf" or stop a repeat).
    if (p.prior_distribution == 1) {
        const std::pair<const char*, double> uppers[] = {
            {"MY_UPPER", p.my_upper},
            {"TIME_TO_ORIGIN_UPPER", p.time_to_origin_upper},
            {"POPSIZE_ORIGIN_THA_UPPER", p.popsize_origin_tha_upper},
            {"POPSIZE_PRESENT_THA_UPPER", p.popsize_present_tha_upper},
            {"POPSIZE_ORIGIN_SUE_UPPER", p.popsize_origin_sue_upper},
            {"POPSIZE_PRESENT_SUE_UPPER", p.popsize_present_sue_upper},
        };
        for (const auto& [key, value] : uppers) {
            if (!std::isfinite(value) || std::isfinite(std::pow(10.0, value))) continue;
            std::ostringstream what;
            what << lower(key) << " is too large: 10^" << value << " is not a finite number";
            add(key, what.str());
        }
    }
    // Every line of both samples is numbered as an int throughout the run.
    if (static_cast<int64_t>(p.number_of_tha_lines) + p.number_of_sue_lines > INT32_MAX)
        add("NUMBER_OF_SUE_LINES", "number_of_tha_lines + number_of_sue_lines is too large");
    return faults;
}

void checkParams(const params& p) {
    const std::vector<SettingFault> faults = settingFaults(p);
    if (!faults.empty()) fail(faults.front().message);
}

int totalLines(const params& p) { return p.number_of_tha_lines + p.number_of_sue_lines; }

std::string inputNamedByResults(const params& p, const std::string& paramsFile,
                                const std::string& sampleFile) {
    if (p.outfile_name[0] == '\0') return "";
    if (sameFile(p.outfile_name, paramsFile)) return "the parameter file";
    if (p.datafile_name[0] != '\0' && sameFile(p.outfile_name, p.datafile_name))
        return "the data file";
    if (!sampleFile.empty() && sameFile(p.outfile_name, sampleFile)) return "the sample file";
    if (!sampleFile.empty() && sameFile(p.outfile_name, sampleOriginPath(sampleFile)))
        return "the record of the sample file";
    return "";
}

void refuseResultsOnInput(const params& p, const std::string& paramsFile,
                          const std::string& sampleFile) {
    const std::string input = inputNamedByResults(p, paramsFile, sampleFile);
    if (!input.empty())
        fail("error: results file " + std::string(p.outfile_name) + " is " + input +
             "; give OUTFILE_NAME a name of its own\n");
}

bool worstBranchMutations(const params& p, BranchMutations& w) {
    w.log10Scale = p.prior_distribution == 1;
    auto natural = [&w](double bound) { return w.log10Scale ? std::pow(10.0, bound) : bound; };
    w.rate = natural(p.my_upper);
    w.time = natural(p.time_to_origin_upper);
    w.ancestral = natural(p.popsize_origin_tha_upper) + natural(p.popsize_origin_sue_upper);
    if (!std::isfinite(w.rate) || !std::isfinite(w.time) || !std::isfinite(w.ancestral))
        return false;
    w.branch = w.time + 2 * w.ancestral;
    w.expected = w.rate * w.branch;
    return true;
}

std::string describeBranchMutations(const BranchMutations& w) {
    std::ostringstream what;
    what << (w.log10Scale ? "on the natural scale of these log10 bounds, " : "")
         << "a mutation rate up to " << w.rate << " on a branch up to " << w.branch
         << " time units long (the time since the founding, up to " << w.time
         << ", and twice the ancestral population's size, the founding sizes together, up "
            "to "
         << w.ancestral << ") expects " << w.expected << " mutations";
    return what.str();
}

std::string manyMutationsMessage(const params& p) {
    BranchMutations worst;
    if (!worstBranchMutations(p, worst) || !(worst.expected > kMutationsPerBranchLimit)) return "";
    return "error: parameters: expected number of mutations on a branch is too large: " +
           describeBranchMutations(worst) +
           ", more than the limit of 10^6; check the units of the rate, the time and the "
           "sizes, or give --allow-many-mutations to run such priors anyway\n";
}

void refuseManyMutations(const params& p, bool allowed) {
    if (allowed) return;
    const std::string message = manyMutationsMessage(p);
    if (!message.empty()) fail(message);
}
