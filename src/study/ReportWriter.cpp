#include "study/ReportWriter.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "io/FinishedFile.h"
#include "io/SignalsHeld.h"
#include "study/ReportFigures.h"
#include "study/ReportHtml.h"
#include "study/ReportMarkdown.h"
#include "study/ReportTsv.h"

namespace {

[[noreturn]] void cannotWrite(const std::string& path, const std::string& why) {
    throw std::runtime_error("cannot write '" + path + "': " + why);
}

void makeFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) cannotWrite(path, error.message());
}

}  // namespace

void writeStudyReport(const std::string& reportDir, const StudyReport& report) {
    const std::vector<ReportFigure> figures = reportFigures(report);
    std::vector<std::pair<std::string, std::string>> files = {
        {"report.html", reportHtml(report)},       {"report.md", reportMarkdown(report)},
        {kEstimatesTsv, estimatesTsv(report)},     {kModelChoiceTsv, modelChoiceTsv(report)},
        {kCalibrationTsv, calibrationTsv(report)}, {kFitTsv, fitTsv(report)},
    };
    for (const ReportFigure& f : figures) files.emplace_back(f.file, *f.svg);

    makeFolder(reportDir);
    if (!figures.empty()) makeFolder(reportDir + "/figures");
    std::vector<std::unique_ptr<FinishedFile>> outputs;
    for (const auto& [name, text] : files) {
        const std::string path = reportDir + "/" + name;
        outputs.push_back(std::make_unique<FinishedFile>(path));
        FinishedFile& out = *outputs.back();
        if (!out.error().empty() || !out.write(text) || !out.prepare())
            cannotWrite(path, out.error());
    }
    // What is left are renames.
    const TerminationSignalsHeld held;
    for (const auto& out : outputs)
        if (!out->commit(true)) cannotWrite(out->path(), out->error());
}
