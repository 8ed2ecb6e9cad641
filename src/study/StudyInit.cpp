#include "study/StudyInit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "io/Conversion.h"
#include "io/FinishedFile.h"
#include "io/GenepopFile.h"

namespace fs = std::filesystem;

namespace {

std::string writeNew(const std::string& path, const std::string& text) {
    FinishedFile file(path);
    if (!file.error().empty() || !file.write(text) || !file.commit(false))
        return file.alreadyExists() ? path + " already exists; the study folder is left as it was"
                                    : "cannot write " + path + " (" + file.error() + ")";
    return "";
}

// A TOML string of `text` (basic string, with its quotes and backslashes escaped).
std::string tomlString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string initStudy(const StudyInitOptions& o) {
    GenepopFile file;
    std::string error = readGenepopFile(o.genepop, file);
    if (!error.empty()) return error;
    ConversionChoice choice;
    choice.sue = findPopulation(file, o.sue, "--sue", error);
    if (choice.sue < 0) return error;
    choice.tha = findPopulation(file, o.tha, "--tha", error);
    if (choice.tha < 0) return error;
    if (choice.sue == choice.tha) return "--sue " + o.sue + " and --tha " + o.tha + " choose the same population";
    if (o.repeatUnit > 0) choice.units.assign(file.loci.size(), o.repeatUnit);
    const Conversion conversion = convertGenepop(file, choice);

    std::error_code ec;
    fs::create_directories(o.folder, ec);
    if (ec) return "cannot make the folder " + o.folder + " (" + ec.message() + ")";
    if (fs::exists(fs::path(o.folder) / "study.toml"))
        return o.folder + "/study.toml already exists; the study folder is left as it was";
    const std::string genepopName = fs::path(o.genepop).filename().string();
    const fs::path copy = fs::path(o.folder) / genepopName;
    if (!fs::exists(copy)) {
        fs::copy_file(o.genepop, copy, ec);
        if (ec) return "cannot copy " + o.genepop + " into " + o.folder + " (" + ec.message() + ")";
    }

    // The sizes of sue: it holds at least the lines sampled from it today.
    const int sueLines = conversion.sueLines;
    const int sueLower = std::max(10, sueLines);
    char sueLog[32];
    std::snprintf(sueLog, sizeof sueLog, "%-13.3f", std::log10(static_cast<double>(sueLower)));
    std::ostringstream base;
    base << "foundabc parameter file of a study, written by foundabc-study --init from "
         << genepopName << ".\nThe study sets the file names, the sample sizes and the loci "
            "from the data, and REPEATS from\n[model] simulations; edit the priors below to "
            "what is known of the species.\n\n"
            "# --- files and samples: set by the study ---\n"
            "DATAFILE_NAME             data.txt      # set by the study\n"
            "OUTFILE_NAME              results.txt   # set by the study\n"
         << "NUMBER_OF_SUE_LINES       " << sueLines << "            # set by the study\n"
         << "NUMBER_OF_THA_LINES       " << conversion.thaLines << "            # set by the study\n"
         << "NUMBER_OF_LOCI            " << file.loci.size() << "            # set by the study\n"
         << "\n# --- model: the study's models set CONDITIONAL_NUMBER_OF_ORIGINS ---\n"
            "ALPHA                     0.5           # share of the time since founding spent growing\n"
            "CONDITIONAL_NUMBER_OF_ORIGINS 0         # set per model in study.toml\n"
            "UNEQUAL_FOUNDING_FRACTIONS 0            # >0: two founders, share of the second\n"
            "\n# --- priors: wide, log-uniform (bounds are log10 values) ---\n"
            "PRIOR_DISTRIBUTION        1             # log-uniform: each order of magnitude as likely\n"
            "MY_LOWER                  -5            # 1e-5: below the slowest microsatellite rates\n"
            "MY_UPPER                  -2            # 1e-2: above the fastest\n"
            "TIME_TO_ORIGIN_LOWER      1             # 10 generations: a recent founding\n"
            "TIME_TO_ORIGIN_UPPER      4             # 10000 generations: an old one\n"
            "POPSIZE_ORIGIN_THA_LOWER  2             # 100: a small parental population\n"
            "POPSIZE_ORIGIN_THA_UPPER  5             # 100000: a large one\n"
            "POPSIZE_PRESENT_THA_LOWER 2             # 100, as at the founding\n"
            "POPSIZE_PRESENT_THA_UPPER 5             # 100000\n"
            "POPSIZE_ORIGIN_SUE_LOWER  0             # 1 founder\n"
            "POPSIZE_ORIGIN_SUE_UPPER  2             # 100 founders\n"
         << "POPSIZE_PRESENT_SUE_LOWER " << sueLog << " # " << sueLower << ": at least the " << sueLines
         << " lines sampled from sue (10 at least)\n"
            "POPSIZE_PRESENT_SUE_UPPER 5             # 100000\n"
            // Left commented: without them the loci mutate by single steps at
            // one rate, the model's classic form; with them P and the spread
            // of rates enter the model (man foundabc-params).
            "\n# --- mutation: single steps at one rate for all loci unless set ---\n"
            "# GSM_P_LOWER             0             # multi-step jumps: prior of P, the chance that a\n"
            "# GSM_P_UPPER             0.5           # jump goes on by one more repeat (0: single steps)\n"
            "# LOCUS_RATE_SHAPE        2             # rates that differ between loci: Gamma shape\n"
            "\n# --- rejection (the study's estimates use forests on the whole table) ---\n"
            "REPEATS                   5000          # set by [model] simulations\n"
            "EPSILON                   0.1           # accept when the distance < (S_obs_sue + S_obs_tha) * EPSILON\n";

    std::ostringstream toml;
    toml << "# A study written by foundabc-study --init: edit the priors in base.txt, then run\n"
            "#   foundabc-study " << (fs::path(o.folder) / "study.toml").string() << "\n\n"
            "[data]\n"
         << "genepop = " << tomlString(genepopName) << "\n"
         << "sue = " << tomlString(o.sue) << "\n"
         << "tha = " << tomlString(o.tha) << "\n";
    if (o.repeatUnit > 0) toml << "repeat_unit = " << o.repeatUnit << "\n";
    toml << "\n[model]\n"
            "parameters = \"base.txt\"    # the settings every model shares\n"
            "simulations = 20000          # per model\n\n"
            "[models.plain]                # growth from the founders\n"
            "CONDITIONAL_NUMBER_OF_ORIGINS = 0\n\n"
            "[models.k2]                   # two founding origins\n"
            "CONDITIONAL_NUMBER_OF_ORIGINS = 2\n\n"
            "[run]\n"
            "seed = 1                     # one seed for the whole study\n"
            "threads = 0                  # every core; the results do not depend on it\n";
    error = writeNew((fs::path(o.folder) / "base.txt").string(), base.str());
    if (error.empty()) error = writeNew((fs::path(o.folder) / "study.toml").string(), toml.str());
    return error;
}
