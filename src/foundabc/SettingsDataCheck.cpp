// The settings check's look at the data file the settings name: what stops
// the run as it reads the file, and observed data that accept nothing.
#include <array>
#include <filesystem>

#include "foundabc/SettingsChecker.h"
#include "io/DataFile.h"
#include "run/StartUp.h"
#include "sim/SummaryStats.h"

namespace fs = std::filesystem;

void SettingsChecker::checkDataFile(std::ostream& out) {
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
    const bool opened = scan.faults.empty() || scan.faults.front().kind != DataFileFault::cannotOpen;
    const std::vector<DataFileMismatch> mismatches =
        opened ? dataFileMismatches(scan, name, p.number_of_sue_lines, p.number_of_tha_lines)
               : std::vector<DataFileMismatch>();
    for (const DataFileMismatch& m : mismatches) {
        const std::string count = std::to_string(m.inFile);
        problems_.push_back(
            {order++, where + ", line 1",
             "the header names " + count + (m.key[10] == 'S' ? " sue" : " tha") +
                 " lines, but " + keyAt(m.key) + " asks for " + valueOf(m.key) + ": " +
                 stopsWith(m.message),
             "set " + std::string(m.key) + " to " + count +
                 " (the sue lines come first on every locus line), or correct the header"});
    }
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
    // What the run ignores is no problem, but worth knowing: lines after the
    // last locus may be loci NUMBER_OF_LOCI leaves out.
    if (scan.faults.empty()) {
        const std::string ignored = ignoredData(scan, numbLines, keyAt("NUMBER_OF_LOCI"));
        if (!ignored.empty())
            notes_.push_back(where + ": note: " + ignored + "; the run says so on standard error");
    }
    if (scan.faults.empty()) checkThreshold(scan.matrix, where, order);
    out << "data file: " << resolved.string() << " (" << p.number_of_loci << " loci of "
        << numbLines << " values)\n";
}

// The run accepts a set when its distance is strictly below the threshold
// (S_obs_sue + S_obs_tha) x EPSILON, so a threshold of 0 accepts nothing.
// The observed statistics are 0 without loci, or when no population has
// two different values at any locus (missing values left out).
void SettingsChecker::checkThreshold(const AlleleMatrix& observed, const std::string& where, int order) {
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
std::string SettingsChecker::dataFileNotFoundFix(const std::string& name) const {
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
