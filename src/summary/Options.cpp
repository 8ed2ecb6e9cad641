#include "summary/Options.h"

#include <thread>

#include <algorithm>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "io/ResultsFile.h"

namespace {

bool allDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

std::string parseRunNumber(const std::string& text, std::size_t& number) {
    const std::string wanted =
        "a run number is a whole number from 1 up (the runs of a file "
        "are counted by their header lines)";
    if (!allDigits(text)) return wanted;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (errno == ERANGE || value > static_cast<unsigned long long>(SIZE_MAX))
        return "no file holds that many runs; " + wanted;
    if (value == 0) return wanted;
    number = static_cast<std::size_t>(value);
    return "";
}

std::string parseBandwidth(const std::string& text, double& h) {
    const std::string wanted = "the bandwidth must be a finite number above 0";
    if (!isDecimalNumber(text)) return wanted;
    const double value = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(value) || !(value > 0.0)) return wanted;
    h = value;
    return "";
}

std::string parseForestCount(const std::string& option, const std::string& text, int lowest,
                             int& count) {
    const bool digits = !text.empty() && text.size() <= 6 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    const long value = digits ? std::stol(text) : -1;
    if (value < lowest || value > 100000)
        return option + " '" + text + "': give a whole number from " + std::to_string(lowest) +
               " to 100000";
    count = static_cast<int>(value);
    return "";
}

ForestCountOptions::ForestCountOptions(CLI::App& app)
    : trees_(app.add_option("--trees", treesText_,
                            "With --method forest: trees per forest (default 500)")
                 ->type_name("N")),
      threads_(app.add_option("--threads", threadsText_,
                              "With --method forest: threads that grow the trees (default: "
                              "every core; the result does not depend on it)")
                   ->type_name("N")) {}

std::string ForestCountOptions::read(int& trees, int& threads) const {
    const std::string problem = parseForestCount("--trees", treesText_, 1, trees);
    return problem.empty() ? parseForestCount("--threads", threadsText_, 0, threads) : problem;
}
