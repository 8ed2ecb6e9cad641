#include "study/StudyFile.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "base/EditDistance.h"
#include "io/ParameterFile.h"

namespace fs = std::filesystem;

namespace {

// The keys of a parameter file that the study sets itself, from the data and
// from its own folder: a model may not set them.
bool setByStudy(const std::string& key) {
    return key == "DATAFILE_NAME" || key == "OUTFILE_NAME" || key == "NUMBER_OF_THA_LINES" ||
           key == "NUMBER_OF_SUE_LINES" || key == "NUMBER_OF_LOCI" || key == "REPEATS";
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// " (did you mean NAME?)" for the known name nearest to `key`, when it is
// near enough to be a slip (at most 2 letters, or a third of a long key, and 3 at most, differ).
std::string didYouMean(const std::string& key, const std::vector<std::string>& known) {
    std::string best;
    std::size_t bestDistance = 0;
    for (const std::string& name : known) {
        const std::size_t d = editDistance(upper(key), upper(name));
        if (best.empty() || d < bestDistance) best = name, bestDistance = d;
    }
    if (best.empty() || bestDistance > std::min<std::size_t>(3, std::max<std::size_t>(2, key.size() / 3)))
        return "";
    return " (did you mean " + best + "?)";
}

// Reading one table: every problem names the file, the table and the key.
class TableReader {
  public:
    TableReader(const toml::table& table, std::string file, std::string name)
        : table_(table), file_(std::move(file)), name_(std::move(name)) {}

    std::string where(const std::string& key) const {
        return file_ + ": [" + name_ + "] " + key + ": ";
    }

    // Every key of the table must be one of `known`.
    std::string unknownKeys(const std::vector<std::string>& known) const {
        for (const auto& [key, value] : table_) {
            const std::string k(key.str());
            if (std::find(known.begin(), known.end(), k) == known.end())
                return where(k) + "not a key of [" + name_ + "]" + didYouMean(k, known);
        }
        return "";
    }

    std::string text(const std::string& key, std::string& out) const {
        const toml::node* node = table_.get(key);
        if (!node) return "";
        if (auto s = node->value<std::string>()) {
            out = *s;
            if (out.empty()) return where(key) + "is empty";
            return "";
        }
        if (auto n = node->as_integer()) {  // population numbers may be written as numbers
            out = std::to_string(n->get());
            return "";
        }
        return where(key) + "give a text in quotes";
    }

    std::string whole(const std::string& key, long long lowest, long long highest,
                      long long& out) const {
        const toml::node* node = table_.get(key);
        if (!node) return "";
        const auto* n = node->as_integer();
        if (!n || n->get() < lowest || n->get() > highest)
            return where(key) + "give a whole number from " + std::to_string(lowest) + " to " +
                   std::to_string(highest);
        out = n->get();
        return "";
    }

    const toml::table& table() const { return table_; }

  private:
    const toml::table& table_;
    std::string file_, name_;
};

// The keys of `table` in the order the file writes them (a TOML table keeps
// its keys sorted by name).
std::vector<std::pair<std::string, const toml::node*>> inFileOrder(const toml::table& table) {
    std::vector<std::pair<std::string, const toml::node*>> keys;
    for (const auto& [key, value] : table) keys.push_back({std::string(key.str()), &value});
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
        const auto& x = a.second->source().begin;
        const auto& y = b.second->source().begin;
        return x.line != y.line ? x.line < y.line : x.column < y.column;
    });
    return keys;
}

std::string absoluteIn(const std::string& folder, const std::string& path) {
    return (fs::path(path).is_absolute() ? fs::path(path) : fs::path(folder) / path)
        .lexically_normal()
        .string();
}

// A parameter-file value as the study file writes it.
std::string valueText(const toml::node& node, bool& ok) {
    ok = true;
    if (auto i = node.as_integer()) return std::to_string(i->get());
    if (auto f = node.as_floating_point()) {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", f->get());
        for (int digits = 1; digits <= 17; ++digits) {  // the shortest text that reads back
            std::snprintf(text, sizeof text, "%.*g", digits, f->get());
            if (std::strtod(text, nullptr) == f->get()) break;
        }
        return text;
    }
    if (auto s = node.value<std::string>()) return *s;
    ok = false;
    return "";
}

