#include "study/SlurmArray.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

extern char** environ;

namespace fs = std::filesystem;

namespace {

bool runnable(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string slurmTaskScript() {
    return "#!/bin/sh\n"
           "# A task of a reference table that foundabc-study makes on a Slurm job\n"
           "# array: task K runs shard K of the table's M shards, in the folder the\n"
           "# array was submitted from (the study's work folder); foundabc-study\n"
           "# merges the shards once the array has ended. foundabc-study writes this\n"
           "# file and passes its arguments: FOUNDABC PARAMETER_FILE SEED M TABLE.\n"
           "if [ $# -ne 5 ] || [ -z \"${SLURM_ARRAY_TASK_ID:-}\" ]; then\n"
           "    echo \"usage: sbatch --array=LIST $0 FOUNDABC PARAMETER_FILE SEED M TABLE\" >&2\n"
           "    exit 2\n"
           "fi\n"
           "exec \"$1\" --threads 0 --seed \"$3\" --shard \"$SLURM_ARRAY_TASK_ID/$4\" --table "
           "\"$5\" \"$2\"\n";
}

std::string findProgram(const std::string& program) {
    if (program.empty()) return "";
    if (program.find('/') != std::string::npos)
        return runnable(program) ? fs::absolute(program).lexically_normal().string() : "";
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "";
    for (std::size_t begin = 0; begin <= folders.size();) {
        std::size_t end = folders.find(':', begin);
        if (end == std::string::npos) end = folders.size();
        // An empty entry of PATH is the current folder.
        const fs::path candidate =
            fs::path(end > begin ? folders.substr(begin, end - begin) : ".") / program;
        if (runnable(candidate)) return fs::absolute(candidate).lexically_normal().string();
        begin = end + 1;
    }
    return "";
}

std::string foundabcForTasks(std::string& problem) {
    if (const char* given = std::getenv("FOUNDABC_BIN"); given && *given) {
        const std::string found = findProgram(given);
        if (found.empty())
            problem = std::string("FOUNDABC_BIN is '") + given +
                      "', which is no program that can be run; set it to foundabc's full path";
        return found;
    }
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error && runnable(self.parent_path() / "foundabc"))
        return (self.parent_path() / "foundabc").string();
    const std::string onPath = findProgram("foundabc");
    if (onPath.empty())
        problem =
            "cannot find foundabc for the array's tasks: put it beside foundabc-study or on "
            "PATH, or set FOUNDABC_BIN to its full path";
    return onPath;
}

std::string arrayList(const std::vector<int>& tasks) {
    std::string list;
    for (std::size_t i = 0; i < tasks.size();) {
        std::size_t j = i;
        while (j + 1 < tasks.size() && tasks[j + 1] == tasks[j] + 1) ++j;
        list += (list.empty() ? "" : ",") + std::to_string(tasks[i]);
        if (j > i) list += "-" + std::to_string(tasks[j]);
        i = j + 1;
    }
    return list;
}

SlurmArray::SlurmArray(const std::vector<std::string>& args) {
    std::vector<std::string> words = {"sbatch", "--wait", "--parsable"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    const int spawned = posix_spawnp(&pid_, "sbatch", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        pid_ = -1;
        close(out[0]);
        return;
    }
    fd_ = out[0];
    // sbatch prints the job's id ("ID" or "ID;CLUSTER") as soon as the array
    // is queued, then waits for its end.
    std::string line;
    char c = 0;
    for (;;) {
        const ssize_t got = read(fd_, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || c == '\n') break;
        line += c;
    }
    jobId_ = line.substr(0, line.find(';'));
}

int SlurmArray::wait() {
    if (waited_) return status_;
    waited_ = true;
    if (pid_ < 0) return status_;
    // Whatever else sbatch prints is read, so that it never blocks on a full
    // pipe.
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
    }
    close(fd_);
    fd_ = -1;
    int status = 0;
    pid_t ended = 0;
    do {
        ended = waitpid(pid_, &status, 0);
    } while (ended < 0 && errno == EINTR);
    if (ended == pid_ && WIFEXITED(status)) status_ = WEXITSTATUS(status);
    return status_;
}

SlurmArray::~SlurmArray() { wait(); }
