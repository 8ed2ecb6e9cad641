// foundabc-import: a Genepop file into foundabc's data file.
#include <gsl/gsl_errno.h>
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>

#include "base/HelpFormat.h"
#include "base/OptionError.h"
#include "base/Version.h"
#include "io/Conversion.h"
#include "import/ImportReport.h"
#include "import/LengthCheck.h"
#include "io/RepeatUnits.h"
#include "io/FinishedFile.h"
#include "io/GenepopFile.h"
#include "io/InputFile.h"
#include "io/TableClaim.h"

namespace {

// foundabc reads the values of a locus from the first 1998 characters of its
// line; a longer line would stop the run at start-up.
constexpr std::size_t kLocusLineChars = 1998;

int failWith(const std::string& message) {
    std::cerr << "foundabc-import: " << message << "\n";
    return 1;
}

int importMain(int argc, char** argv) {
    CLI::App app{
        "Converts a Genepop file of microsatellite genotypes into a foundabc data file: two of "
        "its populations become the sue and tha lines, gene copies become lines, codes become "
        "repeat counts and missing copies -9. Prints the settings lines NUMBER_OF_SUE_LINES, "
        "NUMBER_OF_THA_LINES and NUMBER_OF_LOCI for the parameter file, then a report of what "
        "was done; codes off the repeat ladder are listed in a warning on standard error.",
        "foundabc-import"};
    app.set_version_flag("--version", std::string("foundabc-import ") + foundabcVersion);
    app.formatter(std::make_shared<WrappedHelp>());
    app.footer(
        "Errors (a line of the Genepop or repeat-units file that cannot be read, a population "
        "that does not exist, an existing output file) print a message with the line number on "
        "standard error and end with status 1; nothing is written then.");
    std::string inPath, sueKey, thaKey, unitsPath, unitText, copies = "all", outPath = "data.txt";
    bool force = false;
    app.add_option("IN.gen", inPath, "Genepop file")->required();
    app.add_option("--sue", sueKey,
                   "Population of the derived population sue: its number in the file (1, 2, "
                   "...), the name after Pop on its Pop line, or the name of its first "
                   "individual")
        ->required()
        ->type_name("POP");
    app.add_option("--tha", thaKey, "Population of the parental population tha, as for --sue")
        ->required()
        ->type_name("POP");
    auto* unitOption =
        app.add_option("--repeat-unit", unitText,
                       "Repeat unit in base pairs of every locus (1 to 999999): each code, less "
                       "the most common remainder modulo the unit at its locus, is divided by it")
            ->type_name("U");
    app.add_option("--repeat-units", unitsPath,
                   "File of 'locus unit' lines, the repeat unit of each locus")
        ->type_name("FILE")
        ->excludes(unitOption);
    app.add_option("--copies", copies,
                   "all: every gene copy is a line (default); first: one copy per individual, "
                   "for inbred or haploid lines")
        ->check(CLI::IsMember({"all", "first"}))
        ->type_name("all|first");
    app.add_option("--out", outPath, "Data file to write (default data.txt)")->type_name("FILE");
    app.add_flag("--force", force, "Replace the output file if it exists");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e) == 0 ? 0 : 1;
        std::cerr << "foundabc-import: " << optionErrorMessage(app, e, argc, argv)
                  << "\nRun with --help for more information.\n";
        return 1;
    }

    // The unit is capped as the repeat-units file caps it (6 digits), which
    // keeps the arithmetic on codes far from overflow.
    int unit = 0;
    if (*unitOption) {
        const bool digits = !unitText.empty() && unitText.size() <= 6 &&
                            unitText.find_first_not_of("0123456789") == std::string::npos;
        if (digits) unit = std::stoi(unitText);
        if (unit < 1)
            return failWith("--repeat-unit " + unitText +
                            ": the repeat unit must be a whole number from 1 to 999999");
    }
    // An input is never replaced, --force or not.
    for (const auto& [role, input] :
         {std::pair<const char*, const std::string&>{"the Genepop file", inPath},
          {"the repeat-units file", unitsPath}})
        if (!input.empty() && sameFile(outPath, input))
            return failWith("--out " + outPath + " is " + role + " " + input +
                            "; give the output another name");

    if (const std::string problem = directoryProblem(inPath); !problem.empty())
        return failWith(problem);
    std::ifstream in(inPath, std::ios::binary);
    if (!in) return failWith("cannot open " + inPath);
    GenepopFile file;
    std::string error = readGenepop(in, inPath, file);
    if (!error.empty()) return failWith(error);

    ConversionChoice choice;
    choice.firstCopy = copies == "first";
    choice.sue = findPopulation(file, sueKey, "--sue", error);
    if (choice.sue < 0) return failWith(error);
    choice.tha = findPopulation(file, thaKey, "--tha", error);
    if (choice.tha < 0) return failWith(error);
    if (choice.sue == choice.tha)
        return failWith("--sue " + sueKey + " and --tha " + thaKey + " both choose population " +
                        std::to_string(choice.sue + 1) + " (Pop line " +
                        std::to_string(file.populations[choice.sue].popLine) + ")");

    ImportSummary summary{inPath, outPath, ""};
    if (!unitsPath.empty()) {
        if (const std::string problem = directoryProblem(unitsPath); !problem.empty())
            return failWith(problem);
        std::ifstream unitsIn(unitsPath, std::ios::binary);
        if (!unitsIn) return failWith("cannot open " + unitsPath);
        error = readRepeatUnits(unitsIn, unitsPath, file.loci, choice.units);
        if (!error.empty()) return failWith(error);
        summary.unitsSource = "--repeat-units " + unitsPath;
    } else if (*unitOption) {
        choice.units.assign(file.loci.size(), unit);
        summary.unitsSource = "--repeat-unit " + std::to_string(unit);
    }

    const Conversion conversion = convertGenepop(file, choice);
    const std::string text =
        formatDataFile(conversion.matrix, conversion.sueLines, conversion.thaLines);
    std::size_t lineStart = text.find('\n') + 1;
    for (const std::string& locus : file.loci) {
        const std::size_t length = text.find('\n', lineStart) - lineStart;
        if (length > kLocusLineChars)
            return failWith("locus " + locus + " would take " + std::to_string(length) +
                            " characters in the data file, but foundabc reads a locus from at "
                            "most " +
                            std::to_string(kLocusLineChars) +
                            "; choose fewer individuals or --copies first");
        lineStart += length + 1;
    }

    // The output is checked only once the whole input is known good, so that
    // an existing output never hides an error in the input.
    struct stat existing;
    if (!force && stat(outPath.c_str(), &existing) == 0)
        return failWith(outPath + " already exists; give --force to replace it");
    FinishedFile out(outPath);
    if (!out.error().empty()) return failWith("cannot write " + outPath + " (" + out.error() + ")");
    if (!out.write(text) || !out.commit(force)) {
        if (out.alreadyExists())
            return failWith(outPath + " already exists; give --force to replace it");
        return failWith("cannot write " + outPath + " (" + out.error() + ")");
    }
    std::cerr << formatOffLadderWarning(file, conversion);
    if (choice.units.empty()) std::cerr << basePairWarning(file);
    std::cout << formatSettings(file, choice, conversion)
              << formatReport(file, choice, conversion, summary);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // GSL reports its failures as statuses, never through its handler, which
    // aborts.
    gsl_set_error_handler_off();
    // Every reader names the file it cannot read; a stream error that still
    // escapes ends the program with a message rather than an abort.
    try {
        return importMain(argc, argv);
    } catch (const std::ios_base::failure& e) {
        return failWith(std::string("a file cannot be read: ") + e.what());
    }
}