std::string readOverrides(const TableReader& reader, const std::vector<std::string>& skip,
                          std::vector<SettingOverride>& out) {
    const std::vector<std::string>& keys = studySettingKeys();
    for (const auto& [k, node] : inFileOrder(reader.table())) {
        const toml::node& value = *node;
        if (std::find(skip.begin(), skip.end(), k) != skip.end()) continue;
        const std::string K = upper(k);
        if (setByStudy(K))
            return reader.where(k) + "set by the study itself (from the data" +
                   (K == "REPEATS" ? "; give [model] simulations" : "") + ")";
        if (std::find(keys.begin(), keys.end(), K) == keys.end()) {
            std::vector<std::string> known = keys;
            known.insert(known.end(), skip.begin(), skip.end());
            return reader.where(k) + "not a key of a parameter file" + didYouMean(k, known);
        }
        bool ok = false;
        const std::string text = valueText(value, ok);
        if (!ok || text.empty() || text.find_first_of(" \t#\n") != std::string::npos)
            return reader.where(k) + "give a number or a single word";
        out.push_back({K, text});
    }
    return "";
}

bool validModelName(const std::string& name) {
    if (name.empty() || name.size() > 16) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
    return true;
}

}  // namespace

const std::vector<std::string>& studySettingKeys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k;
        for (const char* key : settingKeys())
            if (!setByStudy(key)) k.push_back(key);
        // The mutation model's keys, which a model may set on its own.
        for (const char* key : optionalSettingKeys()) k.push_back(key);
        return k;
    }();
    return keys;
}

