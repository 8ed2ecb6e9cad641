#include "run/PseudoData.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <optional>
#include <vector>

#include "base/EditDistance.h"
#include "base/Fail.h"
#include "io/FinishedFile.h"
#include "io/GenepopFile.h"
#include "io/ParameterFile.h"
#include "io/TableFormat.h"
#include "run/FreshSeed.h"
#include "run/Repeat.h"
#include "run/SampleDraw.h"
#include "run/StartUp.h"
#include "sim/Columns.h"
#include "sim/ParameterSet.h"
#include "sim/Random.h"
#include "sim/SimulationStreams.h"

namespace {

// A data file line is read up to this many characters, and the values of a
// locus must be complete within them (see DataFile.h).
constexpr std::size_t kDataLineChars = 1998;

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string number(double value) {
    std::string text;
    appendTableNumber(text, value);
    return text;
}

// True when `a` and `b` name one file: the same name, or the same inode.
bool sameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The calling thread's generator `r`, set to stream (seed, 0), for the
// object's lifetime.
class StreamZero {
  public:
    explicit StreamZero(uint64_t seed) : own_(gsl_rng_alloc(gsl_rng_taus)), previous_(r) {
        seedSimulationStream(own_.get(), seed, 0);
        r = own_.get();
    }
    ~StreamZero() { r = previous_; }
    StreamZero(const StreamZero&) = delete;
    StreamZero& operator=(const StreamZero&) = delete;

  private:
    GeneratorOwner own_;
    gsl_rng* previous_;
};

std::string blanksTrimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

std::string foundingModel(const params& p) {
    if (p.unequal_founding_fractions > 0)
        return "two founders, the second with share " + number(p.unequal_founding_fractions);
    if (p.conditional_number_of_origins == 0) return "plain growth model";
    return "founder-count model with " + std::to_string(p.conditional_number_of_origins) +
           " founders";
}

// Marks `count` values of `matrix`, chosen uniformly without replacement, as
// missing (-9): a partial Fisher-Yates shuffle of the cells, drawing from `r`.
// The last value of a population (its first `sueLines` lines, or the others)
// at a locus is passed over, for the run's statistics need one in each.
// REQUIRES: count <= the values less two per locus.
void markMissing(AlleleMatrix& matrix, std::size_t lines, std::size_t sueLines, std::size_t count) {
    std::vector<std::size_t> cells(matrix.size() * lines);
    for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = i;
    // Values still present per locus: sue at 2 l, tha at 2 l + 1.
    std::vector<std::size_t> left(2 * matrix.size());
    for (std::size_t l = 0; l < matrix.size(); ++l) {
        left[2 * l] = sueLines;
        left[2 * l + 1] = lines - sueLines;
    }
    for (std::size_t k = 0, marked = 0; marked < count && k < cells.size(); ++k) {
        const std::size_t j = k + gsl_rng_uniform_int(r, cells.size() - k);
        std::swap(cells[k], cells[j]);
        const std::size_t locus = cells[k] / lines, line = cells[k] % lines;
        std::size_t& present = left[2 * locus + (line < sueLines ? 0 : 1)];
        if (present <= 1) continue;
        --present;
        matrix[locus][line] = -9;
        ++marked;
    }
}

}  // namespace

std::string parseParameterValues(const std::string& text, PriorDraw& values) {
    std::array<bool, numbDrawnParams> given{};
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string item = text.substr(start, comma - start);
        start = comma + 1;
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos)
            return "'" + item + "' is not NAME=VALUE (for example My=0.005)";
        // Blanks around a name or a value are no part of it, on either side.
        const std::string name = blanksTrimmed(item.substr(0, eq)),
                          value = blanksTrimmed(item.substr(eq + 1));
        std::size_t slot = numbDrawnParams, best = 0, bestDistance = SIZE_MAX;
        for (std::size_t p = 0; p < numbDrawnParams; ++p) {
            if (name == estimatedColumnNames[p]) slot = p;
            const std::size_t d = editDistance(lower(name), lower(estimatedColumnNames[p]));
            if (d < bestDistance) bestDistance = d, best = p;
        }
        if (slot == numbDrawnParams)
            return "unknown parameter '" + name + "'; did you mean " + estimatedColumnNames[best] +
                   "?";
        if (given[slot]) return name + " is given twice";
        char* end = nullptr;
        errno = 0;
        const double v = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0')
            return name + "=" + value + ": the value is not a number";
        if (errno == ERANGE)
            return name + "=" + value + ": the value is too " +
                   (std::fabs(v) > 1 ? "large" : "small") + " for a double";
        values[slot] = v;
        given[slot] = true;
    }
    std::string missing;
    for (std::size_t p = 0; p < numbDrawnParams; ++p)
        if (!given[p])
            missing += (missing.empty() ? "" : ", ") + std::string(estimatedColumnNames[p]);
    if (!missing.empty()) return "missing " + missing + ": every parameter must be given once";
    return parameterSetFault(values);
}

