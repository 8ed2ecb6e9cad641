// The settings check's rules for the settings as a whole: the faults that
// stop the run, ranges, models that fit no founding, a threshold that can
// accept nothing, too many mutations per branch, and the results file.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "foundabc/SettingsChecker.h"
#include "run/StartUp.h"
#include "sim/Priors.h"
#include "sim/StepMutation.h"

namespace fs = std::filesystem;

// The settings as a whole: what ends the run at its start or at a repeat,
// and what lets it run without any chance of accepting a set.
// The keys of the mutation model: each bound of P, both or neither, and the
// shape of the locus rates; none of them under --legacy-model.
void SettingsChecker::checkMutationKeys() {
    const std::string fault = mutationKeysFault(settings_, command_.model);
    if (fault.empty()) return;
    int line = 0;
    std::string fix;
    const auto& keys = optionalSettingKeys();
    if (command_.model == ModelVersion::legacy && settings_.hasMutationKeys()) {
        fix = "remove the line, or run without --legacy-model";
        for (int line_ : optionalLines_)
            if (line_ != 0 && (line == 0 || line_ < line)) line = line_;
    } else if (settings_.gsm_p_lower_set != settings_.gsm_p_upper_set) {
        const bool lowerOnly = settings_.gsm_p_lower_set;
        line = optionalLines_[lowerOnly ? 0 : 1];
        fix = std::string("add a line \"") + keys[lowerOnly ? 1 : 0] +
              " VALUE #\", or remove this one for the strict stepwise model";
    } else if (fault.find("LOCUS_RATE_SHAPE") != std::string::npos) {
        line = optionalLines_[2];
        fix =
            "give a shape above 0 (smaller: rates differ more between loci), or 0 for one "
            "rate";
    } else {
        line = optionalLines_[fault.find("GSM_P_LOWER =") != std::string::npos ? 0 : 1];
        fix = fault.find(" < ") != std::string::npos
                  ? "swap the two bounds"
                  : "give a chance from 0 up to but not including 0.95";
    }
    addAtLine(line, stopsWith(withoutLineEnd(fault)), fix);
}