std::string parseStudyText(const std::string& text, const std::string& path,
                           StudySettings& study) {
    study = StudySettings();
    study.path = fs::absolute(path).lexically_normal().string();
    study.folder = fs::path(study.path).parent_path().string();
    study.text = text;
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        return path + " line " + std::to_string(e.source().begin.line) + ": " +
               std::string(e.description());
    }
    const std::vector<std::string> tables = {"data", "model", "models", "run", "slurm"};
    for (const auto& [key, value] : root) {
        const std::string k(key.str());
        if (std::find(tables.begin(), tables.end(), k) == tables.end())
            return path + ": [" + k + "]: not a table of a study file" + didYouMean(k, tables);
        if (!value.is_table()) return path + ": " + k + ": give a table [" + k + "]";
    }
    static const toml::table empty;
    const auto tableOf = [&](const char* name) -> const toml::table& {
        const toml::table* t = root[name].as_table();
        return t ? *t : empty;
    };

    // [data]
    const TableReader data(tableOf("data"), path, "data");
    std::string problem =
        data.unknownKeys({"genepop", "data", "sue", "tha", "repeat_unit", "repeat_units"});
    if (problem.empty()) problem = data.text("genepop", study.genepop);
    if (problem.empty()) problem = data.text("data", study.data);
    if (problem.empty()) problem = data.text("sue", study.sue);
    if (problem.empty()) problem = data.text("tha", study.tha);
    if (problem.empty()) problem = data.text("repeat_units", study.repeatUnits);
    long long unit = 0;
    if (problem.empty()) problem = data.whole("repeat_unit", 1, 1000, unit);
    if (!problem.empty()) return problem;
    study.repeatUnit = static_cast<int>(unit);
    if (study.genepop.empty() == study.data.empty())
        return data.where("genepop") + "give either genepop or data, not " +
               (study.genepop.empty() ? "neither" : "both");
    if (!study.genepop.empty()) {
        if (study.sue.empty() || study.tha.empty())
            return data.where(study.sue.empty() ? "sue" : "tha") +
                   "missing: name the population of the Genepop file";
        if (unit > 0 && !study.repeatUnits.empty())
            return data.where("repeat_unit") + "give repeat_unit or repeat_units, not both";
        study.genepop = absoluteIn(study.folder, study.genepop);
        if (!study.repeatUnits.empty()) study.repeatUnits = absoluteIn(study.folder, study.repeatUnits);
    } else {
        for (const char* key : {"sue", "tha", "repeat_unit", "repeat_units"})
            if (data.table().contains(key))
                return data.where(key) + "only with genepop (a data file names its lines itself)";
        study.data = absoluteIn(study.folder, study.data);
    }

    // [model]
    const TableReader model(tableOf("model"), path, "model");
    if (problem.empty()) problem = model.text("parameters", study.parameters);
    long long simulations = 0;
    if (problem.empty()) problem = model.whole("simulations", 1, 2000000000, simulations);
    if (problem.empty()) problem = readOverrides(model, {"parameters", "simulations"}, study.shared);
    if (!problem.empty()) return problem;
    if (study.parameters.empty()) return model.where("parameters") + "missing: name a parameter file";
    study.parameters = absoluteIn(study.folder, study.parameters);
    study.simulations = static_cast<long>(simulations);

    // [models.NAME]
    const toml::table& models = tableOf("models");
    for (const auto& [name, node] : inFileOrder(models)) {
        const toml::node& value = *node;
        StudyModel m;
        m.name = name;
        if (!validModelName(m.name))
            return path + ": [models." + m.name +
                   "]: a model's name is 1 to 16 letters, digits, '_' or '-'";
        if (!value.is_table()) return path + ": models." + m.name + ": give a table [models." + m.name + "]";
        const TableReader reader(*value.as_table(), path, "models." + m.name);
        problem = readOverrides(reader, {}, m.settings);
        if (!problem.empty()) return problem;
        study.models.push_back(std::move(m));
    }
    if (study.models.empty())
        return path + ": [models]: give at least one model, as [models.NAME]";

    // [run]
    const TableReader run(tableOf("run"), path, "run");
    problem = run.unknownKeys({"seed", "threads", "estimate", "trees", "ppc_simulations"});
    long long seed = 1, threads = 0, trees = 500, ppc = 1000;
    if (problem.empty()) problem = run.whole("seed", 0, INT64_MAX, seed);
    if (problem.empty()) problem = run.whole("threads", 0, 4096, threads);
    if (problem.empty()) problem = run.whole("trees", 1, 100000, trees);
    if (problem.empty()) problem = run.whole("ppc_simulations", 10, 10000000, ppc);
    std::string estimate = "chosen";
    if (problem.empty()) problem = run.text("estimate", estimate);
    if (problem.empty() && estimate != "chosen" && estimate != "all")
        problem = run.where("estimate") + "give \"chosen\" or \"all\"";
    if (!problem.empty()) return problem;
    study.seed = static_cast<uint64_t>(seed);
    study.threads = static_cast<int>(threads);
    study.trees = static_cast<int>(trees);
    study.ppcSimulations = static_cast<long>(ppc);
    study.estimateAll = estimate == "all";

    // [slurm]: read whether or not --slurm is given, so that a slip in it
    // shows before the study is ever sent to a cluster.
    const TableReader slurm(tableOf("slurm"), path, "slurm");
    problem = slurm.unknownKeys({"tasks", "sbatch"});
    long long tasks = 0;
    if (problem.empty()) problem = slurm.whole("tasks", 1, kMostSlurmTasks, tasks);
    if (!problem.empty()) return problem;
    study.slurm.tasks = static_cast<int>(tasks);
    if (const toml::node* node = slurm.table().get("sbatch")) {
        const toml::array* list = node->as_array();
        if (!list) return slurm.where("sbatch") + "give a list of texts, as [\"--partition=short\"]";
        for (const toml::node& item : *list) {
            const std::optional<std::string> text = item.value<std::string>();
            if (!text || text->empty())
                return slurm.where("sbatch") + "give a list of texts, as [\"--partition=short\"]";
            study.slurm.sbatch.push_back(*text);
        }
    }
    return "";
}

std::string readStudyFile(const std::string& path, StudySettings& study) {
    if (fs::is_directory(path)) return path + ": is a folder; give the study file";
    std::ifstream in(path, std::ios::binary);
    if (!in) return path + ": cannot be read";
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return path + ": cannot be read";
    return parseStudyText(text.str(), path, study);
}
