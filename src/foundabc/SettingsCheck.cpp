#include "foundabc/SettingsCheck.h"

#include <algorithm>
#include <cctype>
#include <ostream>

#include "foundabc/SettingsChecker.h"

std::string SettingsChecker::lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string SettingsChecker::withoutLineEnd(std::string message) {
    while (!message.empty() && message.back() == '\n') message.pop_back();
    while (!message.empty() && (message.front() == '\n' || message.front() == ' '))
        message.erase(0, 1);
    return message;
}

// "`subject` stops the run with "message"".
std::string SettingsChecker::stopsWith(const std::string& message, const std::string& subject) {
    return subject + (subject == "the run" ? " stops" : " stops the run") + " with \"" +
           withoutLineEnd(message) + "\"";
}

int SettingsChecker::keyIndex(const std::string& key) {
    const auto& keys = settingKeys();
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (key == keys[i]) return static_cast<int>(i);
    return -1;
}

int SettingsChecker::run(std::ostream& out) {
    const bool read = readParameterFile();
    checkOptions();
    if (read) {
        reportUnreadKeys();
        checkRecord();
        checkResultsFile();
        checkDataFile(out);
        if (problems_.empty()) checkSampleRecord(out);
    }
    std::stable_sort(problems_.begin(), problems_.end(),
                     [](const Problem& a, const Problem& b) { return a.order < b.order; });
    for (const std::string& note : notes_) out << note << '\n';
    for (const Problem& p : problems_)
        out << p.where << ": " << p.what << "\n  fix: " << p.fix << '\n';
    if (problems_.empty()) {
        out << "settings OK\n";
        return 0;
    }
    out << problems_.size() << (problems_.size() == 1 ? " problem" : " problems") << " found\n";
    return 1;
}

int checkSettings(const std::string& paramsFile, std::ostream& out) {
    CommandLine command;
    command.infile = paramsFile;
    return checkSettings(command, out);
}

int checkSettings(const CommandLine& command, std::ostream& out) {
    return SettingsChecker(command).run(out);
}