bool shiftToRepeatCounts(AlleleMatrix& matrix) {
    for (std::vector<int32_t>& locus : matrix) {
        if (locus.empty()) continue;
        const auto [low, high] = std::minmax_element(locus.begin(), locus.end());
        const int64_t shift = 1 - static_cast<int64_t>(*low);
        if (static_cast<int64_t>(*high) + shift > std::numeric_limits<int32_t>::max()) return false;
        for (int32_t& v : locus) v = static_cast<int32_t>(v + shift);
    }
    return true;
}

std::string pseudoDataRequestProblem(const PseudoDataRequest& request, PriorDraw& values) {
    const std::string why = parseParameterValues(request.atText, values);
    if (!why.empty()) return "--at: " + why;
    if (!(request.missing >= 0 && request.missing < 1))
        return "--missing wants a share from 0 up to, but not including, 1";
    return "";
}

std::string pseudoDataOutputProblem(const PseudoDataRequest& request,
                                    const std::string& paramsPath, const params& p) {
    for (const auto& [file, what] :
         {std::pair<std::string, const char*>{paramsPath, "the parameter file"},
          {p.datafile_name, "the data file of the parameter file"},
          {p.outfile_name, "the results file of the parameter file"}})
        if (sameFile(request.outPath, file))
            return "--simulate-data: " + request.outPath + " is " + what + "; name another file";
    return "";
}

