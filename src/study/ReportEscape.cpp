#include "study/ReportEscape.h"

std::string htmlText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string markdownText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\n':
            case '\r':
            case '\t':
                out += ' ';
                break;
            case '\\':
            case '`':
            case '*':
            case '_':
            case '[':
            case ']':
            case '|':
            case '#':
            case '~':
            case '$':
                out += '\\';
                out += c;
                break;
            default:
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
