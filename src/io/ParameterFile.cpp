#include "io/ParameterFile.h"

#include <sys/stat.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "base/Fail.h"
#include "io/InputFile.h"
#include "io/LeadingInt.h"
#include "io/LineReader.h"
#include "sim/Columns.h"
#include "sim/MutationModel.h"
#include "sim/PriorBounds.h"

namespace {

constexpr std::size_t kDataPartChars = 50;  // room for the part before the '#'
constexpr std::size_t kWordChars = 29;      // room for a key or a value (and a name)
static_assert(sizeof(params::datafile_name) == kWordChars + 1 &&
                  sizeof(params::outfile_name) == kWordChars + 1,
              "a name holds one value and its terminating zero");

// Where the value of one key goes; exactly one of the three targets is set.
struct Setting {
    char* name;
    int32_t* integer;
    double* real;
};

// The targets in the order of settingKeys().
std::array<Setting, kNumbSettings> targetsOf(params& p) {
    return {{
        {p.datafile_name, nullptr, nullptr},
        {p.outfile_name, nullptr, nullptr},
        {nullptr, &p.number_of_tha_lines, nullptr},
        {nullptr, &p.number_of_sue_lines, nullptr},
        {nullptr, &p.number_of_loci, nullptr},
        {nullptr, nullptr, &p.alpha},
        {nullptr, nullptr, &p.my_lower},
        {nullptr, nullptr, &p.my_upper},
        {nullptr, nullptr, &p.time_to_origin_lower},
        {nullptr, nullptr, &p.time_to_origin_upper},
        {nullptr, nullptr, &p.popsize_origin_tha_lower},
        {nullptr, nullptr, &p.popsize_origin_tha_upper},
        {nullptr, nullptr, &p.popsize_present_tha_lower},
        {nullptr, nullptr, &p.popsize_present_tha_upper},
        {nullptr, nullptr, &p.popsize_origin_sue_lower},
        {nullptr, nullptr, &p.popsize_origin_sue_upper},
        {nullptr, nullptr, &p.popsize_present_sue_lower},
        {nullptr, nullptr, &p.popsize_present_sue_upper},
        {nullptr, &p.prior_distribution, nullptr},
        {nullptr, &p.repeats, nullptr},
        {nullptr, nullptr, &p.epsilon},
        {nullptr, &p.conditional_number_of_origins, nullptr},
        {nullptr, nullptr, &p.unequal_founding_fractions},
    }};
}

bool isSeparator(char c) { return c == ' ' || c == '\t'; }

// Finds the next word of `text` at or after `from`: returns its start and sets
// `end` one past it; returns npos when there is none.
std::size_t nextWord(const std::string& text, std::size_t from, std::size_t& end) {
    std::size_t begin = from;
    while (begin < text.size() && isSeparator(text[begin])) ++begin;
    if (begin == text.size()) return std::string::npos;
    end = begin;
    while (end < text.size() && !isSeparator(text[end])) ++end;
    return begin;
}

std::string lineError(int lineNumber, const std::string& what) {
    return "error: readInfile: line " + std::to_string(lineNumber) + ": " + what + "\n";
}

}  // namespace

const std::array<const char*, kNumbSettings>& settingKeys() {
    static const std::array<const char*, kNumbSettings> keys = {{
        "DATAFILE_NAME",
        "OUTFILE_NAME",
        "NUMBER_OF_THA_LINES",
        "NUMBER_OF_SUE_LINES",
        "NUMBER_OF_LOCI",
        "ALPHA",
        "MY_LOWER",
        "MY_UPPER",
        "TIME_TO_ORIGIN_LOWER",
        "TIME_TO_ORIGIN_UPPER",
        "POPSIZE_ORIGIN_THA_LOWER",
        "POPSIZE_ORIGIN_THA_UPPER",
        "POPSIZE_PRESENT_THA_LOWER",
        "POPSIZE_PRESENT_THA_UPPER",
        "POPSIZE_ORIGIN_SUE_LOWER",
        "POPSIZE_ORIGIN_SUE_UPPER",
        "POPSIZE_PRESENT_SUE_LOWER",
        "POPSIZE_PRESENT_SUE_UPPER",
        "PRIOR_DISTRIBUTION",
        "REPEATS",
        "EPSILON",
        "CONDITIONAL_NUMBER_OF_ORIGINS",
        "UNEQUAL_FOUNDING_FRACTIONS",
    }};
    return keys;
}

