#include "io/ParameterFile.h"

#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/Fail.h"
#include "io/LeadingInt.h"
#include "io/LineReader.h"

namespace {

constexpr int kNumbSettings = 23;
constexpr int kMaxLines = 999;
constexpr std::size_t kLineChars = 255;     // characters of a line that are read
constexpr std::size_t kDataPartChars = 50;  // room for the part before the '#'
constexpr std::size_t kWordChars = 29;      // room for a key or a value (and a name)
static_assert(sizeof(params::datafile_name) == kWordChars + 1 &&
                  sizeof(params::outfile_name) == kWordChars + 1,
              "a name holds one value and its terminating zero");

// Where the value of one key goes; exactly one of the three targets is set.
struct Setting {
    const char* key;
    char* name;
    int32_t* integer;
    double* real;
};

// The keys in the order in which a key is compared with them.
std::array<Setting, kNumbSettings> settingsOf(params& p) {
    return {{
        {"DATAFILE_NAME", p.datafile_name, nullptr, nullptr},
        {"OUTFILE_NAME", p.outfile_name, nullptr, nullptr},
        {"NUMBER_OF_THA_LINES", nullptr, &p.number_of_tha_lines, nullptr},
        {"NUMBER_OF_SUE_LINES", nullptr, &p.number_of_sue_lines, nullptr},
        {"NUMBER_OF_LOCI", nullptr, &p.number_of_loci, nullptr},
        {"ALPHA", nullptr, nullptr, &p.alpha},
        {"MY_LOWER", nullptr, nullptr, &p.my_lower},
        {"MY_UPPER", nullptr, nullptr, &p.my_upper},
        {"TIME_TO_ORIGIN_LOWER", nullptr, nullptr, &p.time_to_origin_lower},
        {"TIME_TO_ORIGIN_UPPER", nullptr, nullptr, &p.time_to_origin_upper},
        {"POPSIZE_ORIGIN_THA_LOWER", nullptr, nullptr, &p.popsize_origin_tha_lower},
        {"POPSIZE_ORIGIN_THA_UPPER", nullptr, nullptr, &p.popsize_origin_tha_upper},
        {"POPSIZE_PRESENT_THA_LOWER", nullptr, nullptr, &p.popsize_present_tha_lower},
        {"POPSIZE_PRESENT_THA_UPPER", nullptr, nullptr, &p.popsize_present_tha_upper},
        {"POPSIZE_ORIGIN_SUE_LOWER", nullptr, nullptr, &p.popsize_origin_sue_lower},
        {"POPSIZE_ORIGIN_SUE_UPPER", nullptr, nullptr, &p.popsize_origin_sue_upper},
        {"POPSIZE_PRESENT_SUE_LOWER", nullptr, nullptr, &p.popsize_present_sue_lower},
        {"POPSIZE_PRESENT_SUE_UPPER", nullptr, nullptr, &p.popsize_present_sue_upper},
        {"PRIOR_DISTRIBUTION", nullptr, &p.prior_distribution, nullptr},
        {"REPEATS", nullptr, &p.repeats, nullptr},
        {"EPSILON", nullptr, nullptr, &p.epsilon},
        {"CONDITIONAL_NUMBER_OF_ORIGINS", nullptr, &p.conditional_number_of_origins, nullptr},
        {"UNEQUAL_FOUNDING_FRACTIONS", nullptr, nullptr, &p.unequal_founding_fractions},
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

// Applies one line. Returns true when it assigned a setting.
bool applyLine(const std::string& line, int lineNumber,
               std::array<Setting, kNumbSettings>& settings) {
    std::size_t hash = line.find('#');
    if (hash == std::string::npos) return false;
    const std::string data = line.substr(0, hash);

    std::size_t keyEnd = 0;
    std::size_t keyBegin = nextWord(data, 0, keyEnd);
    if (keyBegin == std::string::npos) return false;
    std::string key = data.substr(keyBegin, keyEnd - keyBegin);
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    Setting* setting = nullptr;
    for (Setting& s : settings) {
        if (key == s.key) {
            setting = &s;
            break;
        }
    }
    if (setting == nullptr) return false;

    std::string value;
    std::size_t valueEnd = 0;
    std::size_t valueBegin = nextWord(data, keyEnd, valueEnd);
    std::size_t settingEnd = keyEnd;
    if (valueBegin != std::string::npos) {
        value = data.substr(valueBegin, valueEnd - valueBegin);
        settingEnd = valueEnd;
    }
    // A setting that does not fit the record's buffers would be silently cut;
    // refuse it instead.
    if (value.size() > kWordChars || settingEnd > kDataPartChars)
        fail("error: readInfile: line " + std::to_string(lineNumber) + ": value of " +
             setting->key + " is too long\n");

    if (setting->name != nullptr) {
        if (!value.empty()) {
            std::memset(setting->name, 0, kWordChars + 1);
            std::memcpy(setting->name, value.data(), value.size());
        }
    } else if (setting->integer != nullptr) {
        if (!leadingInt32(value.c_str(), *setting->integer))
            fail("error: readInfile: line " + std::to_string(lineNumber) + ": value of " +
                 setting->key + " is outside the 32-bit integer range\n");
    } else {
        *setting->real = std::strtod(value.c_str(), nullptr);
    }
    return true;
}

}  // namespace

std::unique_ptr<params> readInfile(const char* fileName) {
    auto p = std::make_unique<params>();
    LineReader reader(fileName, kLineChars);
    if (!reader.isOpen()) fail("Error opening infile");

    std::array<Setting, kNumbSettings> settings = settingsOf(*p);
    int numbAssigned = 0;
    int numbLinesRead = 0;
    while (numbAssigned < kNumbSettings) {
        if (numbLinesRead == kMaxLines)
            fail("error: readInfile: all parameters are not assigned\n");
        std::string line = reader.next();
        ++numbLinesRead;
        // A NUL byte would end a value early as a C string; a file holding one
        // is no text file, so refuse it rather than read past it.
        if (line.find('\0') != std::string::npos)
            fail("error: readInfile: line " + std::to_string(numbLinesRead) + ": NUL byte\n");
        if (applyLine(line, numbLinesRead, settings)) ++numbAssigned;
    }
    return p;
}
