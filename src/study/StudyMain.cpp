// foundabc-study: the whole analysis of a study file, from the data to a
// report, step by step (see StudyRun.h); or, with --init, a new study folder.
#include <gsl/gsl_errno.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "base/HelpFormat.h"
#include "base/OptionError.h"
#include "base/Version.h"
#include "run/StartUp.h"
#include "study/SlurmArray.h"
#include "study/StudyFile.h"
#include "study/StudyInit.h"
#include "study/StudyRun.h"

namespace {

int failWith(const std::string& message) {
    std::cerr << "foundabc-study: " << message << "\n";
    return 1;
}

int studyMain(int argc, char** argv) {
    CLI::App app{
        "Runs a whole analysis from a study file (TOML): imports the data, makes one reference "
        "table per model, chooses the model, estimates its parameters, checks the estimates' "
        "calibration, whether the tables are large enough, and the model's fit, and writes a "
        "report into the study's report/ folder. Each step prints one line with its time; a "
        "step whose inputs and settings have not changed since its last run is not redone.",
        "foundabc-study"};
    app.set_version_flag("--version", std::string("foundabc-study ") + foundabcVersion);
    app.formatter(std::make_shared<WrappedHelp>());
    app.footer(
        "Steps: import, tables, choice, estimate, calibration, enough, fit, report. The study "
        "keeps its work in STUDY/work/ and the report in STUDY/report/. Errors print a message "
        "naming the file and key on standard error and end with status 1.");
    std::string studyPath, initFolder, genepop, sue, tha;
    std::vector<std::string> redo;
    int threads = -1, unit = 0;
    app.add_option("STUDY.toml", studyPath, "The study file");
    app.add_option("--init", initFolder,
                   "Write a new study folder: study.toml, base.txt and a copy of the Genepop file")
        ->type_name("FOLDER");
    app.add_option("--genepop", genepop, "With --init: the Genepop file")->type_name("FILE");
    app.add_option("--sue", sue, "With --init: the population of sue (number or name)")->type_name("POP");
    app.add_option("--tha", tha, "With --init: the population of tha (number or name)")->type_name("POP");
    app.add_option("--repeat-unit", unit, "With --init: the repeat unit of every locus in base pairs")
        ->type_name("U")
        ->check(CLI::Range(1, 999999));
    app.add_option("--redo", redo, "Redo this step even if its inputs have not changed (or all)")
        ->type_name("STEP")
        ->check(CLI::IsMember([] {
            std::vector<std::string> names = studyStepNames();
            names.push_back("all");
            return names;
        }()));
    app.add_option("--threads", threads,
                   "Threads for the simulations and the forests (0: every core; the results do "
                   "not depend on it); overrides [run] threads")
        ->type_name("N")
        ->check(CLI::Range(0, 4096));
    bool slurm = false;
    int tasks = 0;
    auto* slurmFlag = app.add_flag(
        "--slurm", slurm,
        "Make the tables on a Slurm cluster (sbatch on PATH): each table to make is split over "
        "the tasks of a job array (sbatch --wait) and merged when the array has ended, into the "
        "bytes of the table made here; the other steps run here");
    app.add_option("--tasks", tasks,
                   "With --slurm: the tasks of each table's job array; overrides [slurm] tasks")
        ->type_name("M")
        ->check(CLI::Range(1, kMostSlurmTasks))
        ->needs(slurmFlag);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e) == 0 ? 0 : 1;
        std::cerr << "foundabc-study: " << optionErrorMessage(app, e, argc, argv)
                  << "\nRun with --help for more information.\n";
        return 1;
    }
    if (!initFolder.empty()) {
        if (genepop.empty() || sue.empty() || tha.empty())
            return failWith("--init needs --genepop, --sue and --tha");
        if (!studyPath.empty() || slurm)
            return failWith("--init writes a study; give no study file or --slurm with it");
        const std::string problem = initStudy({initFolder, genepop, sue, tha, unit});
        if (!problem.empty()) return failWith(problem);
        std::cout << "wrote " << initFolder << "/study.toml and " << initFolder
                  << "/base.txt; edit the priors, then run foundabc-study " << initFolder
                  << "/study.toml\n";
        return 0;
    }
    if (studyPath.empty()) return failWith("give a study file, or --init FOLDER to write one");
    StudySettings study;
    const std::string problem = readStudyFile(studyPath, study);
    if (!problem.empty()) return failWith(problem);
    StudyRunOptions options;
    if (slurm) {
        // What a job array needs is checked before any work.
        options.slurm = true;
        options.slurmTasks = tasks > 0 ? tasks : study.slurm.tasks;
        if (options.slurmTasks == 0)
            return failWith("--slurm needs the number of tasks of each table's job array: give "
                            "--tasks M, or tasks in the study file's [slurm] table");
        if (findProgram("sbatch").empty())
            return failWith("--slurm: sbatch is not on PATH: run the study where Slurm jobs are "
                            "submitted, or without --slurm to make the tables on this machine");
        std::string why;
        options.foundabc = foundabcForTasks(why);
        if (options.foundabc.empty()) return failWith("--slurm: " + why);
    }
    options.redo.insert(redo.begin(), redo.end());
    options.threads = threads;
    // The report names the study file from its own folder, so that the
    // report's bytes do not depend on where the program was started.
    const std::size_t slash = studyPath.rfind('/');
    options.command =
        "foundabc-study " + (slash == std::string::npos ? studyPath : studyPath.substr(slash + 1));
    options.shownFolder = slash == std::string::npos ? "" : studyPath.substr(0, slash + 1);
    return runStudy(study, options);
}

}  // namespace

int main(int argc, char** argv) {
    gsl_set_error_handler_off();
    installOutOfMemoryHandler();
    // Every reader names the file it cannot read; a stream error that still
    // escapes ends the program with a message rather than an abort.
    try {
        return studyMain(argc, argv);
    } catch (const std::ios_base::failure& e) {
        std::cerr << "foundabc-study: a file cannot be read: " << e.what() << "\n";
        return 1;
    }
}
