#include "study/StudyData.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "io/Conversion.h"
#include "io/DataFile.h"
#include "io/FinishedFile.h"
#include "io/GenepopFile.h"
#include "io/InputFile.h"
#include "io/ParameterFile.h"
#include "io/RepeatUnits.h"
#include "run/StartUp.h"

namespace {

bool readText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    text = bytes.str();
    return !in.bad();
}

// Writes `text` to `path` unless the file holds it already (so that an
// unchanged input leaves its file, and the steps after it, alone). Returns
// "" or the problem; sets `changed` when it wrote.
std::string writeIfChanged(const std::string& path, const std::string& text, bool& changed) {
    std::string old;
    if (readText(path, old) && old == text) return "";
    FinishedFile file(path);
    if (!file.error().empty() || !file.write(text) || !file.commit(true))
        return "cannot write " + path + " (" + file.error() + ")";
    changed = true;
    return "";
}

std::string importGenepop(const StudySettings& study, std::string& text, StudyData& data) {
    GenepopFile file;
    std::string error = readGenepopFile(study.genepop, file);
    if (!error.empty()) return error;
    ConversionChoice choice;
    choice.sue = findPopulation(file, study.sue, "sue", error);
    if (choice.sue < 0) return study.path + ": [data] " + error;
    choice.tha = findPopulation(file, study.tha, "tha", error);
    if (choice.tha < 0) return study.path + ": [data] " + error;
    if (choice.sue == choice.tha)
        return study.path + ": [data] sue " + study.sue + " and tha " + study.tha +
               " both choose population " + std::to_string(choice.sue + 1);
    if (!study.repeatUnits.empty()) {
        if (std::string problem = directoryProblem(study.repeatUnits); !problem.empty())
            return problem;
        std::ifstream units(study.repeatUnits, std::ios::binary);
        if (!units) return "cannot open the repeat-units file " + study.repeatUnits;
        error = readRepeatUnits(units, study.repeatUnits, file.loci, choice.units);
        if (!error.empty()) return error;
    } else if (study.repeatUnit > 0) {
        choice.units.assign(file.loci.size(), study.repeatUnit);
    }
    const Conversion conversion = convertGenepop(file, choice);
    text = formatDataFile(conversion.matrix, conversion.sueLines, conversion.thaLines);
    data.sueLines = conversion.sueLines;
    data.thaLines = conversion.thaLines;
    data.loci = static_cast<int>(file.loci.size());
    return "";
}

// The shape of a data file: its header names the lines, and every line after
// it that is not blank is a locus.
std::string readDataShape(const StudySettings& study, const std::string& text, StudyData& data) {
    std::istringstream lines(text);
    std::string header, line;
    std::getline(lines, header);
    namedLines(header, data.sueLines, data.thaLines);
    if (data.sueLines < 1 || data.thaLines < 1)
        return study.data + ": the header does not name the lines of sue and tha (as "
                            "\"locus sue1..sue20 tha1..tha30\")";
    data.loci = 0;
    while (std::getline(lines, line))
        if (line.find_first_not_of(" \t\r") != std::string::npos) ++data.loci;
    if (data.loci == 0) return study.data + ": no locus after the header";
    return "";
}

long missingValues(const std::string& text) {
    std::istringstream words(text.substr(text.find('\n') + 1));
    long missing = 0;
    for (std::string word; words >> word;)
        if (word == "-9") ++missing;
    return missing;
}

}  // namespace

std::string modelParametersName(const std::string& name) { return name + ".params.txt"; }
std::string modelResultsName(const std::string& name) { return name + ".results.txt"; }

std::string overrideSettings(const std::string& base, const std::vector<SettingOverride>& settings,
                             std::string& out) {
    std::vector<bool> done(settings.size(), false);
    std::istringstream lines(base);
    std::ostringstream text;
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        const SettingLine s = parseSettingLine(line, ++number);
        std::size_t k = 0;
        while (k < settings.size() && !(s.isSetting && !done[k] && settings[k].first == s.key)) ++k;
        if (k < settings.size()) {
            done[k] = true;
            std::string key = settings[k].first;
            key.resize(std::max<std::size_t>(key.size() + 1, 26), ' ');
            std::string value = settings[k].second;
            value.resize(std::max<std::size_t>(value.size() + 1, 14), ' ');
            line = key + value + line.substr(line.find('#'));
        }
        text << line << "\n";
    }
    // The mutation model's keys are optional: a base file without them gets
    // a line of its own for each (the comment makes it a setting line).
    const auto& optional = optionalSettingKeys();
    for (std::size_t k = 0; k < settings.size(); ++k) {
        if (done[k]) continue;
        if (std::find(optional.begin(), optional.end(), settings[k].first) == optional.end())
            return "the parameter file has no line for " + settings[k].first;
        std::string key = settings[k].first;
        key.resize(std::max<std::size_t>(key.size() + 1, 26), ' ');
        std::string value = settings[k].second;
        value.resize(std::max<std::size_t>(value.size() + 1, 14), ' ');
        text << key << value << "# set by the study's model\n";
    }
    out = text.str();
    return "";
}

std::string prepareStudyData(const StudySettings& study, const std::string& workFolder,
                             StudyData& data) {
    data = StudyData();
    std::string text;
    std::string problem;
    if (!study.genepop.empty()) {
        problem = importGenepop(study, text, data);
    } else {
        if (!readText(study.data, text)) return "cannot read the data file " + study.data;
        problem = readDataShape(study, text, data);
    }
    if (!problem.empty()) return problem;
    data.missingValues = missingValues(text);
    data.dataFile = workFolder + "/data.txt";
    problem = writeIfChanged(data.dataFile, text, data.changed);
    if (!problem.empty()) return problem;

    std::string base;
    if (!readText(study.parameters, base)) return "cannot read the parameter file " + study.parameters;
    for (const StudyModel& model : study.models) {
        std::vector<SettingOverride> settings = {
            {"DATAFILE_NAME", "data.txt"},
            {"OUTFILE_NAME", modelResultsName(model.name)},
            {"NUMBER_OF_SUE_LINES", std::to_string(data.sueLines)},
            {"NUMBER_OF_THA_LINES", std::to_string(data.thaLines)},
            {"NUMBER_OF_LOCI", std::to_string(data.loci)}};
        if (study.simulations > 0) settings.push_back({"REPEATS", std::to_string(study.simulations)});
        // A model's own key wins over the shared one.
        for (const SettingOverride& s : study.shared) {
            bool own = false;
            for (const SettingOverride& m : model.settings) own = own || m.first == s.first;
            if (!own) settings.push_back(s);
        }
        settings.insert(settings.end(), model.settings.begin(), model.settings.end());
        std::string modelText;
        problem = overrideSettings(base, settings, modelText);
        if (!problem.empty()) return study.parameters + ": model " + model.name + ": " + problem;
        const std::string path = workFolder + "/" + modelParametersName(model.name);
        problem = writeIfChanged(path, modelText, data.changed);
        if (!problem.empty()) return problem;
        data.modelFiles.push_back(path);
    }
    return "";
}