void SettingsChecker::checkRecord() {
    const params& p = settings_;
    checkMutationKeys();
    for (const SettingFault& f : settingFaults(p)) {
        const bool sum = f.message.find("number_of_sue_lines is") != std::string::npos;
        if (!has(f.key) || (sum && !has("NUMBER_OF_THA_LINES"))) continue;
        addAtLine(lineOf(f.key), stopsWith(f.message), faultFix(f, sum));
    }
    struct Range {
        const char* lowerKey;
        const char* upperKey;
        double lower;
        double upper;
        const char* quantity;
    };
    const Range ranges[] = {
        {"MY_LOWER", "MY_UPPER", p.my_lower, p.my_upper, "rate"},
        {"TIME_TO_ORIGIN_LOWER", "TIME_TO_ORIGIN_UPPER", p.time_to_origin_lower,
         p.time_to_origin_upper, "time"},
        {"POPSIZE_ORIGIN_THA_LOWER", "POPSIZE_ORIGIN_THA_UPPER", p.popsize_origin_tha_lower,
         p.popsize_origin_tha_upper, "size"},
        {"POPSIZE_PRESENT_THA_LOWER", "POPSIZE_PRESENT_THA_UPPER", p.popsize_present_tha_lower,
         p.popsize_present_tha_upper, "size"},
        {"POPSIZE_ORIGIN_SUE_LOWER", "POPSIZE_ORIGIN_SUE_UPPER", p.popsize_origin_sue_lower,
         p.popsize_origin_sue_upper, "size"},
        {"POPSIZE_PRESENT_SUE_LOWER", "POPSIZE_PRESENT_SUE_UPPER", p.popsize_present_sue_lower,
         p.popsize_present_sue_upper, "size"},
    };
    const bool naturalScale = has("PRIOR_DISTRIBUTION") && p.prior_distribution != 1;
    for (const Range& r : ranges) {
        const bool both = has(r.lowerKey) && has(r.upperKey);
        if (both && rangeIsEmpty(r.lower, r.upper)) {
            const std::string name = lower(r.upperKey).substr(0, std::strlen(r.upperKey) - 6);
            addAtLine(
                lineOf(r.upperKey),
                setting(r.upperKey) + " is not above " + keyAt(r.lowerKey) + ": " +
                    stopsWith("error: parameters: " + name + "_upper <= " + name + "_lower",
                              "the first repeat"),
                r.upper < r.lower ? "swap the two bounds"
                                  : "give a range whose upper bound is above its lower one");
        }
        if (!naturalScale) continue;
        for (const char* key : {r.lowerKey, r.upperKey})
            if (has(key) && (key == r.lowerKey ? r.lower : r.upper) < 0)
                addAtLine(lineOf(key),
                          std::string(key) + " " + valueOf(key) +
                              " is negative: on the natural scale (PRIOR_DISTRIBUTION is "
                              "not 1) no " +
                              r.quantity + " is below 0",
                          "give a value of 0 or more, or set PRIOR_DISTRIBUTION 1 if the "
                          "bounds are base-10 logarithms");
    }
    for (const char* population : {"THA", "SUE"}) {
        const std::string ori = std::string("POPSIZE_ORIGIN_") + population + "_UPPER";
        const std::string pre = std::string("POPSIZE_PRESENT_") + population + "_UPPER";
        if (!has(ori.c_str()) || !has(pre.c_str())) continue;
        const double oriUpper =
            population[0] == 'T' ? p.popsize_origin_tha_upper : p.popsize_origin_sue_upper;
        const double preUpper =
            population[0] == 'T' ? p.popsize_present_tha_upper : p.popsize_present_sue_upper;
        if (!(oriUpper >= preUpper)) continue;
        addAtLine(lineOf(ori.c_str()),
                  setting(ori.c_str()) + " is not below " + keyAt(pre.c_str()) + ": " +
                      stopsWith("error: parameters: " + lower(pre) +
                                    " <= " + lower(pre.substr(0, pre.size() - 6)) + "_lower",
                                "a repeat that draws a founding size of " +
                                    valueOf(pre.c_str()) + " or more"),
                  "lower " + ori + " below " + valueOf(pre.c_str()) + ", or raise " + pre +
                      ": a population grows from its founding to the present");
    }
    if (has("UNEQUAL_FOUNDING_FRACTIONS") && has("CONDITIONAL_NUMBER_OF_ORIGINS") &&
        p.unequal_founding_fractions > 0 && p.conditional_number_of_origins != 2)
        addAtLine(
            lineOf("UNEQUAL_FOUNDING_FRACTIONS"),
            setting("UNEQUAL_FOUNDING_FRACTIONS") + " asks for two founders, but " +
                keyAt("CONDITIONAL_NUMBER_OF_ORIGINS") +
                " is not 2: no founding model fits, and " +
                stopsWith("if fracF2 > 0 conditional_origins must be 2", "the first repeat"),
            "set CONDITIONAL_NUMBER_OF_ORIGINS 2 for two founders, or "
            "UNEQUAL_FOUNDING_FRACTIONS 0 for a model without them");
    if (has("ALPHA") && p.alpha <= 0)
        addAtLine(lineOf("ALPHA"),
                  setting("ALPHA") + " is not above 0: " +
                      stopsWith("error: simExpGrowth: alpha <= 0", "the first repeat"),
                  "give the share of the time since the founding spent growing, above 0 "
                  "(for example 0.5)");
    for (const char* key : {"NUMBER_OF_SUE_LINES", "NUMBER_OF_THA_LINES"}) {
        const int32_t lines = key[10] == 'S' ? p.number_of_sue_lines : p.number_of_tha_lines;
        if (has(key) && lines == 1)
            addAtLine(lineOf(key),
                      std::string("a sample of one line has no pair of lines: the statistic "
                                  "S of ") +
                          (key[10] == 'S' ? "sue" : "tha") +
                          " is undefined, so no distance is below the threshold and nothing "
                          "can be accepted",
                      "sample at least two lines");
    }
    if (has("EPSILON") && p.epsilon <= 0)
        addAtLine(lineOf("EPSILON"),
                  "EPSILON " + valueOf("EPSILON") +
                      " makes the threshold 0 or less: no distance is below it, so nothing "
                      "can be accepted",
                  "give a positive tolerance (the shipped example uses 0.1)");
    if (has("REPEATS") && p.repeats == 0)
        addAtLine(lineOf("REPEATS"),
                  "REPEATS 0 draws no parameter set, so nothing can be accepted",
                  "give the number of parameter sets to draw (the shipped example uses "
                  "20000)");
    checkMutationCount();
}

