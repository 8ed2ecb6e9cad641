#include "study/ReportMarkdown.h"

#include <cctype>
#include <cmath>

#include "base/Counted.h"
#include "study/ReportEscape.h"
#include "study/ReportFigures.h"
#include "study/ReportOutline.h"
#include "study/ReportText.h"
#include "study/ReportTsv.h"

namespace {

using Row = std::vector<std::string>;

// A table whose columns are aligned as `align` says, 'l' (text) or 'r'
// (numbers), the columns past its end right. The cells are escaped here.
std::string table(const Row& titles, const std::vector<Row>& rows, const std::string& align = "l") {
    auto line = [](const Row& cells) {
        std::string text = "|";
        for (const std::string& c : cells) text += " " + markdownText(c) + " |";
        return text + "\n";
    };
    std::string text = line(titles) + "|";
    for (std::size_t i = 0; i < titles.size(); ++i)
        text += i < align.size() && align[i] == 'l' ? " --- |" : " ---: |";
    text += "\n";
    for (const Row& r : rows) text += line(r);
    return text + "\n";
}

// The anchor GitHub gives a heading: lower case, punctuation dropped, spaces
// as hyphens.
std::string anchor(const std::string& title) {
    std::string slug;
    for (unsigned char c : title) {
        if (std::isalnum(c) || c == '-' || c == '_')
            slug += static_cast<char>(std::tolower(c));
        else if (c == ' ')
            slug += '-';
    }
    return slug;
}

std::string heading(const std::string& id) {
    return "## " + markdownText(sectionTitle(id)) + "\n\n";
}

std::string paragraph(const std::string& text) { return markdownText(text) + "\n\n"; }

std::string bullets(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += "- " + markdownText(l) + "\n";
    return text + (lines.empty() ? "" : "\n");
}

std::string figures(const StudyReport& report, const std::string& section,
                    const std::string& model) {
    std::string text;
    for (const ReportFigure& f : reportFigures(report))
        if (f.section == section && f.model == model)
            text += "![" + markdownText(f.caption) + "](" + f.file + ")\n\n";
    return text;
}

double at(const std::vector<double>& v, std::size_t i) { return i < v.size() ? v[i] : NAN; }

std::string dataSection(const DataSection& d) {
    std::string text = heading("data");
    text += paragraph("From " + d.source + ": " + reportCount(d.loci) + " loci, " +
                      reportCount(d.missingValues) + " missing allele values.");
    text += table({"Role", "Population", "Lines"},
                  {{"sue (founded)", d.sueName, reportCount(d.sueLines)},
                   {"tha (source)", d.thaName, reportCount(d.thaLines)}},
                  "ll");
    // Three statistics to a row, so that the table stays short.
    constexpr std::size_t perRow = 3;
    std::vector<Row> rows;
    for (std::size_t i = 0; i < d.statNames.size(); i += perRow) {
        Row r;
        for (std::size_t k = i; k < i + perRow; ++k) {
            r.push_back(k < d.statNames.size() ? d.statNames[k] : "");
            r.push_back(k < d.statNames.size() ? reportNumber(at(d.statValues, k)) : "");
        }
        rows.push_back(r);
    }
    Row titles;
    for (std::size_t k = 0; k < perRow; ++k) titles.insert(titles.end(), {"Statistic", "Value"});
    return text + paragraph("Observed statistics:") + table(titles, rows, "lrlrlr");
}

std::string modelsSection(const std::vector<ModelSection>& models) {
    std::string text = heading("models");
    for (const ModelSection& m : models) {
        text += "### " + markdownText(m.name) + "\n\n";
        text += paragraph(modelSentence(m));
        std::vector<Row> rows;
        for (const PriorLine& p : m.priors)
            rows.push_back(
                {p.parameter, p.distribution, reportNumber(p.lower), reportNumber(p.upper)});
        text += table({"Parameter", "Distribution", "Lower", "Upper"}, rows, "ll");
    }
    return text;
}

std::string choiceSection(const StudyReport& report) {
    const ChoiceSection& c = report.choice;
    std::string text = heading("choice") + paragraph(choiceSentence(c));
    if (!c.present) return text;
    std::vector<Row> rows;
    for (std::size_t i = 0; i < c.models.size(); ++i)
        rows.push_back({c.models[i], reportCount(i < c.votes.size() ? c.votes[i] : 0),
                        reportNumber(at(c.priorProbability, i)),
                        reportNumber(at(c.posteriorProbability, i)),
                        c.models[i] == c.chosen ? "1" : "0"});
    text += table({"Model", "Votes", "Prior", "Posterior", "Chosen"}, rows);
    text +=
        paragraph("Prior error rate (out of bag): " + reportNumber(c.priorErrorRate) +
                  "; probability of the chosen model: " + reportNumber(c.chosenProbability) + ".");
    Row titles = {"True model"};
    for (const std::string& m : c.models) titles.push_back("as " + m);
    rows.clear();
    for (std::size_t i = 0; i < c.confusion.size() && i < c.models.size(); ++i) {
        Row r = {c.models[i]};
        for (std::size_t j = 0; j < c.models.size(); ++j)
            r.push_back(j < c.confusion[i].size() ? reportCount(c.confusion[i][j]) : "NA");
        rows.push_back(r);
    }
    text += paragraph(
                "Out-of-bag predictions: the simulations of each model (rows) as the forest "
                "named them (columns).") +
            table(titles, rows);
    return text + figures(report, "choice", "");
}

std::string estimatesSection(const StudyReport& report) {
    std::string text = heading("estimates");
    if (report.estimates.empty()) text += paragraph("No estimate was made.");
    for (const EstimateSection& e : report.estimates) {
        text += "### Under " + markdownText(e.model) + "\n\n";
        std::vector<Row> rows;
        std::vector<std::string> sentences;
        for (const EstimateLine& l : e.lines) {
            rows.push_back({l.parameter, reportNumber(l.median), reportNumber(l.q025),
                            reportNumber(l.q975), reportNumber(l.mean), reportNumber(l.oobError),
                            informationWord(information(l.verdict, l.oobError))});
            sentences.push_back(informationSentence(l));
        }
        text += table({"Parameter", "Median", "2.5 %", "97.5 %", "Mean", "OOB error", "Verdict"},
                      rows, "lrrrrrl") +
                bullets(sentences);
        if (!e.importance.empty()) {
            std::string top;
            for (std::size_t i = 0; i < e.importance.size() && i < 5; ++i)
                top += (i ? ", " : "") + e.importance[i].first + " (" +
                       reportNumber(e.importance[i].second) + ")";
            text += paragraph("Most important statistics: " + top + ".");
        }
        text += figures(report, "estimates", e.model);
    }
    return text;
}

std::string calibrationSection(const StudyReport& report) {
    std::string text = heading("calibration");
    text += paragraph(
        "Each simulation left out of a tree is a test with a known answer: how often "
        "its 50 % and 95 % intervals held the true value says whether the intervals "
        "mean what they claim.");
    for (const CalibrationSection& s : report.calibration) {
        text += "### Under " + markdownText(s.model) + "\n\n";
        std::vector<Row> rows;
        std::vector<std::string> sentences;
        for (const CalibrationLine& l : s.lines) {
            rows.push_back({l.parameter, reportCount(l.rows), reportNumber(l.coverage50),
                            coverageCheck(l, 0.5), reportNumber(l.coverage95),
                            coverageCheck(l, 0.95), reportNumber(l.oobError),
                            informationWord(information(l.verdict, l.oobError))});
            for (const std::string& line : calibrationSentences(l)) sentences.push_back(line);
        }
        text += table({"Parameter", "Rows", "50 % coverage", "Check", "95 % coverage", "Check",
                       "OOB error", "Verdict"},
                      rows, "lrrlrlrl") +
                paragraph(calibrationRule(s.lines.empty() ? 0 : s.lines.front().rows)) +
                bullets(sentences);
    }
    return text;
}

std::string enoughSection(const StudyReport& report) {
    std::string text = heading("enough");
    for (const EnoughSection& s : report.enough) {
        text += "### Under " + markdownText(s.model) + "\n\n" + paragraph(enoughSentence(s));
        std::vector<Row> rows;
        for (const EnoughLine& l : s.lines)
            rows.push_back({l.parameter, reportNumber(l.medianHalf), reportNumber(l.medianFull),
                            reportNumber(l.intervalWidth), movedWord(medianMoved(l)),
                            reportNumber(l.oobErrorHalf), reportNumber(l.oobErrorFull),
                            movedWord(errorMoved(l))});
        text += paragraph("The first " + reportCount(s.rowsHalf) + " simulations against all " +
                          reportCount(s.rowsFull) + ".") +
                table({"Parameter", "Median (half)", "Median (all)", "95 % width", "Median moved?",
                       "OOB error (half)", "OOB error (all)", "Error moved?"},
                      rows, "lrrrlrrl");
    }
    return text;
}

std::string fitSection(const StudyReport& report) {
    std::string text = heading("fit");
    for (const FitSection& f : report.fit) {
        text += "### Under " + markdownText(f.model) + "\n\n";
        text += table({"Distance", "p-value", "Simulations", "Verdict"},
                      {{reportNumber(f.gfitStatistic), reportNumber(f.gfitPValue),
                        reportCount(f.gfitReplicates), gfitWord(f.gfitPValue)}},
                      "rrrl") +
                paragraph(gfitSentence(f));
        text += paragraph("Fit check:") +
                table({"Squared distance", "p-value", "Simulations", "Verdict"},
                      {{reportNumber(f.checkStatistic), reportNumber(f.checkPValue),
                        reportCount(f.checkReplicates), gfitWord(f.checkPValue)}},
                      "rrrl") +
                paragraph(checkSentence(f));
        if (!f.ppc.empty()) {
            std::vector<Row> rows;
            for (const FitStatLine& s : f.ppc)
                rows.push_back({s.statistic, reportNumber(s.observed),
                                reportNumber(s.predictiveLower), reportNumber(s.predictiveUpper),
                                reportNumber(s.pValue), ppcWord(s)});
            text += paragraph("Posterior predictive check:") +
                    table({"Statistic", "Observed", "2.5 %", "97.5 %", "p-value", "Where"}, rows,
                          "lrrrrl") +
                    paragraph(ppcSentence(f));
        }
        text += figures(report, "fit", f.model);
    }
    return text;
}

std::string warningsSection(const StudyReport& report) {
    std::string text = heading("warnings");
    if (report.warnings.empty()) return text + paragraph("No step raised a warning.");
    for (const StudyWarning& w : report.warnings)
        text += "- **" + markdownText(w.step) + ":** " + markdownText(w.text) + "\n";
    return text + "\n";
}

// A fenced block that no line of `text` can close.
std::string fenced(const std::string& text, const std::string& language = "") {
    std::string fence = "```";
    while (text.find(fence) != std::string::npos) fence += "`";
    return fence + language + "\n" + text + (text.empty() || text.back() == '\n' ? "" : "\n") +
           fence + "\n\n";
}

std::string provenanceSection(const StudyReport& report) {
    const ProvenanceSection& p = report.provenance;
    std::string text = heading("provenance");
    text += paragraph("Made by " + p.programVersion + " from " + p.studyFileName + ", seed " +
                      std::to_string(p.seed) + ".");
    text += "To make it again, in the study file's folder:\n\n" + fenced(p.reproduceCommand, "sh");
    if (!p.seeds.empty()) {
        std::vector<Row> rows;
        for (const auto& [step, seed] : p.seeds) rows.push_back({step, std::to_string(seed)});
        text += table({"Step", "Seed"}, rows);
    }
    if (!p.fingerprints.empty()) {
        std::vector<Row> rows;
        for (const auto& [file, print] : p.fingerprints) rows.push_back({file, print});
        text += table({"File", "Fingerprint"}, rows, "ll");
    }
    return text + "### " + markdownText(p.studyFileName) + "\n\n" + fenced(p.studyFileText, "toml");
}

}  // namespace

std::string reportMarkdown(const StudyReport& report) {
    std::string text =
        "# " + markdownText(report.title) + "\n\n" +
        paragraph(counted(report.models.size(), "founding model") + " of " + report.data.sueName +
                  " from " + report.data.thaName + ", " + report.provenance.programVersion) +
        bullets(briefSentences(report)) + "Contents:\n\n";
    int n = 0;
    for (const ReportSectionName& s : reportSections())
        text +=
            std::to_string(++n) + ". [" + markdownText(s.title) + "](#" + anchor(s.title) + ")\n";
    text += "\n";
    return text + dataSection(report.data) + modelsSection(report.models) + choiceSection(report) +
           estimatesSection(report) + calibrationSection(report) + enoughSection(report) +
           fitSection(report) + warningsSection(report) + provenanceSection(report);
}
