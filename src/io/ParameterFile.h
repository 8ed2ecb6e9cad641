#pragma once

#include <array>
#include <memory>
#include <string>

#include "sim/Columns.h"
#include "sim/ModelVersion.h"
#include "sim/Params.h"
#include "sim/PriorBounds.h"

// Reads the parameter file `fileName` into a new record owned by the caller.
//
// Format: a setting is a line "KEY VALUE # comment". Only lines holding a '#'
// are looked at; the words before the first '#' are split at blanks and tabs,
// the first word (case-folded) is the key, the second the value, further
// words are ignored. Unknown keys and lines without '#' are ignored. Reading
// stops at the 23rd assignment (a repeated key counts again and overwrites);
// if 999 lines pass first, the run ends with an error. Integers are read as
// atoi reads them (leading integer, 0 when none), reals as strtod does. A NUL
// byte in a line that is read is an error that names the line (lines after the
// 23rd assignment are never read).
//
// Returns only with 23 assignments counted; every error prints its message on
// standard output and ends the process with status 1.
std::unique_ptr<params> readInfile(const char* fileName);

// The pieces of readInfile, for a reader that must not end the process (the
// settings check): the same rules, line by line.

constexpr int kNumbSettings = 23;                 // assignments after which reading stops
constexpr int kMaxParameterLines = 999;           // lines read at most
constexpr std::size_t kParameterLineChars = 255;  // characters of a line that are read

// The keys, in the order of the record's fields.
const std::array<const char*, kNumbSettings>& settingKeys();

// The optional keys of the mutation model: GSM_P_LOWER, GSM_P_UPPER,
// LOCUS_RATE_SHAPE. They are reals, read on any line among those read (also
// after the 23rd assignment, up to the 999th line), and never counted as
// assignments; a repeated one overwrites.
constexpr int kNumbOptionalSettings = 3;
const std::array<const char*, kNumbOptionalSettings>& optionalSettingKeys();

enum class SettingKind { name, integer, real };
// How the value of key number `keyIndex` (into settingKeys()) is read.
SettingKind settingKind(int keyIndex);

// One line of a parameter file as the reader sees it.
struct SettingLine {
    bool hasHash = false;    // the line holds a '#'
    bool isSetting = false;  // holds a '#' and its first word is a key: an assignment
    std::string key;         // first word before the '#', upper-cased ("" when none)
    std::string value;       // second word ("" when none)
    std::string rest;        // words after the value, which the reader ignores
    int keyIndex = -1;       // index of `key` in settingKeys(), -1 when it is none
    int optionalIndex = -1;  // index of `key` in optionalSettingKeys() on a line with '#'
    std::string error;       // the reader's message when this line ends the run
};

// Parses line `lineNumber` (from 1): a NUL byte anywhere, or an assignment
// whose value does not fit the record, sets `error` to readInfile's message.
SettingLine parseSettingLine(const std::string& line, int lineNumber);

// Stores the value of the assignment `s` (isSetting, no error) in `p` as
// readInfile does. Returns readInfile's message when the value does not fit
// (an integer outside the 32-bit range), else "".
std::string assignSetting(params& p, const SettingLine& s, int lineNumber);

// Stores the value of the optional key of `s` (optionalIndex >= 0) in `p`,
// read as strtod reads it, and marks the key as given.
void assignOptionalSetting(params& p, const SettingLine& s);

// Why the run cannot use the mutation model's keys in `p`, or "" when it can:
// each GSM_P bound in [0, 0.95), the lower not above the upper, both or
// neither given; LOCUS_RATE_SHAPE a number not below 0; and none of them
// under the legacy model, which keeps the strict model and refuses rather
// than ignores them. The message starts "error: parameters: " and ends with
// a line end.
std::string mutationKeysFault(const params& p, ModelVersion model);

// The priors of the estimated columns, as a run's parameter file sets them
// (`foundabc-summary --params params.txt`). The summary uses them for the
// scale of each column (log-uniform priors are summarised and drawn on a log
// scale) and to draw the prior beside the posterior.
struct PriorSettings {
    std::array<ColumnPrior, numbParamColumns> columns{};
    // GsmP's prior (uniform, not scaled by PRIOR_DISTRIBUTION) when the file
    // sets GSM_P_LOWER and GSM_P_UPPER with the lower below the upper.
    ColumnPrior gsmP{};
    std::string error;  // empty on success
};

// Reads the prior bounds and PRIOR_DISTRIBUTION from the parameter file at
// `path`. Lines are read as the program reads them: `KEY VALUE # comment`,
// keys in any letter case, lines without '#' ignored; the first line that
// sets a key counts. `error` names the file and the problem when it cannot
// be read, a bound or PRIOR_DISTRIBUTION is missing, or a lower bound is not
// below its upper bound. The GSM keys are read when both are there; bounds
// that cannot be read leave gsmP unknown (the run's own check names them).
PriorSettings readPriorSettings(const std::string& path);