// The run stops at its start when the worst branch the priors allow expects
// more than kMutationsPerBranchLimit mutations (unless allowed), and at a
// repeat when a branch expects more than a 32-bit count can hold (My x
// branch length > 2^31). The worst case is checked by the run's own test.
void SettingsChecker::checkMutationCount() {
    const params& p = settings_;
    for (const char* key : {"PRIOR_DISTRIBUTION", "MY_UPPER", "TIME_TO_ORIGIN_UPPER",
                            "POPSIZE_ORIGIN_THA_UPPER", "POPSIZE_ORIGIN_SUE_UPPER"})
        if (!has(key)) return;
    BranchMutations w;
    // A bound that is no finite number stops the run already (see above).
    if (!worstBranchMutations(p, w)) return;
    const std::string many = allowManyMutations_ ? "" : manyMutationsMessage(p);
    if (many.empty() && w.expected <= kMaxMeanMutations) return;
    const std::string what =
        !many.empty() ? stopsWith(many)
                      : describeBranchMutations(w) + ", more than the 2^31 the run can draw: " +
                            stopsWith(
                                "error: generateStepMut: expected number of mutations on a "
                                "branch is too large",
                                "a repeat that draws such values");
    // On the line of the bound that weighs most: no rate per locus and
    // time unit is above 1, else the longer part of the branch.
    const bool log10Scale = w.log10Scale;
    auto natural = [log10Scale](double bound) {
        return log10Scale ? std::pow(10.0, bound) : bound;
    };
    const char* key =
        w.rate > 1                  ? "MY_UPPER"
        : w.time >= 2 * w.ancestral ? "TIME_TO_ORIGIN_UPPER"
        : natural(p.popsize_origin_tha_upper) >= natural(p.popsize_origin_sue_upper)
            ? "POPSIZE_ORIGIN_THA_UPPER"
            : "POPSIZE_ORIGIN_SUE_UPPER";
    addAtLine(lineOf(key), what,
              std::string("a mutation rate per locus and time unit is far below 1 (the "
                          "example's range is 0.0001 to 0.05): check the units of the rate, the "
                          "time and the sizes, and PRIOR_DISTRIBUTION 1 if the bounds are "
                          "base-10 logarithms") +
                  (many.empty() ? "" : "; --allow-many-mutations runs such priors anyway"));
}

std::string SettingsChecker::faultFix(const SettingFault& f, bool sum) {
    const std::string key = f.key;
    if (sum) return "give the true sample sizes";
    if (f.message.find("10^") != std::string::npos)
        return "a log10 bound is at most 308 (10^308 is near the largest number); set "
               "PRIOR_DISTRIBUTION 0 if the bounds are natural values";
    if (f.message.find("finite") != std::string::npos) return "give a finite number";
    if (key == "NUMBER_OF_THA_LINES" || key == "NUMBER_OF_SUE_LINES")
        return "give the number of sampled lines, at least 2";
    if (key == "NUMBER_OF_LOCI") return "give the number of loci (data lines after the header)";
    if (key == "REPEATS") return "give the number of parameter sets to draw, 0 or more";
    if (key == "UNEQUAL_FOUNDING_FRACTIONS")
        return "give the share of the second founder, above 0 and at most 1 (0 for a model "
               "without two founders)";
    return "0 for the plain growth model, k >= 1 for the founder-count model with k founders";
}

// The results file need not exist, but its folder must, and take files;
// an existing one must be a file that keeps what is appended, and no
// input of the run.
void SettingsChecker::checkResultsFile() {
    if (!has("OUTFILE_NAME") || settings_.outfile_name[0] == '\0') return;
    const std::string name = settings_.outfile_name;
    const fs::path resolved = fs::absolute(name).lexically_normal();
    const fs::path folder = resolved.parent_path();
    const std::string input = inputNamedByResults(settings_, paramsFile_);
    if (!input.empty()) {
        addAtLine(lineOf("OUTFILE_NAME"),
                  "the results file " + resolved.string() + " is " + input + ": " +
                      stopsWith("error: results file " + name + " is " + input +
                                "; give OUTFILE_NAME a name of its own"),
                  "name a results file of its own; the run appends to it");
        return;
    }
    std::error_code ec;
    // What is wrong, and what the run then does: "the run" (at its start)
    // or the event that stops it, with the message it stops with.
    std::string what, when = "the run", message = "Error opening outfile", after;
    if (fs::is_directory(resolved, ec)) {
        what = "is a folder";
    } else if (fs::is_symlink(fs::symlink_status(resolved, ec)) && !fs::exists(resolved, ec)) {
        what = "is a symbolic link to " + fs::read_symlink(resolved, ec).string() +
               ", which does not exist";
    } else if (!fs::is_directory(folder, ec)) {
        what = "is in a folder that does not exist (" + folder.string() + ")";
    } else if (fs::exists(resolved, ec) ? access(resolved.c_str(), W_OK) != 0
                                        : access(folder.c_str(), W_OK) != 0) {
        what = "cannot be written";
    } else if (fs::is_fifo(resolved, ec)) {
        what = "is a named pipe (FIFO), not a file";
        after = " when no program reads it, and else keeps none of its rows";
    } else if (fs::is_character_file(resolved, ec) || fs::is_block_file(resolved, ec)) {
        // A device that refuses even an empty write (such as /dev/full)
        // refuses every row; one that takes it (/dev/null) takes the rows.
        const int fd = open(resolved.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 || write(fd, "", 0) < 0) {
            what = "is a device that takes no bytes";
            when = "its first accepted row";
            message = "error: printOutfile: cannot write " + name;
        }
        if (fd >= 0) close(fd);
    }
    if (what.empty()) return;
    addAtLine(lineOf("OUTFILE_NAME"),
              "the results file " + resolved.string() + " " + what + ": " +
                  stopsWith(message, when) + after,
              "name a file in a folder you can write to; names are taken from the folder "
              "the program is started in");
}
