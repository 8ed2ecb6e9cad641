#pragma once

#include <string>
#include <vector>

// Everything a study's report shows, gathered by the study's steps and
// rendered, without further computation, into report.html, report.md and the
// TSV files. Every number is held as the value the TSVs write; the renderers
// format it with one function (so the page, the Markdown and the TSVs agree).
// NaN means "not measured" and is shown as NA.

struct StudyStepRecord {
    std::string name;  // "import", "tables", "choice", "estimate", "calibration", "enough", "fit", "report"
    bool redone = false;  // false: its inputs were unchanged and its saved result was used
};

struct StudyWarning {
    std::string step;  // the step that raised it
    std::string text;  // the program's own message, one line
};

struct DataSection {
    std::string source;                // the data or Genepop file's name, as the study file gives it
    std::string sueName, thaName;      // population names (or numbers) as given
    int sueLines = 0, thaLines = 0, loci = 0;
    long missingValues = 0;            // missing allele entries in the data file
    std::vector<std::string> statNames;    // observed statistics, in table order
    std::vector<double> statValues;
};

struct PriorLine {
    std::string parameter;     // column name, e.g. "My", "GsmP"
    std::string distribution;  // "uniform" or "log-uniform"
    double lower = 0, upper = 0;
};

struct ModelSection {
    std::string name;                                         // the [models.NAME] key
    std::vector<std::pair<std::string, std::string>> settings;  // the keys that differ between models, as written
    std::vector<PriorLine> priors;
    long simulations = 0;
    std::string tableFingerprint;
};

struct ChoiceSection {
    bool present = false;  // false with a single model: the section says no choice was made
    std::vector<std::string> models;        // in study-file order
    std::vector<long> votes;                // per model, trees voting for it
    std::vector<double> priorProbability;   // per model
    std::vector<double> posteriorProbability;  // per model; NaN for models not chosen where not estimated
    std::string chosen;
    double chosenProbability = 0;           // the forest's posterior probability of the chosen model
    double priorErrorRate = 0;              // out-of-bag error rate over the tables
    std::vector<std::vector<long>> confusion;  // [true model][predicted model], out of bag
    std::string verdict;                    // the verdict sentence, from one rule
    std::string ldaSvg;                     // the LDA picture, an inline <svg> element (may be empty)
};

struct EstimateLine {
    std::string parameter;
    double median = 0, q025 = 0, q975 = 0, q25 = 0, q75 = 0, mean = 0;
    double oobError = 0;   // NaN for a fixed column
    std::string verdict;   // "informed", "weakly informed", "not informed", "fixed"
};

struct EstimateSection {
    std::string model;
    std::vector<EstimateLine> lines;
    std::vector<std::pair<std::string, double>> importance;  // statistic, importance; largest first
    std::string posteriorSvg, importanceSvg;                 // inline <svg> elements
};

struct CalibrationLine {
    std::string parameter;
    long rows = 0;            // rows with an out-of-bag prediction
    double coverage50 = 0, coverage95 = 0;  // out-of-bag coverage of the 50 % and 95 % intervals
    double oobError = 0;
    std::string verdict;
};

struct CalibrationSection {
    std::string model;
    std::vector<CalibrationLine> lines;
};

struct EnoughLine {
    std::string parameter;
    double medianHalf = 0, medianFull = 0, intervalWidth = 0;  // 95 % interval width on the full table
    double oobErrorHalf = 0, oobErrorFull = 0;
    bool medianMoved = false;  // |medianHalf - medianFull| > intervalWidth / 10
    bool errorMoved = false;   // |oobErrorHalf - oobErrorFull| > 0.02
};

struct EnoughSection {
    std::string model;
    long rowsHalf = 0, rowsFull = 0;
    std::vector<EnoughLine> lines;
    long suggestedSimulations = 0;  // 0 when none moved; otherwise the simulations to add
    std::string advice;             // the sentence, from one rule
};

struct FitStatLine {
    std::string statistic;
    double observed = 0;
    double predictiveLower = 0, predictiveUpper = 0;  // 95 % interval of the posterior predictive
    double pValue = 0;                                // two-sided predictive p-value
};

struct FitSection {
    std::string model;
    double gfitStatistic = 0, gfitPValue = 0;
    long gfitReplicates = 0;
    std::string gfitVerdict;          // from one rule
    std::vector<FitStatLine> ppc;
    std::string gfitSvg, ppcSvg;      // inline <svg> elements
    // The fit check: the data's squared Mahalanobis distance from the mean of
    // their nearest simulations, the share of the table's own simulations as
    // far or farther, and how many were scored; NaN when not measured.
    double checkStatistic = 0, checkPValue = 0;
    long checkReplicates = 0;
    // Per statistic compared, how far it lies from what the others predict
    // near the data, in standard deviations (NaN for one left out).
    std::vector<std::pair<std::string, double>> checkResiduals;
    std::string checkSvg;             // an inline <svg> element
};

struct ProvenanceSection {
    std::string programVersion;
    std::string studyFileName, studyFileText;
    unsigned long long seed = 0;
    std::vector<std::pair<std::string, unsigned long long>> seeds;      // per step/model, the seed it used
    std::vector<std::pair<std::string, std::string>> fingerprints;      // file -> fingerprint
    std::string reproduceCommand;
};

struct StudyReport {
    std::string title;  // the study folder's name
    DataSection data;
    std::vector<ModelSection> models;
    ChoiceSection choice;
    std::vector<EstimateSection> estimates;      // the chosen model, or every model
    std::vector<CalibrationSection> calibration;
    std::vector<EnoughSection> enough;
    std::vector<FitSection> fit;
    std::vector<StudyWarning> warnings;
    std::vector<StudyStepRecord> steps;
    ProvenanceSection provenance;
};
