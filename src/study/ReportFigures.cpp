#include "study/ReportFigures.h"

#include <cctype>

namespace {

// A model's name as part of a file name: letters, digits, '-' and '_' kept,
// anything else as '_'.
std::string filePart(const std::string& name) {
    std::string part;
    for (unsigned char c : name) part += std::isalnum(c) || c == '-' || c == '_' ? char(c) : '_';
    return part;
}

void add(std::vector<ReportFigure>& figures, const char* section, const std::string& model,
         const std::string& stem, const std::string& caption, const std::string& svg) {
    if (svg.empty()) return;
    figures.push_back({section, model,
                       "figures/" + stem + (model.empty() ? "" : "-" + filePart(model)) + ".svg",
                       caption, &svg});
}

bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

// Whether `attribute=` followed by a quote starts at `at` as an attribute
// of its own (after a space, or after "xlink:" for href).
bool attributeAt(const std::string& text, std::size_t at, const std::string& attribute) {
    if (text.compare(at, attribute.size(), attribute) != 0) return false;
    const std::size_t quote = at + attribute.size();
    if (quote >= text.size() || (text[quote] != '"' && text[quote] != '\'')) return false;
    return at > 0 && (isSpace(text[at - 1]) || text[at - 1] == ':');
}

}  // namespace

std::vector<ReportFigure> reportFigures(const StudyReport& report) {
    std::vector<ReportFigure> figures;
    add(figures, "choice", "", "choice-lda",
        "The simulations of each model on the linear discriminant axes, with the observed data.",
        report.choice.ldaSvg);
    for (const EstimateSection& e : report.estimates) {
        add(figures, "estimates", e.model, "posterior",
            "The posterior of each parameter of " + e.model + " against its prior.",
            e.posteriorSvg);
        add(figures, "estimates", e.model, "importance",
            "The importance of each statistic in the forests of " + e.model + ".", e.importanceSvg);
    }
    for (const FitSection& f : report.fit) {
        add(figures, "fit", f.model, "gfit",
            "The goodness of fit of " + f.model + ": the data's distance among the simulations'.",
            f.gfitSvg);
        add(figures, "fit", f.model, "fit-check",
            "The fit check of " + f.model +
                ": the data's squared Mahalanobis distance from their nearest simulations, among "
                "the simulations' own.",
            f.checkSvg);
        add(figures, "fit", f.model, "ppc",
            "The observed statistics against their posterior predictive distributions under " +
                f.model + ".",
            f.ppcSvg);
    }
    return figures;
}

std::string inlineSvg(const std::string& svg, const std::string& prefix) {
    const std::size_t start = svg.find("<svg");
    if (start == std::string::npos) return "";
    const std::string text = svg.substr(start);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size();) {
        std::size_t value = std::string::npos;  // where the id to prefix starts
        if (attributeAt(text, i, "id=")) {
            value = i + 4;
        } else if (attributeAt(text, i, "href=") && i + 6 < text.size() && text[i + 6] == '#') {
            value = i + 7;
        } else if (text.compare(i, 5, "url(#") == 0) {
            value = i + 5;
        }
        if (value == std::string::npos) {
            out += text[i++];
            continue;
        }
        out.append(text, i, value - i);
        out += prefix;
        i = value;
    }
    return out;
}
