#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A Slurm job array submitted with `sbatch --wait` and waited on: what
// `foundabc-study --slurm` uses to make each model's table on a cluster. The
// tasks run the job script of slurmTaskScript(), one shard of the table each.

// The job script the tasks run, written into the study's work folder. Its
// arguments: the foundabc program, the parameter file, the seed, the number
// of shards M and the table; task K runs shard K of M (K is the task's index
// in the array, so that an array of some tasks only reruns those shards).
std::string slurmTaskScript();

// The full path of `program` as the shell finds it: itself when it holds a
// '/', else the first executable file of that name in a folder of PATH; ""
// when there is none.
std::string findProgram(const std::string& program);

// The foundabc program the tasks run, as a full path: $FOUNDABC_BIN when it
// is set, else the one beside the running program, else the one on PATH.
// "" and `problem` set when there is none.
std::string foundabcForTasks(std::string& problem);

// "1-3,5,7-8": the task list of sbatch's --array for `tasks` (ascending).
std::string arrayList(const std::vector<int>& tasks);

// One `sbatch --wait --parsable ARGS` running in the current folder: the
// constructor starts it and returns once it has submitted the array (or
// failed to); wait() waits for the array's end. Its standard error is the
// study's. The destructor waits for it when wait() was not called.
class SlurmArray {
  public:
    explicit SlurmArray(const std::vector<std::string>& args);
    ~SlurmArray();
    SlurmArray(const SlurmArray&) = delete;
    SlurmArray& operator=(const SlurmArray&) = delete;

    // The job's id as sbatch printed it; empty when nothing was submitted.
    const std::string& jobId() const { return jobId_; }

    // Waits for sbatch to end and returns its exit status: 0 when every
    // task succeeded, else the highest of the tasks' (or sbatch's own) status;
    // -1 when sbatch could not be started or was killed.
    int wait();

  private:
    pid_t pid_ = -1;
    int fd_ = -1;  // sbatch's standard output
    int status_ = -1;
    bool waited_ = false;
    std::string jobId_;
};
