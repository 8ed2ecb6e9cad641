// The settings check's reading of the parameter file: every line as the run
// reads it, what each key is assigned, and what the run would read otherwise
// than written or not at all.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "base/EditDistance.h"
#include "foundabc/SettingsChecker.h"
#include "io/LeadingInt.h"
#include "io/LineReader.h"

namespace fs = std::filesystem;

namespace {

// Reading stops at this assignment, so later lines are never read.
constexpr int kLastAssignment = kNumbSettings;
const char* const kUtf8Bom = "\xEF\xBB\xBF";
const char* const kUtf8NoBreakSpace = "\xC2\xA0";

}  // namespace

// A word that only a key would be: capitals, digits and underscores, with an
// underscore.
bool SettingsChecker::looksLikeKey(const std::string& word) {
    if (word.find('_') == std::string::npos) return false;
    return std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

int SettingsChecker::nearestKey(const std::string& word, std::size_t& distance) {
    const auto& keys = settingKeys();
    int best = 0;
    distance = editDistance(word, keys[0]);
    for (std::size_t i = 1; i < keys.size(); ++i) {
        const std::size_t d = editDistance(word, keys[i]);
        if (d < distance) {
            distance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

std::string SettingsChecker::shortened(const std::string& text) {
    std::string t = text.substr(0, text.find_last_not_of(" \t") + 1);
    t.erase(0, std::min(t.size(), t.find_first_not_of(" \t")));
    return t.size() > 60 ? t.substr(0, 57) + "..." : t;
}

// Reads every line as the run does, and on past the last one the run reads.
// Returns false when the file cannot be opened.
bool SettingsChecker::readParameterFile() {
    LineReader reader(paramsFile_.c_str(), kParameterLineChars);
    if (!reader.isOpen()) {
        addForFile("the parameter file cannot be opened (looked for at " +
                       fs::absolute(paramsFile_).lexically_normal().string() + ")",
                   "check its name and that it is a readable file");
        return false;
    }
    for (int n = 1; n <= kMaxParameterLines && !reader.atEnd(); ++n) {
        const std::string text = reader.next();
        const bool read = numbAssigned_ < kLastAssignment;
        if (read && text.size() == kParameterLineChars && reader.atEnd())
            addAtLine(n,
                      "the line is longer than 255 characters: the run cuts it there and "
                      "reads no later line",
                      "shorten the line (long notes can go on lines of their own)");
        readLine(text, n, read);
    }
    return true;
}

void SettingsChecker::readLine(const std::string& text, int n, bool read) {
    const SettingLine s = parseSettingLine(text, n);
    if (read && hiddenByInvisibleCharacters(text, s, n)) return;
    // The mutation model's keys are read on every line, also after reading
    // has stopped for the others, and never count toward the 23.
    if (s.optionalIndex >= 0) {
        if (!s.error.empty()) {
            addAtLine(n, stopsWith(s.error),
                      "a value has at most 29 characters and must end within the first 50 "
                      "characters of the line");
            return;
        }
        assignOptionalSetting(settings_, s);
        optionalLines_[static_cast<std::size_t>(s.optionalIndex)] = n;
        checkValueText(s, n);
        return;
    }
    if (!s.error.empty()) {
        if (!read) return;
        if (s.isSetting) {
            addAtLine(n, stopsWith(s.error),
                      "a value has at most 29 characters and must end within the first 50 "
                      "characters of the line");
            assigned(s, n);
        } else {
            addAtLine(n, "a NUL byte (the file is not plain text): " + stopsWith(s.error),
                      "save the parameter file as plain text");
        }
        return;
    }
    if (s.isSetting) {
        if (!read) {
            if (keys_[s.keyIndex].laterLine == 0) keys_[s.keyIndex].laterLine = n;
            return;
        }
        const std::string error = assignSetting(settings_, s, n);
        assigned(s, n);
        if (!error.empty())
            addAtLine(n, stopsWith(error),
                      "give a whole number from -2147483648 to 2147483647");
        else
            checkValueText(s, n);
        return;
    }
    if (!read || s.key.empty()) return;
    std::size_t distance = 0;
    const int nearest = nearestKey(s.key, distance);
    if (!s.hasHash) {
        if (s.keyIndex < 0 && (distance > 2 || s.value.empty())) return;
        const int k = s.keyIndex >= 0 ? s.keyIndex : nearest;
        addAtLine(n,
                  "\"" + shortened(text) +
                      "\" looks like a setting but has no '#', so the run ignores the line",
                  std::string("end the line with \" #\": a setting needs a '#', even with no "
                              "comment after it") +
                      (s.keyIndex < 0 ? std::string("; the key is spelt ") + settingKeys()[k]
                                      : std::string()));
        keys_[k].hintLine = n;
        return;
    }
    if (distance > 2 && !looksLikeKey(s.key)) return;  // a title or a note
    addAtLine(n, "unknown key " + s.key + " (the run ignores the line)",
              std::string("did you mean ") + settingKeys()[nearest] + "?");
    keys_[nearest].hintLine = n;
}

void SettingsChecker::assigned(const SettingLine& s, int n) {
    keys_[s.keyIndex].lines.push_back(n);
    keys_[s.keyIndex].value = s.value;
    if (++numbAssigned_ == kLastAssignment) stopLine_ = n;
}

// A byte-order mark at the start of the file, or a non-breaking space
// before the '#', looks like nothing in an editor but is no blank to the
// run. Reports it when the line would read otherwise without it; returns
// true when it hides the line's key (the line needs no further look).
bool SettingsChecker::hiddenByInvisibleCharacters(const std::string& text, const SettingLine& s, int n) {
    std::string visible = text;
    const bool bom = n == 1 && visible.compare(0, 3, kUtf8Bom) == 0;
    if (bom) visible.erase(0, 3);
    bool noBreak = false;
    for (std::size_t at; (at = visible.find(kUtf8NoBreakSpace)) < visible.find('#');) {
        visible.replace(at, 2, " ");
        noBreak = true;
    }
    if (!bom && !noBreak) return false;
    const SettingLine meant = parseSettingLine(visible, n);
    if (meant.keyIndex < 0 || (meant.keyIndex == s.keyIndex && meant.value == s.value))
        return false;
    const std::string cause =
        bom ? "a byte-order mark (the invisible bytes EF BB BF some editors put at the start "
              "of a file)"
            : "a non-breaking space";
    const std::string fix = bom ? "save the file as UTF-8 without a byte-order mark"
                                : "replace the non-breaking space with an ordinary blank";
    if (meant.keyIndex != s.keyIndex) {
        addAtLine(n, cause + " hides the key " + meant.key + ", so the run ignores the line",
                  fix);
        keys_[meant.keyIndex].hintLine = n;
        return true;
    }
    addAtLine(n,
              cause + " in the value of " + s.key + ": the run reads \"" + s.value +
                  "\" instead of \"" + meant.value + "\"",
              fix);
    return false;
}

// Values the run reads without complaint but otherwise than written.
void SettingsChecker::checkValueText(const SettingLine& s, int n) {
    const std::string key = s.key;
    switch (s.keyIndex >= 0 ? settingKind(s.keyIndex) : SettingKind::real) {
        case SettingKind::name:
            if (s.value.empty()) {
                addAtLine(n, key + " has no value, so no file name is set",
                          "write the file name after the key");
            } else if (!s.rest.empty()) {
                std::string joined = s.value + "_" + s.rest;
                std::replace(joined.begin(), joined.end(), ' ', '_');
                std::replace(joined.begin(), joined.end(), '\t', '_');
                addAtLine(n,
                          "the blank in the file name \"" + s.value + " " + s.rest +
                              "\" cuts it short: the run uses \"" + s.value + "\"",
                          "use a file name without blanks, for example " + joined);
            }
            return;
        case SettingKind::integer: {
            if (s.value.empty()) {
                addAtLine(n, key + " has no value, so it reads as 0",
                          "write a whole number after the key");
                return;
            }
            const std::size_t digits = s.value.find_first_not_of("0123456789", 1);
            const bool whole =
                (std::isdigit(static_cast<unsigned char>(s.value[0])) ||
                 ((s.value[0] == '-' || s.value[0] == '+') && s.value.size() > 1)) &&
                digits == std::string::npos;
            int32_t readAs = 0;
            if (!whole && leadingInt32(s.value.c_str(), readAs))
                addAtLine(n,
                          "\"" + s.value + "\" is not a whole number: the run reads " +
                              std::to_string(readAs),
                          "write a whole number (digits only, no decimal point or exponent)");
            return;
        }
        case SettingKind::real: {
            if (s.value.empty()) {
                addAtLine(n, key + " has no value, so it reads as 0",
                          "write a number after the key");
                return;
            }
            char* end = nullptr;
            const double readAs = std::strtod(s.value.c_str(), &end);
            if (*end != '\0') {
                std::ostringstream text;
                text << readAs;
                addAtLine(n, "\"" + s.value + "\" is not a number: the run reads " + text.str(),
                          "write a number such as 0.5 or 1e-4");
            }
            return;
        }
    }
}

// Keys that the run never assigns, and keys given twice, which take the
// place of others because reading stops at the 23rd assignment.
void SettingsChecker::reportUnreadKeys() {
    const auto& names = settingKeys();
    std::vector<std::string> unread;
    for (int k = 0; k < kNumbSettings; ++k)
        if (!has(k)) unread.push_back(names[k]);
    std::string unreadList;
    for (std::size_t i = 0; i < unread.size(); ++i)
        unreadList += (i == 0 ? "" : i + 1 == unread.size() ? " and " : ", ") + unread[i];

    bool repeated = false;
    for (int k = 0; k < kNumbSettings; ++k) {
        const std::vector<int>& lines = keys_[k].lines;
        if (lines.size() < 2) continue;
        repeated = true;
        addAtLine(
            lines[1],
            std::string(names[k]) + " is given again (first on line " +
                std::to_string(lines[0]) +
                "): the later value counts, and each assignment counts toward the 23 "
                "after which reading stops" +
                (unread.empty() ? std::string()
                                : ", so " + unreadList + (unread.size() == 1 ? " is" : " are") +
                                      " not read"),
            "keep only one " + std::string(names[k]) + " line");
    }
    const std::string consequence =
        numbAssigned_ < kLastAssignment
            ? stopsWith("error: readInfile: all parameters are not assigned")
            : "the run goes on with its default (-1, or no name)";
    for (int k = 0; k < kNumbSettings; ++k) {
        if (has(k)) continue;
        const KeyRecord& r = keys_[k];
        const std::string fix = r.hintLine != 0 ? "see line " + std::to_string(r.hintLine)
                                : repeated
                                    ? "remove the repeated key (see above)"
                                    : "add a line \"" + std::string(names[k]) + " VALUE #\"";
        if (r.laterLine != 0)
            addAtLine(r.laterLine,
                      std::string(names[k]) +
                          " is never read: reading stops at the 23rd assignment, on line " +
                          std::to_string(stopLine_) + "; " + consequence,
                      fix);
        else
            addForFile("missing key " + std::string(names[k]) + ": " + consequence, fix);
    }
}
