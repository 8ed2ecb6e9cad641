#include "base/OptionError.h"

#include <cctype>
#include <map>
#include <vector>

#include "base/EditDistance.h"

namespace {

// The word as an option's name: "--trees=5" is "--trees"; "" for what is no
// option (a value, a file name, a negative number, "-" for standard input).
std::string optionWord(const std::string& word) {
    if (word.size() < 2 || word[0] != '-') return "";
    if (std::isdigit(static_cast<unsigned char>(word[1])) || word[1] == '.') return "";
    if (word == "--") return "";
    return word.substr(0, word.find('='));
}

// Every name of every option of `app`, as written on a command line.
std::vector<std::string> optionNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::Option* option : app.get_options()) {
        for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
        for (const std::string& name : option->get_snames()) names.push_back("-" + name);
    }
    return names;
}

const CLI::Option* findOption(const CLI::App& app, const std::string& name) {
    for (const CLI::Option* option : app.get_options())
        if (option->check_name(name)) return option;
    return nullptr;
}

std::string unknownOptions(const CLI::App& app, int argc, const char* const* argv,
                           const std::vector<std::string>& others) {
    std::vector<std::string> unknown;
    for (int i = 1; i < argc; ++i) {
        const std::string name = optionWord(argv[i]);
        if (name.empty()) continue;
        const CLI::Option* option = findOption(app, name);
        if (option == nullptr) {
            unknown.push_back(name);
        } else if (option->get_type_size_max() > 0 && name.size() == std::string(argv[i]).size()) {
            ++i;  // its value, which may look like an option
        }
    }
    if (unknown.empty()) return "";
    std::string text = unknown.size() == 1 ? "unknown option" : "unknown options";
    for (std::size_t u = 0; u < unknown.size(); ++u) {
        const std::string near = nearestOption(app, unknown[u], others);
        text += (u == 0 ? " '" : ", '") + unknown[u] + "'";
        if (!near.empty())
            text += unknown.size() == 1 ? "; did you mean " + near + "?"
                                        : " (did you mean " + near + "?)";
    }
    return text;
}

std::string repeatedOption(const CLI::App& app, int argc, const char* const* argv) {
    std::map<const CLI::Option*, std::vector<std::string>> values;
    std::vector<const CLI::Option*> order;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i], name = optionWord(word);
        if (name.empty()) continue;
        const CLI::Option* option = findOption(app, name);
        if (option == nullptr || option->get_type_size_max() == 0) continue;
        std::string value;
        if (name.size() < word.size()) {
            value = word.substr(name.size() + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        }
        if (values[option].empty()) order.push_back(option);
        values[option].push_back(value);
    }
    for (const CLI::Option* option : order) {
        const std::vector<std::string>& given = values[option];
        if (given.size() < 2 || option->get_expected_max() != 1) continue;
        std::string list;
        for (const std::string& value : given) list += (list.empty() ? "" : ", ") + value;
        return option->get_name() + " is given " + std::to_string(given.size()) + " times (" +
               list + "); give it once";
    }
    return "";
}

}  // namespace

std::string nearestOption(const CLI::App& app, const std::string& word,
                          const std::vector<std::string>& others) {
    std::string best;
    std::size_t bestDistance = 0;
    std::vector<std::string> names = optionNames(app);
    names.insert(names.end(), others.begin(), others.end());
    for (const std::string& name : names) {
        const std::size_t d = editDistance(word, name);
        if (best.empty() || d < bestDistance) best = name, bestDistance = d;
    }
    // A slip: two keys at most (a swap of two letters is two), and no more
    // than about half of the word's letters, so that "--x" is not taken for
    // "--tsv" nor "--rnu" refused "--run".
    const std::size_t letters = word.find_first_not_of('-') == std::string::npos
                                    ? 0
                                    : word.size() - word.find_first_not_of('-');
    return !best.empty() && bestDistance <= 2 && 2 * bestDistance <= letters + 1 ? best : "";
}

std::string optionErrorMessage(const CLI::App& app, const CLI::ParseError& error, int argc,
                               const char* const* argv, const std::vector<std::string>& others) {
    std::string text;
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr)
        text = unknownOptions(app, argc, argv, others);
    else if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr)
        text = repeatedOption(app, argc, argv);
    return text.empty() ? error.what() : text;
}
