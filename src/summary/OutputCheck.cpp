#include "summary/OutputCheck.h"

#include "plot/ImportancePlot.h"

#include <sys/stat.h>

#include <stdexcept>

#include "io/ObservedFile.h"
#include "io/PriorsFile.h"
#include "io/SampleFile.h"
#include "io/SignalsHeld.h"
#include "io/TableClaim.h"

namespace {

constexpr const char* programName = "foundabc-summary";

// Written through, not replaced: a device can take any number of outputs
// and is no input's file.
bool characterDevice(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

}  // namespace

bool OutputFiles::open(const std::vector<NamedFile>& outputs, const std::vector<NamedFile>& inputs,
                       std::ostream& err) {
    std::vector<NamedFile> taken = inputs;
    files_.clear();
    for (const NamedFile& output : outputs) {
        if (output.path.empty()) continue;
        if (!characterDevice(output.path))
            for (const NamedFile& other : taken)
                if (!other.path.empty() && sameFile(output.path, other.path)) {
                    err << programName << ": " << output.role << " '" << output.path << "' is the "
                        << other.role << " '" << other.path << "'; give the output another name\n";
                    return false;
                }
        taken.push_back({"output of " + output.role, output.path});
    }
    for (const NamedFile& output : outputs) {
        if (output.path.empty()) continue;
        auto file = std::make_unique<FinishedFile>(output.path);
        if (!file->error().empty()) {
            err << programName << ": cannot write "
                << (output.what.empty() ? "" : output.what + " ") << "'" << output.path
                << "': " << file->error() << "\n";
            files_.clear();
            return false;
        }
        files_.emplace_back(output.path, std::move(file));
    }
    return true;
}

FinishedFile& OutputFiles::file(const std::string& path) {
    for (auto& [name, file] : files_)
        if (name == path) return *file;
    throw std::logic_error("output file not opened: " + path);
}

int OutputFiles::write(const std::string& path, const std::string& text, std::ostream& err) {
    FinishedFile& out = file(path);
    if (out.write(text) && out.prepare()) return 0;
    err << programName << ": cannot write '" << path << "': " << out.error() << "\n";
    return 1;
}

int OutputFiles::commitAll(std::ostream& err) {
    // The slow part (writing, syncing) is done; what is left are renames.
    const TerminationSignalsHeld held;
    for (auto& [name, out] : files_)
        if (out->prepared() && !out->commit(true)) {
            err << programName << ": cannot write '" << name << "': " << out->error() << "\n";
            return 1;
        }
    return 0;
}

std::vector<NamedFile> tableInputs(const std::string& tablePath) {
    return {{"reference table", tablePath},
            {"observed statistics file", observedStatisticsPath(tablePath)},
            {"priors file", priorsPath(tablePath)}};
}

bool recordsSampleOrigin(const std::string& samplePath) {
    struct stat info;
    if (samplePath.empty()) return false;
    return stat(samplePath.c_str(), &info) != 0 || S_ISREG(info.st_mode);
}

std::vector<NamedFile> tableOutputs(const TableOptions& options) {
    std::vector<NamedFile> outputs = {
        {"--sample", options.samplePath},
        {"--sample",
         recordsSampleOrigin(options.samplePath) ? sampleOriginPath(options.samplePath)
                                                 : std::string(),
         "the record of the sample's table"},
        {"--cv-out", options.cvOutPath},
        {"--plot", options.plotPath}};
    // The forests' estimate draws the importance of the statistics beside.
    if (options.forest && options.crossValidations == 0 && options.fitTests == 0 &&
        !options.plotPath.empty())
        outputs.push_back({"--plot", importancePlotPath(options.plotPath), "the importance picture"});
    return outputs;
}
