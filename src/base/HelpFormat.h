#pragma once

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <string>

// The programs' --help at 80 columns: CLI11 prints each option's
// description on one line, however long, which a terminal breaks mid-word
// and the man pages (made from --help) show as lines of several hundred
// characters. Descriptions, the program's description and its footer are
// wrapped at word boundaries instead; a description continues under itself,
// after the column of option names. The width is 80 columns, or fewer when
// the environment's COLUMNS asks for 60 to 79 (as the man pages' sections
// do, which indent the text).
class WrappedHelp : public CLI::Formatter {
  public:
    WrappedHelp() {
        const char* columns = std::getenv("COLUMNS");
        if (columns == nullptr) return;
        char* end = nullptr;
        const long asked = std::strtol(columns, &end, 10);
        if (end != columns && *end == '\0' && asked >= 60 && asked < 80)
            width = static_cast<std::size_t>(asked);
    }

    // An option's line: its names and its constraints ("Needs:",
    // "Excludes: ..."), wrapped with the later lines indented, then the
    // description in its column, on a line of its own when the names reach
    // into that column.
    std::string make_option(const CLI::Option* opt, bool isPositional) const override {
        const std::size_t column = get_column_width();
        std::string names = wrap("  " + make_option_name(opt, isPositional) +
                                     make_option_opts(opt),
                                 width, "      ");
        const std::size_t lastLine = names.rfind('\n') == std::string::npos
                                         ? names.size()
                                         : names.size() - names.rfind('\n') - 1;
        std::string text = names;
        const std::string description = make_option_desc(opt);
        if (!description.empty()) {
            const std::string pad(column, ' ');
            text += lastLine < column ? std::string(column - lastLine, ' ') : "\n" + pad;
            for (const char c : description) {
                text += c;
                if (c == '\n') text += pad;
            }
        }
        return text + "\n";
    }

    std::string make_option_desc(const CLI::Option* opt) const override {
        const std::size_t column = get_column_width();
        return wrap(CLI::Formatter::make_option_desc(opt), column < width - 30 ? width - column : 30);
    }
    std::string make_description(const CLI::App* app) const override {
        return wrap(CLI::Formatter::make_description(app), width);
    }
    std::string make_footer(const CLI::App* app) const override {
        return wrap(CLI::Formatter::make_footer(app), width);
    }

    // `text` with every line longer than `columns` broken at its last blank
    // within them (a word longer than that stays whole), each piece after
    // the first starting with `continuation`. Lines already broken, and the
    // blanks that start a line, are kept.
    static std::string wrap(const std::string& text, std::size_t columns,
                            const std::string& continuation = "") {
        std::string out;
        std::size_t lineStart = 0;
        while (lineStart <= text.size()) {
            std::size_t lineEnd = text.find('\n', lineStart);
            if (lineEnd == std::string::npos) lineEnd = text.size();
            std::string line = text.substr(lineStart, lineEnd - lineStart);
            while (line.size() > columns) {
                // The blanks that start the piece (its continuation's too) are
                // no place to break: a word longer than the line would be cut
                // from its own indent again and again.
                const std::size_t indent = line.find_first_not_of(' ');
                std::size_t cut = line.rfind(' ', columns);
                if (cut == std::string::npos || (indent != std::string::npos && cut <= indent))
                    cut = line.find(' ', columns);
                if (cut == std::string::npos) break;
                out += line.substr(0, cut) + "\n";
                line.erase(0, line.find_first_not_of(' ', cut));
                if (!line.empty()) line.insert(0, continuation);
            }
            out += line;
            if (lineEnd == text.size()) break;
            out += "\n";
            lineStart = lineEnd + 1;
        }
        return out;
    }

  private:
    std::size_t width = 80;
};