int simulateData(const PseudoDataRequest& request, const std::string& paramsPath) {
    auto optionError = [](const std::string& what) {
        fail("foundabc: " + what + "\nRun 'foundabc --help' for the options.\n");
    };
    PriorDraw values{};
    const std::string why = pseudoDataRequestProblem(request, values);
    if (!why.empty()) optionError(why);

    std::unique_ptr<params> p = readInfile(paramsPath.c_str());
    const std::string mutationFault = mutationKeysFault(*p, request.model);
    if (!mutationFault.empty()) fail(mutationFault);
    checkParams(*p);
    const std::size_t lines = static_cast<std::size_t>(totalLines(*p));
    const std::size_t numbValues = lines * static_cast<std::size_t>(p->number_of_loci);
    const std::size_t missing =
        static_cast<std::size_t>(std::llround(request.missing * static_cast<double>(numbValues)));
    // Each population keeps a value at every locus: the statistics of a locus
    // compare the two populations, and need a value in each.
    const std::size_t kept = 2 * static_cast<std::size_t>(p->number_of_loci);
    if (missing > 0 && missing + kept > numbValues)
        optionError("--missing " + number(request.missing) + " marks " + std::to_string(missing) +
                    " of the " + std::to_string(numbValues) +
                    " values, leaving a population without a value at a locus; each population "
                    "keeps one per locus, so at most " +
                    std::to_string(numbValues > kept ? numbValues - kept : 0) + " can be missing");
    if (request.genepop && p->number_of_loci < 1)
        optionError("--format genepop: the parameter file has no locus (NUMBER_OF_LOCI " +
                    std::to_string(p->number_of_loci) +
                    "), and a Genepop file without loci cannot be read back");
    // What a run would find only at its first simulation is refused here,
    // before the output file is touched.
    if (p->alpha <= 0) fail("\n error: simExpGrowth: alpha <= 0\n\n");
    if (p->unequal_founding_fractions > 0 && p->conditional_number_of_origins != 2)
        fail("if fracF2 > 0 conditional_origins must be 2\n");
    const std::string clash = pseudoDataOutputProblem(request, paramsPath, *p);
    if (!clash.empty()) optionError(clash);

    // Created now, so that a folder that takes no files is found before any
    // work; a failure from here removes it before the run ends.
    std::optional<FinishedFile> out(std::in_place, request.outPath);
    auto abandon = [&out](const std::string& message) {
        out.reset();
        fail(message);
    };
    auto cannotWrite = [&] {
        abandon("error: simulate-data: cannot write " + request.outPath + " (" + out->error() +
                ")\n");
    };
    if (!out->error().empty()) cannotWrite();
    const uint64_t seed = request.seedGiven ? request.seed : freshSeed();
    RepeatWorkspace work(p->number_of_loci);
    if (p->hasMutationKeys()) seedMutationStream(work.mutationRng.get(), seed, 0);
    // P of the data set, drawn from the parameter file's GSM_P range (equal
    // bounds fix it): --at names the six drawn parameters only.
    double gsmP = 0.0;
    {
        // A failure of the simulation (a mutation rate far beyond any real
        // one) ends the run only after the temporary file is gone.
        StreamZero stream(seed);
        const SampleDraw at = SampleDraw::fixed(values);
        RepeatResult result;
        try {
            DeferFailures defer;
            simulateRepeat(*p, ObservedStatistics{}, request.model, work, 0, result, &at);
        } catch (const DeferredFailure& failure) {
            abandon(failure.message);
        }
        gsmP = result.GsmP;
        if (!shiftToRepeatCounts(work.alleleMatrix))
            abandon(
                "error: simulate-data: the alleles of a locus span more than 32-bit values "
                "hold; lower My\n");
        // Drawn after every locus, so that the values kept are the same
        // whatever share is marked missing.
        markMissing(work.alleleMatrix, lines,
                    static_cast<std::size_t>(std::max(p->number_of_sue_lines, 0)), missing);
    }

    std::string atList, text, error;
    for (std::size_t k = 0; k < numbDrawnParams; ++k)
        atList += (k ? "," : "") + std::string(estimatedColumnNames[k]) + "=" + number(values[k]);
    if (request.genepop && !formatGenepop(work.alleleMatrix, p->number_of_sue_lines,
                                          p->number_of_tha_lines, text, error))
        abandon("error: simulate-data: " + error + "; a Genepop file holds 3-digit codes\n");
    if (!request.genepop)
        text = "pseudo-observed data of foundabc --seed " + std::to_string(seed) + " --at " +
               atList + ": per locus " + std::to_string(p->number_of_sue_lines) + " sue then " +
               std::to_string(p->number_of_tha_lines) + " tha values\n";
    for (std::size_t locus = 0; locus < work.alleleMatrix.size() && !request.genepop; ++locus) {
        const std::size_t lineStart = text.size();
        for (std::size_t k = 0; k < lines; ++k)
            (text += k ? " " : "") += std::to_string(work.alleleMatrix[locus][k]);
        if (text.size() - lineStart > kDataLineChars)
            abandon("error: simulate-data: locus " + std::to_string(locus + 1) + " needs " +
                    std::to_string(text.size() - lineStart) + " characters, but a data file line " +
                    "holds its values within " + std::to_string(kDataLineChars) +
                    ": fewer lines, or a lower My\n");
        text += '\n';
    }
    if (!out->write(text) || !out->commit(true)) cannotWrite();

    std::cout << "pseudo-observed data set written to " << request.outPath << '\n'
              << p->number_of_loci << " loci of " << p->number_of_sue_lines << " sue and "
              << p->number_of_tha_lines << " tha lines, ALPHA = " << number(p->alpha) << ", "
              << foundingModel(*p)
              << (request.model == ModelVersion::legacy ? " (legacy model)" : "") << '\n';
    for (std::size_t k = 0; k < numbDrawnParams; ++k)
        std::cout << estimatedColumnNames[k] << " = " << number(values[k]) << '\n';
    if (p->hasGsm())
        std::cout << gsmPColumnName << " = " << number(gsmP)
                  << " (drawn from GSM_P_LOWER to GSM_P_UPPER)\n";
    std::cout << "missing values: " << missing << " of " << lines * work.alleleMatrix.size() << '\n'
              << "SEED = " << seed << '\n';
    return 0;
}