const std::array<const char*, kNumbOptionalSettings>& optionalSettingKeys() {
    static const std::array<const char*, kNumbOptionalSettings> keys = {
        {"GSM_P_LOWER", "GSM_P_UPPER", "LOCUS_RATE_SHAPE"}};
    return keys;
}

SettingKind settingKind(int keyIndex) {
    params probe;
    const Setting s = targetsOf(probe)[static_cast<std::size_t>(keyIndex)];
    return s.name != nullptr      ? SettingKind::name
           : s.integer != nullptr ? SettingKind::integer
                                  : SettingKind::real;
}

SettingLine parseSettingLine(const std::string& line, int lineNumber) {
    SettingLine s;
    // A NUL byte would end a value early as a C string; a file holding one
    // is no text file, so refuse it rather than read past it.
    if (line.find('\0') != std::string::npos) {
        s.error = lineError(lineNumber, "NUL byte");
        return s;
    }
    const std::size_t hash = line.find('#');
    s.hasHash = hash != std::string::npos;
    const std::string data = line.substr(0, hash);

    std::size_t keyEnd = 0;
    const std::size_t keyBegin = nextWord(data, 0, keyEnd);
    if (keyBegin == std::string::npos) return s;
    s.key = data.substr(keyBegin, keyEnd - keyBegin);
    for (char& c : s.key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    std::size_t valueEnd = 0;
    const std::size_t valueBegin = nextWord(data, keyEnd, valueEnd);
    std::size_t settingEnd = keyEnd;
    if (valueBegin != std::string::npos) {
        s.value = data.substr(valueBegin, valueEnd - valueBegin);
        settingEnd = valueEnd;
        std::size_t restEnd = 0;
        const std::size_t restBegin = nextWord(data, valueEnd, restEnd);
        if (restBegin != std::string::npos) {
            std::size_t last = data.find_last_not_of(" \t");
            s.rest = data.substr(restBegin, last + 1 - restBegin);
        }
    }

    const auto& keys = settingKeys();
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (s.key == keys[i]) s.keyIndex = static_cast<int>(i);
    const auto& optional = optionalSettingKeys();
    for (std::size_t i = 0; i < optional.size() && s.hasHash; ++i)
        if (s.key == optional[i]) s.optionalIndex = static_cast<int>(i);
    if (!s.hasHash || (s.keyIndex < 0 && s.optionalIndex < 0)) return s;
    s.isSetting = s.keyIndex >= 0;
    // A setting that does not fit the record's buffers would be silently cut;
    // refuse it instead.
    if (s.value.size() > kWordChars || settingEnd > kDataPartChars)
        s.error = lineError(lineNumber, "value of " + s.key + " is too long");
    return s;
}

std::string assignSetting(params& p, const SettingLine& s, int lineNumber) {
    const Setting target = targetsOf(p)[static_cast<std::size_t>(s.keyIndex)];
    if (target.name != nullptr) {
        if (!s.value.empty()) {
            std::memset(target.name, 0, kWordChars + 1);
            std::memcpy(target.name, s.value.data(), s.value.size());
        }
    } else if (target.integer != nullptr) {
        if (!leadingInt32(s.value.c_str(), *target.integer))
            return lineError(lineNumber,
                             "value of " + s.key + " is outside the 32-bit integer range");
    } else {
        *target.real = std::strtod(s.value.c_str(), nullptr);
    }
    return "";
}

void assignOptionalSetting(params& p, const SettingLine& s) {
    const double value = std::strtod(s.value.c_str(), nullptr);
    switch (s.optionalIndex) {
        case 0:
            p.gsm_p_lower = value;
            p.gsm_p_lower_set = true;
            break;
        case 1:
            p.gsm_p_upper = value;
            p.gsm_p_upper_set = true;
            break;
        default:
            p.locus_rate_shape = value;
            p.locus_rate_shape_set = true;
            break;
    }
}

std::string mutationKeysFault(const params& p, ModelVersion model) {
    const std::string head = "error: parameters: ";
    if (model == ModelVersion::legacy && p.hasMutationKeys())
        return head +
               "--legacy-model keeps the strict stepwise model with one rate for all loci; "
               "remove GSM_P_LOWER, GSM_P_UPPER and LOCUS_RATE_SHAPE from the parameter file, "
               "or run without --legacy-model\n";
    if (p.gsm_p_lower_set != p.gsm_p_upper_set)
        return head +
               (p.gsm_p_lower_set ? "GSM_P_LOWER is given without GSM_P_UPPER"
                                  : "GSM_P_UPPER is given without GSM_P_LOWER") +
               ": give both bounds of the prior of GsmP, or neither\n";
    // Written so that a value that is not a number fails each test.
    auto inRange = [](double x) { return x >= 0.0 && x < kMaxGsmP; };
    if (p.hasGsm()) {
        for (const auto& [name, value] :
             {std::pair{"GSM_P_LOWER", p.gsm_p_lower}, std::pair{"GSM_P_UPPER", p.gsm_p_upper}})
            if (!inRange(value)) {
                std::ostringstream text;
                text << head << name << " = " << value
                     << " is outside [0, 0.95): P is the chance that a mutation's step "
                        "is longer than the one before\n";
                return text.str();
            }
        if (!(p.gsm_p_lower <= p.gsm_p_upper)) return head + "GSM_P_UPPER < GSM_P_LOWER\n";
    }
    if (p.locus_rate_shape_set &&
        !(p.locus_rate_shape >= 0.0 && std::isfinite(p.locus_rate_shape))) {
        std::ostringstream text;
        text << head << "LOCUS_RATE_SHAPE = " << p.locus_rate_shape
             << " is not a number at or above 0 (0: every locus has rate My)\n";
        return text.str();
    }
    return "";
}

std::unique_ptr<params> readInfile(const char* fileName) {
    auto p = std::make_unique<params>();
    LineReader reader(fileName, kParameterLineChars);
    if (!reader.isOpen()) {
        // The first words stay as they were, for scripts that look for them.
        struct stat info;
        const std::string why = stat(fileName, &info) != 0 ? std::strerror(errno)
                                : S_ISDIR(info.st_mode)    ? "a folder"
                                                           : "cannot be read";
        fail(std::string("Error opening infile ") + fileName + " (" + why +
             "): give the path of the parameter file, as in foundabc params.txt\n");
    }

    int numbAssigned = 0;
    int numbLinesRead = 0;
    std::array<bool, kNumbSettings> seen{};
    while (numbAssigned < kNumbSettings) {
        if (numbLinesRead == kMaxParameterLines) {
            // Fewer assignments than keys: some key was never assigned.
            std::string missing;
            for (std::size_t k = 0; k < seen.size(); ++k)
                if (!seen[k])
                    missing += std::string(missing.empty() ? "" : ", ") + settingKeys()[k];
            fail(std::string("error: readInfile: all parameters are not assigned (missing: ") +
                 missing + "); foundabc --check " + fileName + " shows why\n");
        }
        const std::string line = reader.next();
        ++numbLinesRead;
        const SettingLine s = parseSettingLine(line, numbLinesRead);
        if (!s.error.empty()) fail(s.error);
        if (s.optionalIndex >= 0) assignOptionalSetting(*p, s);
        if (!s.isSetting) continue;
        const std::string error = assignSetting(*p, s, numbLinesRead);
        if (!error.empty()) fail(error);
        seen[static_cast<std::size_t>(s.keyIndex)] = true;
        ++numbAssigned;
    }
    // The optional keys may also follow the last assignment. Only their lines
    // are looked at there: any other line stays unread, as it always was.
    while (numbLinesRead < kMaxParameterLines && !reader.atEnd()) {
        const std::string line = reader.next();
        ++numbLinesRead;
        const SettingLine s = parseSettingLine(line, numbLinesRead);
        if (s.optionalIndex < 0) continue;
        if (!s.error.empty()) fail(s.error);
        assignOptionalSetting(*p, s);
    }
    return p;
}

// The priors as the summary reads them.

namespace {

// The settings' names of each column's bounds, in column order.
constexpr std::array<const char*, numbParamColumns - 1> boundNames = {"MY",
                                                                      "TIME_TO_ORIGIN",
                                                                      "POPSIZE_ORIGIN_THA",
                                                                      "POPSIZE_PRESENT_THA",
                                                                      "POPSIZE_ORIGIN_SUE",
                                                                      "POPSIZE_PRESENT_SUE"};

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

PriorSettings readPriorSettings(const std::string& path) {
    PriorSettings settings;
    settings.error = directoryProblem(path);
    if (!settings.error.empty()) return settings;
    std::ifstream in(path);
    if (!in) {
        settings.error = "cannot open parameter file '" + path + "': " + std::strerror(errno);
        return settings;
    }
    std::map<std::string, std::string> values;
    std::string line;
    // The program itself reads at most 999 lines of at most 255 characters.
    for (int lineNumber = 0; lineNumber < 999 && std::getline(in, line); ++lineNumber) {
        const std::size_t hash = line.find('#');
        if (hash == std::string::npos) continue;
        std::istringstream words(line.substr(0, hash));
        std::string key, value;
        if (!(words >> key)) continue;
        words >> value;
        values.emplace(upper(key), value);
    }
    auto number = [&](const std::string& key, double& x) {
        auto it = values.find(key);
        if (it == values.end() || it->second.empty()) {
            settings.error = path + ": no value for " + key;
            return false;
        }
        x = std::strtod(it->second.c_str(), nullptr);
        if (!std::isfinite(x)) {
            settings.error = path + ": " + key + " '" + it->second + "' is not a finite number";
            return false;
        }
        return true;
    };
    double distribution = 0.0;
    if (!number("PRIOR_DISTRIBUTION", distribution)) return settings;
    // An integer setting: the program reads its leading digits ("1e3" is 1).
    const bool logScale = std::strtol(values["PRIOR_DISTRIBUTION"].c_str(), nullptr, 10) == 1;

    std::array<double, numbParamColumns - 1> lower{}, high{};
    for (std::size_t c = 0; c < boundNames.size(); ++c) {
        const std::string name = boundNames[c];
        if (!number(name + "_LOWER", lower[c]) || !number(name + "_UPPER", high[c]))
            return settings;
        if (!(lower[c] < high[c])) {
            settings.error = path + ": " + name + "_LOWER is not below " + name + "_UPPER";
            return settings;
        }
    }
    for (std::size_t c = 0; c < boundNames.size(); ++c) {
        ColumnPrior& prior = settings.columns[c];
        prior.known = true;
        prior.logScale = logScale;
        prior.lower = logScale ? std::pow(10.0, lower[c]) : lower[c];
        prior.upper = logScale ? std::pow(10.0, high[c]) : high[c];
        prior.flat = true;
        if (!std::isfinite(prior.upper) || !(prior.lower > 0.0 || !logScale)) {
            settings.error = path + ": the bounds of " + std::string(boundNames[c]) +
                             " are log10 values (PRIOR_DISTRIBUTION 1) beyond the range of "
                             "numbers";
            return settings;
        }
    }
    // Present sizes (columns 3 and 5) follow founding sizes (2 and 4).
    for (std::size_t c : {3u, 5u}) settings.columns[c].flat = high[c - 1] <= lower[c];
    const auto gsm = [&](const char* key) {
        const auto it = values.find(key);
        return it == values.end() ? std::nan("") : std::strtod(it->second.c_str(), nullptr);
    };
    const double gsmLower = gsm("GSM_P_LOWER"), gsmUpper = gsm("GSM_P_UPPER");
    if (gsmLower >= 0.0 && gsmLower < gsmUpper && gsmUpper < 1.0)
        settings.gsmP = {true, false, gsmLower, gsmUpper, true};
    return settings;
}
