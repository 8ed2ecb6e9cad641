#include "foundabc/SettingsCheck.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <vector>

#include "base/EditDistance.h"
#include "io/DataFile.h"
#include "io/LeadingInt.h"
#include "io/LineReader.h"
#include "io/ParameterFile.h"
#include "run/StartUp.h"
#include "sim/Priors.h"
#include "sim/StepMutation.h"
#include "sim/SummaryStats.h"

namespace fs = std::filesystem;

namespace {

// Reading stops at this assignment, so later lines are never read.
constexpr int kLastAssignment = kNumbSettings;
const char* const kUtf8Bom = "\xEF\xBB\xBF";
const char* const kUtf8NoBreakSpace = "\xC2\xA0";

struct Problem {
    int order;  // report order: parameter-file line, then the file, then the data file
    std::string where;
    std::string what;
    std::string fix;
};

// What the run makes of one key of the parameter file.
struct KeyRecord {
    std::vector<int> lines;  // lines of the assignments the run reads
    std::string value;       // value as written in the last of them
    int laterLine = 0;       // first line setting the key after reading has stopped
    int hintLine = 0;        // a line apparently meant for the key but not read as it
};

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string withoutLineEnd(std::string message) {
    while (!message.empty() && message.back() == '\n') message.pop_back();
    while (!message.empty() && (message.front() == '\n' || message.front() == ' '))
        message.erase(0, 1);
    return message;
}

// "`subject` stops the run with "message"".
std::string stopsWith(const std::string& message, const std::string& subject = "the run") {
    return subject + (subject == "the run" ? " stops" : " stops the run") + " with \"" +
           withoutLineEnd(message) + "\"";
}

// A word that only a key would be: capitals, digits and underscores, with an
// underscore.
bool looksLikeKey(const std::string& word) {
    if (word.find('_') == std::string::npos) return false;
    return std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

int nearestKey(const std::string& word, std::size_t& distance) {
    const auto& keys = settingKeys();
    int best = 0;
    distance = editDistance(word, keys[0]);
    for (std::size_t i = 1; i < keys.size(); ++i) {
        const std::size_t d = editDistance(word, keys[i]);
        if (d < distance) {
            distance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

int keyIndex(const std::string& key) {
    const auto& keys = settingKeys();
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (key == keys[i]) return static_cast<int>(i);
    return -1;
}

std::string shortened(const std::string& text) {
    std::string t = text.substr(0, text.find_last_not_of(" \t") + 1);
    t.erase(0, std::min(t.size(), t.find_first_not_of(" \t")));
    return t.size() > 60 ? t.substr(0, 57) + "..." : t;
}

class Checker {
  public:
    explicit Checker(std::string paramsFile) : paramsFile_(std::move(paramsFile)) {}

    int run(std::ostream& out) {
        if (readParameterFile()) {
            reportUnreadKeys();
            checkRecord();
            checkResultsFile();
            checkDataFile(out);
        }
        std::stable_sort(problems_.begin(), problems_.end(),
                         [](const Problem& a, const Problem& b) { return a.order < b.order; });
        for (const Problem& p : problems_)
            out << p.where << ": " << p.what << "\n  fix: " << p.fix << '\n';
        if (problems_.empty()) {
            out << "settings OK\n";
            return 0;
        }
        out << problems_.size() << (problems_.size() == 1 ? " problem" : " problems") << " found\n";
        return 1;
    }

  private:
    std::string atLine(int line) const { return paramsFile_ + ", line " + std::to_string(line); }

    void addAtLine(int line, const std::string& what, const std::string& fix) {
        problems_.push_back({line, atLine(line), what, fix});
    }
    void addForFile(const std::string& what, const std::string& fix) {
        problems_.push_back({kMaxParameterLines + 1, paramsFile_, what, fix});
    }

    bool has(int k) const { return k >= 0 && !keys_[k].lines.empty(); }
    bool has(const char* key) const { return has(keyIndex(key)); }
    int lineOf(const char* key) const { return keys_[keyIndex(key)].lines.back(); }
    const std::string& valueOf(const char* key) const { return keys_[keyIndex(key)].value; }
    std::string setting(const char* key) const { return std::string(key) + " " + valueOf(key); }
    // The setting with its line, for a problem reported on another line.
    std::string keyAt(const char* key) const {
        return std::string(key) + " " + valueOf(key) + " (line " + std::to_string(lineOf(key)) +
               ")";
    }

    // Reads every line as the run does, and on past the last one the run reads.
    // Returns false when the file cannot be opened.
    bool readParameterFile() {
        LineReader reader(paramsFile_.c_str(), kParameterLineChars);
        if (!reader.isOpen()) {
            addForFile("the parameter file cannot be opened (looked for at " +
                           fs::absolute(paramsFile_).lexically_normal().string() + ")",
                       "check its name and that it is a readable file");
            return false;
        }
        for (int n = 1; n <= kMaxParameterLines && !reader.atEnd(); ++n) {
            const std::string text = reader.next();
            const bool read = numbAssigned_ < kLastAssignment;
            if (read && text.size() == kParameterLineChars && reader.atEnd())
                addAtLine(n,
                          "the line is longer than 255 characters: the run cuts it there and "
                          "reads no later line",
                          "shorten the line (long notes can go on lines of their own)");
            readLine(text, n, read);
        }
        return true;
    }

    void readLine(const std::string& text, int n, bool read) {
        const SettingLine s = parseSettingLine(text, n);
        if (read && hiddenByInvisibleCharacters(text, s, n)) return;
        if (!s.error.empty()) {
            if (!read) return;
            if (s.isSetting) {
                addAtLine(n, stopsWith(s.error),
                          "a value has at most 29 characters and must end within the first 50 "
                          "characters of the line");
                assigned(s, n);
            } else {
                addAtLine(n, "a NUL byte (the file is not plain text): " + stopsWith(s.error),
                          "save the parameter file as plain text");
            }
            return;
        }
        if (s.isSetting) {
            if (!read) {
                if (keys_[s.keyIndex].laterLine == 0) keys_[s.keyIndex].laterLine = n;
                return;
            }
            const std::string error = assignSetting(settings_, s, n);
            assigned(s, n);
            if (!error.empty())
                addAtLine(n, stopsWith(error),
                          "give a whole number from -2147483648 to 2147483647");
            else
                checkValueText(s, n);
            return;
        }
        if (!read || s.key.empty()) return;
        std::size_t distance = 0;
        const int nearest = nearestKey(s.key, distance);
        if (!s.hasHash) {
            if (s.keyIndex < 0 && (distance > 2 || s.value.empty())) return;
            const int k = s.keyIndex >= 0 ? s.keyIndex : nearest;
            addAtLine(n,
                      "\"" + shortened(text) +
                          "\" looks like a setting but has no '#', so the run ignores the line",
                      std::string("end the line with \" #\": a setting needs a '#', even with no "
                                  "comment after it") +
                          (s.keyIndex < 0 ? std::string("; the key is spelt ") + settingKeys()[k]
                                          : std::string()));
            keys_[k].hintLine = n;
            return;
        }
        if (distance > 2 && !looksLikeKey(s.key)) return;  // a title or a note
        addAtLine(n, "unknown key " + s.key + " (the run ignores the line)",
                  std::string("did you mean ") + settingKeys()[nearest] + "?");
        keys_[nearest].hintLine = n;
    }

    void assigned(const SettingLine& s, int n) {
        keys_[s.keyIndex].lines.push_back(n);
        keys_[s.keyIndex].value = s.value;
        if (++numbAssigned_ == kLastAssignment) stopLine_ = n;
    }

    // A byte-order mark at the start of the file, or a non-breaking space
    // before the '#', looks like nothing in an editor but is no blank to the
    // run. Reports it when the line would read otherwise without it; returns
    // true when it hides the line's key (the line needs no further look).
    bool hiddenByInvisibleCharacters(const std::string& text, const SettingLine& s, int n) {
        std::string visible = text;
        const bool bom = n == 1 && visible.compare(0, 3, kUtf8Bom) == 0;
        if (bom) visible.erase(0, 3);
        bool noBreak = false;
        for (std::size_t at; (at = visible.find(kUtf8NoBreakSpace)) < visible.find('#');) {
            visible.replace(at, 2, " ");
            noBreak = true;
        }
        if (!bom && !noBreak) return false;
        const SettingLine meant = parseSettingLine(visible, n);
        if (meant.keyIndex < 0 || (meant.keyIndex == s.keyIndex && meant.value == s.value))
            return false;
        const std::string cause =
            bom ? "a byte-order mark (the invisible bytes EF BB BF some editors put at the start "
                  "of a file)"
                : "a non-breaking space";
        const std::string fix = bom ? "save the file as UTF-8 without a byte-order mark"
                                    : "replace the non-breaking space with an ordinary blank";
        if (meant.keyIndex != s.keyIndex) {
            addAtLine(n, cause + " hides the key " + meant.key + ", so the run ignores the line",
                      fix);
            keys_[meant.keyIndex].hintLine = n;
            return true;
        }
        addAtLine(n,
                  cause + " in the value of " + s.key + ": the run reads \"" + s.value +
                      "\" instead of \"" + meant.value + "\"",
                  fix);
        return false;
    }

    // Values the run reads without complaint but otherwise than written.
    void checkValueText(const SettingLine& s, int n) {
        const std::string key = s.key;
        switch (settingKind(s.keyIndex)) {
            case SettingKind::name:
                if (s.value.empty()) {
                    addAtLine(n, key + " has no value, so no file name is set",
                              "write the file name after the key");
                } else if (!s.rest.empty()) {
                    std::string joined = s.value + "_" + s.rest;
                    std::replace(joined.begin(), joined.end(), ' ', '_');
                    std::replace(joined.begin(), joined.end(), '\t', '_');
                    addAtLine(n,
                              "the blank in the file name \"" + s.value + " " + s.rest +
                                  "\" cuts it short: the run uses \"" + s.value + "\"",
                              "use a file name without blanks, for example " + joined);
                }
                return;
            case SettingKind::integer: {
                if (s.value.empty()) {
                    addAtLine(n, key + " has no value, so it reads as 0",
                              "write a whole number after the key");
                    return;
                }
                const std::size_t digits = s.value.find_first_not_of("0123456789", 1);
                const bool whole =
                    (std::isdigit(static_cast<unsigned char>(s.value[0])) ||
                     ((s.value[0] == '-' || s.value[0] == '+') && s.value.size() > 1)) &&
                    digits == std::string::npos;
                int32_t readAs = 0;
                if (!whole && leadingInt32(s.value.c_str(), readAs))
                    addAtLine(n,
                              "\"" + s.value + "\" is not a whole number: the run reads " +
                                  std::to_string(readAs),
                              "write a whole number (digits only, no decimal point or exponent)");
                return;
            }
            case SettingKind::real: {
                if (s.value.empty()) {
                    addAtLine(n, key + " has no value, so it reads as 0",
                              "write a number after the key");
                    return;
                }
                char* end = nullptr;
                const double readAs = std::strtod(s.value.c_str(), &end);
                if (*end != '\0') {
                    std::ostringstream text;
                    text << readAs;
                    addAtLine(n, "\"" + s.value + "\" is not a number: the run reads " + text.str(),
                              "write a number such as 0.5 or 1e-4");
                }
                return;
            }
        }
    }

    // Keys that the run never assigns, and keys given twice, which take the
    // place of others because reading stops at the 23rd assignment.
    void reportUnreadKeys() {
        const auto& names = settingKeys();
        std::vector<std::string> unread;
        for (int k = 0; k < kNumbSettings; ++k)
            if (!has(k)) unread.push_back(names[k]);
        std::string unreadList;
        for (std::size_t i = 0; i < unread.size(); ++i)
            unreadList += (i == 0 ? "" : i + 1 == unread.size() ? " and " : ", ") + unread[i];

        bool repeated = false;
        for (int k = 0; k < kNumbSettings; ++k) {
            const std::vector<int>& lines = keys_[k].lines;
            if (lines.size() < 2) continue;
            repeated = true;
            addAtLine(
                lines[1],
                std::string(names[k]) + " is given again (first on line " +
                    std::to_string(lines[0]) +
                    "): the later value counts, and each assignment counts toward the 23 "
                    "after which reading stops" +
                    (unread.empty() ? std::string()
                                    : ", so " + unreadList + (unread.size() == 1 ? " is" : " are") +
                                          " not read"),
                "keep only one " + std::string(names[k]) + " line");
        }
        const std::string consequence =
            numbAssigned_ < kLastAssignment
                ? stopsWith("error: readInfile: all parameters are not assigned")
                : "the run goes on with its default (-1, or no name)";
        for (int k = 0; k < kNumbSettings; ++k) {
            if (has(k)) continue;
            const KeyRecord& r = keys_[k];
            const std::string fix = r.hintLine != 0 ? "see line " + std::to_string(r.hintLine)
                                    : repeated
                                        ? "remove the repeated key (see above)"
                                        : "add a line \"" + std::string(names[k]) + " VALUE #\"";
            if (r.laterLine != 0)
                addAtLine(r.laterLine,
                          std::string(names[k]) +
                              " is never read: reading stops at the 23rd assignment, on line " +
                              std::to_string(stopLine_) + "; " + consequence,
                          fix);
            else
                addForFile("missing key " + std::string(names[k]) + ": " + consequence, fix);
        }
    }

    // The settings as a whole: what ends the run at its start or at a repeat,
    // and what lets it run without any chance of accepting a set.
    void checkRecord() {
        const params& p = settings_;
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

    // The run stops when a branch of a genealogy expects more mutations than a
    // 32-bit count can hold (My x branch length > 2^31). Branches below the
    // founding are at most the time since the founding long; above it the
    // ancestral population (of both founding sizes) takes about 2 N to join
    // its last lines. Their sum at the largest rate, time and sizes the
    // priors allow is the worst case, checked by the run's own test.
    void checkMutationCount() {
        const params& p = settings_;
        for (const char* key : {"PRIOR_DISTRIBUTION", "MY_UPPER", "TIME_TO_ORIGIN_UPPER",
                                "POPSIZE_ORIGIN_THA_UPPER", "POPSIZE_ORIGIN_SUE_UPPER"})
            if (!has(key)) return;
        const bool log10Scale = p.prior_distribution == 1;
        auto natural = [log10Scale](double bound) {
            return log10Scale ? std::pow(10.0, bound) : bound;
        };
        const double rate = natural(p.my_upper), time = natural(p.time_to_origin_upper);
        const double ancestral =
            natural(p.popsize_origin_tha_upper) + natural(p.popsize_origin_sue_upper);
        // A bound that is no finite number stops the run already (see above).
        if (!std::isfinite(rate) || !std::isfinite(time) || !std::isfinite(ancestral)) return;
        const double branch = time + 2 * ancestral;
        const double expected = rate * branch;
        if (expected <= kMaxMeanMutations) return;
        std::ostringstream what;
        what << (log10Scale ? "on the natural scale of these log10 bounds, " : "")
             << "a mutation rate up to " << rate << " on a branch up to " << branch
             << " time units long (the time since the founding, up to " << time
             << ", and twice the ancestral population's size, the founding sizes together, up "
                "to "
             << ancestral << ") expects " << expected
             << " mutations, more than the 2^31 the run can draw: "
             << stopsWith(
                    "error: generateStepMut: expected number of mutations on a branch is "
                    "too large",
                    "a repeat that draws such values");
        // On the line of the bound that weighs most: no rate per locus and
        // time unit is above 1, else the longer part of the branch.
        const char* key =
            rate > 1                ? "MY_UPPER"
            : time >= 2 * ancestral ? "TIME_TO_ORIGIN_UPPER"
            : natural(p.popsize_origin_tha_upper) >= natural(p.popsize_origin_sue_upper)
                ? "POPSIZE_ORIGIN_THA_UPPER"
                : "POPSIZE_ORIGIN_SUE_UPPER";
        addAtLine(lineOf(key), what.str(),
                  "a mutation rate per locus and time unit is far below 1 (the example's range "
                  "is 0.0001 to 0.05): check the units of the rate, the time and the sizes, "
                  "and PRIOR_DISTRIBUTION 1 if the bounds are base-10 logarithms");
    }

    static std::string faultFix(const SettingFault& f, bool sum) {
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
        return "0 for the plain growth model, k >= 1 for the founder-count model with k founders";
    }

    // The results file need not exist, but its folder must, and take files;
    // an existing one must be a file that keeps what is appended, and no
    // input of the run.
    void checkResultsFile() {
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

    void checkDataFile(std::ostream& out) {
        const params& p = settings_;
        if (!has("DATAFILE_NAME") || p.datafile_name[0] == '\0' || !has("NUMBER_OF_LOCI") ||
            !has("NUMBER_OF_SUE_LINES") || !has("NUMBER_OF_THA_LINES") || p.number_of_loci < 0 ||
            p.number_of_sue_lines < 1 || p.number_of_tha_lines < 1 ||
            static_cast<int64_t>(p.number_of_sue_lines) + p.number_of_tha_lines > INT32_MAX)
            return;
        const std::string name = p.datafile_name;
        const fs::path resolved = fs::absolute(name).lexically_normal();
        const int numbLines = totalLines(p);
        const DataFileScan scan = scanDataFile(name.c_str(), p.number_of_loci, numbLines, false);
        const std::string where = "data file " + resolved.string();
        int order = kMaxParameterLines + 2;
        for (const DataFileFault& f : scan.faults) {
            const int line = f.locus + 1;
            const std::string lineText = where + ", line " + std::to_string(line);
            const std::string atLocus = lineText + " (locus " + std::to_string(f.locus) + ")";
            switch (f.kind) {
                case DataFileFault::cannotOpen:
                    problems_.push_back({lineOf("DATAFILE_NAME"), atLine(lineOf("DATAFILE_NAME")),
                                         "the data file " + name +
                                             " cannot be opened: looked "
                                             "for at " +
                                             resolved.string() + ", " + stopsWith(f.message),
                                         dataFileNotFoundFix(name)});
                    return;
                case DataFileFault::nulByte:
                    problems_.push_back(
                        {order++, f.locus == 0 ? lineText : atLocus,
                         "a NUL byte (the file is not plain text): " + stopsWith(f.message),
                         "save the data file as plain text"});
                    break;
                case DataFileFault::tooFewValues:
                    if (f.pastEnd)
                        problems_.push_back(
                            {order++, lineText,
                             "the file ends before locus " + std::to_string(f.locus) +
                                 ": it holds " + std::to_string(f.locus - 1) + " loci, but " +
                                 keyAt("NUMBER_OF_LOCI") + " asks for " +
                                 std::to_string(p.number_of_loci) + "; " + stopsWith(f.message),
                             "set NUMBER_OF_LOCI to " + std::to_string(f.locus - 1) +
                                 ", or add the missing loci"});
                    else
                        problems_.push_back(
                            {order++, atLocus,
                             std::to_string(f.valuesRead) + " values, but the settings ask for " +
                                 std::to_string(numbLines) + " (NUMBER_OF_SUE_LINES " +
                                 std::to_string(p.number_of_sue_lines) + " + NUMBER_OF_THA_LINES " +
                                 std::to_string(p.number_of_tha_lines) + "); " +
                                 stopsWith(f.message),
                             "give every locus " + std::to_string(numbLines) +
                                 " values separated by blanks, sue lines first (-9 for a missing "
                                 "value; a tab is no separator), or correct the sample sizes"});
                    break;
                case DataFileFault::badField:
                    problems_.push_back(
                        {order++, atLocus, stopsWith(f.message),
                         "a value is a whole number of at most 15 characters within the 32-bit "
                         "range"});
                    break;
                case DataFileFault::endOfBuffer:
                    problems_.push_back({order++, atLocus, stopsWith(f.message),
                                         "the values of a locus must be complete within the "
                                         "first 1998 characters of its line"});
                    break;
            }
        }
        if (scan.faults.empty()) checkThreshold(scan.matrix, where, order);
        out << "data file: " << resolved.string() << " (" << p.number_of_loci << " loci of "
            << numbLines << " values)\n";
    }

    // The run accepts a set when its distance is strictly below the threshold
    // (S_obs_sue + S_obs_tha) x EPSILON, so a threshold of 0 accepts nothing.
    // The observed statistics are 0 without loci, or when no population has
    // two different values at any locus (missing values left out).
    void checkThreshold(const AlleleMatrix& observed, const std::string& where, int order) {
        const params& p = settings_;
        if (!has("EPSILON") || !(p.epsilon > 0) || p.number_of_sue_lines < 2 ||
            p.number_of_tha_lines < 2)
            return;  // reported above
        const std::array<double, 2> S =
            computeSD_real(observed, totalLines(p), p.number_of_sue_lines, p.number_of_loci);
        if ((S[0] + S[1]) * p.epsilon > 0) return;
        const std::string nothing =
            "the threshold (S_obs_sue + S_obs_tha) x EPSILON is 0, no distance is below it, "
            "so nothing can be accepted";
        if (p.number_of_loci == 0) {
            addAtLine(lineOf("NUMBER_OF_LOCI"),
                      "NUMBER_OF_LOCI 0: without loci both statistics are 0, so " + nothing,
                      "give the number of loci, the data lines after the header");
            return;
        }
        problems_.push_back(
            {order, where,
             "no population has two different values at any locus (missing values, -9, left "
             "out), so S_obs_sue and S_obs_tha are 0 and " +
                 nothing,
             "the statistics need variation within a population: check that every locus line "
             "holds its allele values, sue lines first, with -9 only where a value is missing"});
    }

    // The run opens the data file from the folder it is started in, which is
    // not always the parameter file's.
    std::string dataFileNotFoundFix(const std::string& name) const {
        const fs::path cwd = fs::current_path();
        std::string fix = "file names are taken from the folder the program is started in (" +
                          cwd.string() + "), not from the parameter file's folder";
        const fs::path paramsFolder = fs::absolute(paramsFile_).lexically_normal().parent_path();
        std::error_code ec;
        if (fs::path(name).is_relative() && paramsFolder != cwd &&
            fs::is_regular_file(paramsFolder / name, ec))
            fix += "; " + (paramsFolder / name).string() + " exists: start the program in " +
                   paramsFolder.string();
        return fix;
    }

    std::string paramsFile_;
    params settings_;
    std::array<KeyRecord, kNumbSettings> keys_;
    int numbAssigned_ = 0;
    int stopLine_ = 0;
    std::vector<Problem> problems_;
};

}  // namespace

int checkSettings(const std::string& paramsFile, std::ostream& out) {
    return Checker(paramsFile).run(out);
}
