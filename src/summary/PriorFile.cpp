#include "summary/PriorFile.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

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
    return settings;
}
