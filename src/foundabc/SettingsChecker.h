#pragma once

#include <array>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "foundabc/CommandLine.h"
#include "io/ParameterFile.h"
#include "sim/AlleleMatrix.h"
#include "sim/Params.h"
#include "run/StartUp.h"

// The settings check behind checkSettings (SettingsCheck.h), in five parts:
// the report (SettingsCheck.cpp), the run's options (SettingsOptions.cpp),
// the reading of the parameter file
// (SettingsReading.cpp), the rules of the settings as a whole
// (SettingsRules.cpp) and the data file (SettingsDataCheck.cpp). Each part
// adds the problems it finds; the report sorts and prints them.
class SettingsChecker {
  public:
    explicit SettingsChecker(const CommandLine& command)
        : command_(command),
          paramsFile_(command.infile),
          // --simulate-data draws nothing from the priors.
          allowManyMutations_(command.allowManyMutations || !command.simulateData.empty()) {}

    // Runs every check and prints the report on `out`; returns the exit status.
    int run(std::ostream& out);

  private:
    struct Problem {
        int order;  // report order: parameter-file line, then the file, then the data file
        std::string where;
        std::string what;
        std::string fix;
    };

    // What the run makes of one key of the parameter file.
    struct KeyRecord {
        std::vector<int> lines;  // lines of the assignments the run reads
        std::string value;       // value as written in the last of them
        int laterLine = 0;       // first line setting the key after reading has stopped
        int hintLine = 0;        // a line apparently meant for the key but not read as it
    };

    // Texts shared by the parts (SettingsCheck.cpp).
    static std::string lower(std::string text);
    static std::string withoutLineEnd(std::string message);
    // "`subject` stops the run with "message"".
    static std::string stopsWith(const std::string& message,
                                 const std::string& subject = "the run");
    static int keyIndex(const std::string& key);

    std::string atLine(int line) const { return paramsFile_ + ", line " + std::to_string(line); }

    void addAtLine(int line, const std::string& what, const std::string& fix) {
        problems_.push_back({line, atLine(line), what, fix});
    }
    void addForFile(const std::string& what, const std::string& fix) {
        problems_.push_back({kMaxParameterLines + 1, paramsFile_, what, fix});
    }

    bool has(int k) const { return k >= 0 && !keys_[k].lines.empty(); }
    bool has(const char* key) const { return has(keyIndex(key)); }
    int lineOf(const char* key) const { return keys_[keyIndex(key)].lines.back(); }
    const std::string& valueOf(const char* key) const { return keys_[keyIndex(key)].value; }
    std::string setting(const char* key) const { return std::string(key) + " " + valueOf(key); }
    // The setting with its line, for a problem reported on another line.
    std::string keyAt(const char* key) const {
        return std::string(key) + " " + valueOf(key) + " (line " + std::to_string(lineOf(key)) +
               ")";
    }

    // The options of the run given with --check (SettingsOptions.cpp).
    void checkOptions();
    // The record of the --from-sample file against these settings and data,
    // once both are known to be sound (SettingsOptions.cpp).
    void checkSampleRecord(std::ostream& out);

    // The parameter file (SettingsReading.cpp).
    static bool looksLikeKey(const std::string& word);
    static int nearestKey(const std::string& word, std::size_t& distance);
    static std::string shortened(const std::string& text);
    bool readParameterFile();
    void readLine(const std::string& text, int n, bool read);
    void assigned(const SettingLine& s, int n);
    bool hiddenByInvisibleCharacters(const std::string& text, const SettingLine& s, int n);
    void checkValueText(const SettingLine& s, int n);
    void reportUnreadKeys();

    // The settings as a whole (SettingsRules.cpp).
    void checkRecord();
    void checkMutationCount();
    void checkMutationKeys();
    static std::string faultFix(const SettingFault& f, bool sum);
    void checkResultsFile();

    // The data file (SettingsDataCheck.cpp).
    void checkDataFile(std::ostream& out);
    void checkThreshold(const AlleleMatrix& observed, const std::string& where, int order);
    std::string dataFileNotFoundFix(const std::string& name) const;

    CommandLine command_;
    std::string paramsFile_;
    bool allowManyMutations_;
    params settings_;
    std::array<KeyRecord, kNumbSettings> keys_;
    // The last line setting each optional key of the mutation model (0: none).
    std::array<int, kNumbOptionalSettings> optionalLines_{};
    int numbAssigned_ = 0;
    int stopLine_ = 0;
    std::vector<Problem> problems_;
    std::vector<std::string> notes_;  // what the run ignores: printed, but no problem
};
