#include "study/ReportEscape.h"

#include <string_view>

namespace {

// The entity of a character that HTML reads as markup (also in Markdown,
// which passes HTML through), or nullptr.
const char* markupEntity(char c) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        default:
            return nullptr;
    }
}

}  // namespace

std::string htmlText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (const char* entity = markupEntity(c))
            out += entity;
        else if (c == '"')
            out += "&quot;";
        else if (c == '\'')
            out += "&#39;";
        else
            out += c;
    }
    return out;
}

std::string markdownText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (const char* entity = markupEntity(c)) {
            out += entity;
        } else if (c == '\n' || c == '\r' || c == '\t') {
            out += ' ';
        } else if (std::string_view("\\`*_[]|#~$").find(c) != std::string_view::npos) {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

std::string tsvField(const std::string& text) {
    std::string out;
    bool quote = false;
    for (char c : text) {
        if (c == '\t' || c == '\n' || c == '\r') {
            out += ' ';
        } else if (c == '"') {
            out += "\"\"";
            quote = true;
        } else {
            out += c;
        }
    }
    return quote ? "\"" + out + "\"" : out;
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }
