#include "study/ReportHtml.h"

#include <cmath>

#include "base/Counted.h"
#include "study/ReportEscape.h"
#include "study/ReportFigures.h"
#include "study/ReportOutline.h"
#include "study/ReportText.h"
#include "study/ReportTsv.h"

namespace {

// Print-first: the text column is as wide as A4 between its margins, and a
// table, a picture or a block of code moves whole to the next page rather
// than being cut.
const char* const kStyle = R"(@page { size: A4; margin: 15mm 14mm; }
* { box-sizing: border-box; }
html { color: #1b1b1b; background: #fff; }
body { font: 10.5pt/1.45 "DejaVu Sans", "Liberation Sans", Arial, sans-serif; max-width: 182mm; margin: 0 auto; padding: 8mm 4mm; }
h1 { font-size: 18pt; margin: 0 0 4pt; }
h2 { font-size: 13.5pt; margin: 18pt 0 6pt; padding-bottom: 2pt; border-bottom: 1px solid #999; break-after: avoid; }
h3 { font-size: 11pt; margin: 12pt 0 4pt; break-after: avoid; }
p, li { orphans: 3; widows: 3; break-inside: avoid; }
.lead { color: #444; margin: 0 0 8pt; }
.brief { background: #f3f6f9; border-left: 3pt solid #4a76a8; padding: 6pt 10pt 6pt 24pt; margin: 8pt 0; break-inside: avoid; }
.brief li { margin: 2pt 0; }
nav ol { columns: 2; margin: 4pt 0; }
a { color: #1f4e8c; }
table { border-collapse: collapse; margin: 6pt 0 10pt; break-inside: avoid; font-size: 9.5pt; }
caption { caption-side: top; text-align: left; font-weight: bold; padding-bottom: 3pt; }
th, td { border-bottom: 1px solid #ccc; padding: 2pt 7pt; text-align: left; vertical-align: top; }
thead th { border-bottom: 1.5px solid #555; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
.verdict { font-style: italic; }
td.verdict { white-space: nowrap; }
figure { margin: 8pt 0 12pt; break-inside: avoid; }
figure svg { display: block; width: 100%; max-width: 170mm; height: auto; max-height: 225mm; }
.keep { break-inside: avoid; }
p:has(+ table), p:has(+ .keep) { break-after: avoid; }
figcaption { font-size: 9pt; color: #444; margin-top: 3pt; }
pre { font: 8.5pt/1.35 "DejaVu Sans Mono", "Liberation Mono", monospace; background: #f6f6f6; padding: 5pt 7pt; white-space: pre-wrap; overflow-wrap: anywhere; break-inside: avoid; }
code { font-family: "DejaVu Sans Mono", "Liberation Mono", monospace; font-size: 9pt; }
.warning { color: #8a3b00; }
@media print { body { padding: 0; max-width: none; } a { color: inherit; text-decoration: none; } }
)";

std::string cell(const std::string& text) { return "<td>" + htmlText(text) + "</td>"; }

std::string head(const std::vector<std::string>& titles, std::size_t textColumns = 1) {
    std::string row = "<thead><tr>";
    for (std::size_t i = 0; i < titles.size(); ++i)
        row += std::string(i < textColumns ? "<th>" : "<th class=\"n\">") + htmlText(titles[i]) +
               "</th>";
    return row + "</tr></thead>\n";
}

// A cell holding the value of column `column` of the TSV row `key` of `file`.
std::string tsvCell(const char* file, const std::string& key, const std::string& column,
                    const std::string& text, bool number = true) {
    return std::string("<td") + (number ? " class=\"n\"" : " class=\"verdict\"") + " data-tsv=\"" +
           file + "\" data-row=\"" + htmlText(key) + "\" data-col=\"" + htmlText(column) + "\">" +
           htmlText(text) + "</td>";
}

std::string numberCell(const std::string& text) {
    return "<td class=\"n\">" + htmlText(text) + "</td>";
}

std::string paragraph(const std::string& text) { return "<p>" + htmlText(text) + "</p>\n"; }

std::string sectionStart(const std::string& id) {
    return "<section id=\"" + id + "\">\n<h2>" + htmlText(sectionTitle(id)) + "</h2>\n";
}

std::string figures(const StudyReport& report, const std::string& section,
                    const std::string& model) {
    std::string html;
    std::size_t index = 0;
    for (const ReportFigure& f : reportFigures(report)) {
        ++index;
        if (f.section != section || f.model != model) continue;
        const std::string svg = inlineSvg(*f.svg, "fig" + std::to_string(index) + "-");
        if (svg.empty()) continue;
        html += "<figure>\n" + svg + "\n<figcaption>" + htmlText(f.caption) +
                "</figcaption>\n</figure>\n";
    }
    return html;
}

std::string dataSection(const DataSection& d) {
    std::string html = sectionStart("data");
    html += paragraph("From " + d.source + ": " + reportCount(d.loci) + " loci, " +
                      reportCount(d.missingValues) + " missing allele values.");
    html += "<table>\n<caption>Populations</caption>\n" + head({"Role", "Population", "Lines"}, 2) +
            "<tbody>\n<tr>" + cell("sue (founded)") + cell(d.sueName) +
            numberCell(reportCount(d.sueLines)) + "</tr>\n<tr>" + cell("tha (source)") +
            cell(d.thaName) + numberCell(reportCount(d.thaLines)) + "</tr>\n</tbody>\n</table>\n";
    // Three statistics to a row, so that the table stays short.
    constexpr std::size_t perRow = 3;
    html += "<table>\n<caption>Observed statistics</caption>\n<thead><tr>";
    for (std::size_t k = 0; k < perRow; ++k) html += "<th>Statistic</th><th class=\"n\">Value</th>";
    html += "</tr></thead>\n<tbody>\n";
    for (std::size_t i = 0; i < d.statNames.size(); i += perRow) {
        html += "<tr>";
        for (std::size_t k = i; k < i + perRow; ++k)
            html +=
                k < d.statNames.size()
                    ? cell(d.statNames[k]) +
                          numberCell(reportNumber(k < d.statValues.size() ? d.statValues[k] : NAN))
                    : "<td></td><td></td>";
        html += "</tr>\n";
    }
    return html + "</tbody>\n</table>\n</section>\n";
}

std::string modelsSection(const std::vector<ModelSection>& models) {
    std::string html = sectionStart("models");
    for (const ModelSection& m : models) {
        html += "<div class=\"keep\">\n<h3>" + htmlText(m.name) + "</h3>\n";
        html += paragraph(modelSentence(m));
        html += "<table>\n<caption>Priors of " + htmlText(m.name) + "</caption>\n" +
                head({"Parameter", "Distribution", "Lower", "Upper"}, 2) + "<tbody>\n";
        for (const PriorLine& p : m.priors)
            html += "<tr>" + cell(p.parameter) + cell(p.distribution) +
                    numberCell(reportNumber(p.lower)) + numberCell(reportNumber(p.upper)) +
                    "</tr>\n";
        html += "</tbody>\n</table>\n</div>\n";
    }
    return html + "</section>\n";
}

std::string choiceSection(const StudyReport& report) {
    const ChoiceSection& c = report.choice;
    std::string html = sectionStart("choice");
    html += "<p class=\"verdict\">" + htmlText(choiceSentence(c)) + "</p>\n";
    if (!c.present) return html + "</section>\n";
    html += "<table>\n<caption>Votes of the forest</caption>\n" +
            head({"Model", "Votes", "Prior", "Posterior", "Chosen"}) + "<tbody>\n";
    for (std::size_t i = 0; i < c.models.size(); ++i) {
        const std::string key = tsvKey({c.models[i]});
        html += "<tr>" + cell(c.models[i]) +
                tsvCell(kModelChoiceTsv, key, "votes",
                        reportCount(i < c.votes.size() ? c.votes[i] : 0)) +
                tsvCell(kModelChoiceTsv, key, "prior",
                        reportNumber(i < c.priorProbability.size() ? c.priorProbability[i] : NAN)) +
                tsvCell(kModelChoiceTsv, key, "posterior",
                        reportNumber(i < c.posteriorProbability.size() ? c.posteriorProbability[i]
                                                                       : NAN)) +
                tsvCell(kModelChoiceTsv, key, "chosen", c.models[i] == c.chosen ? "1" : "0") +
                "</tr>\n";
    }
    html += "</tbody>\n</table>\n";
    html +=
        "<p>Prior error rate (out of bag): " + std::string("<span data-tsv=\"") + kModelChoiceTsv +
        "\" data-row=\"" + htmlText(tsvKey({c.chosen})) + "\" data-col=\"prior_error_rate\">" +
        htmlText(reportNumber(c.priorErrorRate)) +
        "</span>; probability of the chosen model: " + htmlText(reportNumber(c.chosenProbability)) +
        ".</p>\n";
    std::vector<std::string> titles = {"True model"};
    for (const std::string& m : c.models) titles.push_back("as " + m);
    html += paragraph(
                "Out-of-bag predictions: the simulations of each model (rows) as the forest "
                "named them (columns), each by the trees that left it out.") +
            "<table>\n<caption>Out-of-bag predictions</caption>\n" + head(titles) + "<tbody>\n";
    for (std::size_t i = 0; i < c.confusion.size() && i < c.models.size(); ++i) {
        html += "<tr>" + cell(c.models[i]);
        for (std::size_t j = 0; j < c.models.size(); ++j)
            html += tsvCell(kModelChoiceTsv, tsvKey({c.models[i]}), confusionColumn(c.models[j]),
                            j < c.confusion[i].size() ? reportCount(c.confusion[i][j]) : "NA");
        html += "</tr>\n";
    }
    html += "</tbody>\n</table>\n";
    return html + figures(report, "choice", "") + "</section>\n";
}

std::string estimatesSection(const StudyReport& report) {
    std::string html = sectionStart("estimates");
    if (report.estimates.empty()) html += paragraph("No estimate was made.");
    for (const EstimateSection& e : report.estimates) {
        html += "<h3>Under " + htmlText(e.model) +
                "</h3>\n<table>\n<caption>The forests' "
                "posterior of each parameter</caption>\n" +
                head({"Parameter", "Median", "2.5 %", "97.5 %", "Mean", "OOB error", "Verdict"}) +
                "<tbody>\n";
        for (const EstimateLine& l : e.lines) {
            const std::string key = tsvKey({e.model, l.parameter});
            html += "<tr>" + cell(l.parameter) +
                    tsvCell(kEstimatesTsv, key, "median", reportNumber(l.median)) +
                    tsvCell(kEstimatesTsv, key, "q2.5", reportNumber(l.q025)) +
                    tsvCell(kEstimatesTsv, key, "q97.5", reportNumber(l.q975)) +
                    tsvCell(kEstimatesTsv, key, "mean", reportNumber(l.mean)) +
                    tsvCell(kEstimatesTsv, key, "oob_error", reportNumber(l.oobError)) +
                    tsvCell(kEstimatesTsv, key, "verdict",
                            informationWord(information(l.verdict, l.oobError)), false) +
                    "</tr>\n";
        }
        html += "</tbody>\n</table>\n<ul>\n";
        for (const EstimateLine& l : e.lines)
            html += "<li>" + htmlText(informationSentence(l)) + "</li>\n";
        html += "</ul>\n";
        if (!e.importance.empty()) {
            std::string top;
            for (std::size_t i = 0; i < e.importance.size() && i < 5; ++i)
                top += (i ? ", " : "") + e.importance[i].first + " (" +
                       reportNumber(e.importance[i].second) + ")";
            html += paragraph("Most important statistics: " + top + ".");
        }
        html += figures(report, "estimates", e.model);
    }
    return html + "</section>\n";
}

std::string calibrationSection(const StudyReport& report) {
    std::string html = sectionStart("calibration");
    html += paragraph(
        "Each simulation left out of a tree is a test with a known answer: how often "
        "its 50 % and 95 % intervals held the true value says whether the intervals "
        "mean what they claim.");
    for (const CalibrationSection& s : report.calibration) {
        html += "<div class=\"keep\">\n<h3>Under " + htmlText(s.model) + "</h3>\n<table>\n" +
                head({"Parameter", "Rows", "50 % coverage", "Check", "95 % coverage", "Check",
                      "OOB error", "Verdict"}) +
                "<tbody>\n";
        std::vector<std::string> sentences;
        for (const CalibrationLine& l : s.lines) {
            const std::string key = tsvKey({s.model, l.parameter});
            html += "<tr>" + cell(l.parameter) +
                    tsvCell(kCalibrationTsv, key, "rows", reportCount(l.rows)) +
                    tsvCell(kCalibrationTsv, key, "coverage50", reportNumber(l.coverage50)) +
                    tsvCell(kCalibrationTsv, key, "check50", coverageCheck(l, 0.5), false) +
                    tsvCell(kCalibrationTsv, key, "coverage95", reportNumber(l.coverage95)) +
                    tsvCell(kCalibrationTsv, key, "check95", coverageCheck(l, 0.95), false) +
                    tsvCell(kCalibrationTsv, key, "oob_error", reportNumber(l.oobError)) +
                    tsvCell(kCalibrationTsv, key, "verdict",
                            informationWord(information(l.verdict, l.oobError)), false) +
                    "</tr>\n";
            for (const std::string& line : calibrationSentences(l)) sentences.push_back(line);
        }
        html += "</tbody>\n</table>\n</div>\n" +
                paragraph(calibrationRule(s.lines.empty() ? 0 : s.lines.front().rows));
        if (!sentences.empty()) {
            html += "<ul>\n";
            for (const std::string& line : sentences) html += "<li>" + htmlText(line) + "</li>\n";
            html += "</ul>\n";
        }
    }
    return html + "</section>\n";
}

std::string enoughSection(const StudyReport& report) {
    std::string html = sectionStart("enough");
    for (const EnoughSection& s : report.enough) {
        html += "<h3>Under " + htmlText(s.model) + "</h3>\n";
        html += "<p class=\"verdict\">" + htmlText(enoughSentence(s)) +
                "</p>\n<table>\n<caption>"
                "The first " +
                reportCount(s.rowsHalf) + " simulations against all " + reportCount(s.rowsFull) +
                "</caption>\n" +
                head({"Parameter", "Median (half)", "Median (all)", "95 % width", "Median moved?",
                      "OOB error (half)", "OOB error (all)", "Error moved?"}) +
                "<tbody>\n";
        for (const EnoughLine& l : s.lines)
            html +=
                "<tr>" + cell(l.parameter) + numberCell(reportNumber(l.medianHalf)) +
                numberCell(reportNumber(l.medianFull)) + numberCell(reportNumber(l.intervalWidth)) +
                numberCell(movedWord(medianMoved(l))) + numberCell(reportNumber(l.oobErrorHalf)) +
                numberCell(reportNumber(l.oobErrorFull)) + numberCell(movedWord(errorMoved(l))) +
                "</tr>\n";
        html += "</tbody>\n</table>\n";
    }
    return html + "</section>\n";
}

std::string fitSection(const StudyReport& report) {
    std::string html = sectionStart("fit");
    for (const FitSection& f : report.fit) {
        // One check's table (its row of fit.tsv, under `check`) and sentence.
        const auto checkTable = [&](const char* caption, const char* score, const char* check,
                                    double statistic, double pValue, long replicates,
                                    const std::string& sentence) {
            const std::string key = tsvKey({check, f.model, kGfitStatistic});
            return "<table>\n<caption>" + std::string(caption) + "</caption>\n" +
                   head({score, "p-value", "Simulations", "Verdict"}, 0) + "<tbody>\n<tr>" +
                   tsvCell(kFitTsv, key, "observed", reportNumber(statistic)) +
                   tsvCell(kFitTsv, key, "p_value", reportNumber(pValue)) +
                   tsvCell(kFitTsv, key, "replicates", reportCount(replicates)) +
                   tsvCell(kFitTsv, key, "verdict", gfitWord(pValue), false) +
                   "</tr>\n</tbody>\n</table>\n<p class=\"verdict\">" + htmlText(sentence) +
                   "</p>\n";
        };
        html += "<h3>Under " + htmlText(f.model) + "</h3>\n";
        html += checkTable("Goodness of fit", "Distance", kGfitCheck, f.gfitStatistic,
                           f.gfitPValue, f.gfitReplicates, gfitSentence(f));
        html += checkTable("Fit check", "Squared distance", kFitCheckCheck, f.checkStatistic,
                           f.checkPValue, f.checkReplicates, checkSentence(f));
        if (!f.ppc.empty()) {
            html += "<table>\n<caption>Posterior predictive check</caption>\n" +
                    head({"Statistic", "Observed", "2.5 %", "97.5 %", "p-value", "Where"}) +
                    "<tbody>\n";
            for (const FitStatLine& s : f.ppc) {
                const std::string key = tsvKey({kPpcCheck, f.model, s.statistic});
                html += "<tr>" + cell(s.statistic) +
                        tsvCell(kFitTsv, key, "observed", reportNumber(s.observed)) +
                        tsvCell(kFitTsv, key, "lower", reportNumber(s.predictiveLower)) +
                        tsvCell(kFitTsv, key, "upper", reportNumber(s.predictiveUpper)) +
                        tsvCell(kFitTsv, key, "p_value", reportNumber(s.pValue)) +
                        tsvCell(kFitTsv, key, "verdict", ppcWord(s), false) + "</tr>\n";
            }
            html +=
                "</tbody>\n</table>\n<p class=\"verdict\">" + htmlText(ppcSentence(f)) + "</p>\n";
        }
        html += figures(report, "fit", f.model);
    }
    return html + "</section>\n";
}

std::string warningsSection(const StudyReport& report) {
    std::string html = sectionStart("warnings");
    if (report.warnings.empty())
        return html + paragraph("No step raised a warning.") + "</section>\n";
    html += "<ul>\n";
    for (const StudyWarning& w : report.warnings)
        html += "<li class=\"warning\"><b>" + htmlText(w.step) + ":</b> " + htmlText(w.text) +
                "</li>\n";
    return html + "</ul>\n</section>\n";
}

std::string provenanceSection(const StudyReport& report) {
    const ProvenanceSection& p = report.provenance;
    std::string html = sectionStart("provenance");
    html += paragraph("Made by " + p.programVersion + " from " + p.studyFileName + ", seed " +
                      std::to_string(p.seed) + ".");
    html +=
        "<p>To make it again, in the study file's folder:</p>\n<pre><code>" + htmlText(p.reproduceCommand) + "</code></pre>\n";
    if (!p.seeds.empty()) {
        html += "<table>\n<caption>Seeds</caption>\n" + head({"Step", "Seed"}) + "<tbody>\n";
        for (const auto& [step, seed] : p.seeds)
            html += "<tr>" + cell(step) + numberCell(std::to_string(seed)) + "</tr>\n";
        html += "</tbody>\n</table>\n";
    }
    if (!p.fingerprints.empty()) {
        html += "<table>\n<caption>Fingerprints</caption>\n" + head({"File", "Fingerprint"}, 2) +
                "<tbody>\n";
        for (const auto& [file, print] : p.fingerprints)
            html += "<tr>" + cell(file) + "<td><code>" + htmlText(print) + "</code></td></tr>\n";
        html += "</tbody>\n</table>\n";
    }
    html += "<h3>" + htmlText(p.studyFileName) + "</h3>\n<pre>" + htmlText(p.studyFileText) +
            "</pre>\n";
    return html + "</section>\n";
}

}  // namespace

std::string reportHtml(const StudyReport& report) {
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>" +
        htmlText(report.title) + ": study report</title>\n<style>\n" + kStyle +
        "</style>\n</head>\n<body>\n<header>\n<h1>" + htmlText(report.title) +
        "</h1>\n<p class=\"lead\">" +
        htmlText(counted(report.models.size(), "founding model") + " of " + report.data.sueName +
                 " from " + report.data.thaName + ", " + report.provenance.programVersion) +
        "</p>\n</header>\n<ul class=\"brief\">\n";
    for (const std::string& line : briefSentences(report))
        html += "<li>" + htmlText(line) + "</li>\n";
    html += "</ul>\n<nav>\n<h2>Contents</h2>\n<ol>\n";
    for (const ReportSectionName& s : reportSections())
        html += "<li><a href=\"#" + std::string(s.id) + "\">" + htmlText(s.title) + "</a></li>\n";
    html += "</ol>\n</nav>\n<main>\n";
    html += dataSection(report.data) + modelsSection(report.models) + choiceSection(report) +
            estimatesSection(report) + calibrationSection(report) + enoughSection(report) +
            fitSection(report) + warningsSection(report) + provenanceSection(report);
    return html + "</main>\n</body>\n</html>\n";
}
