#pragma once

#include <string>
#include <vector>

#include "sim/Params.h"

// A reference table is three files written together: the table, its observed
// statistics and its priors (see FileFormats.h). Before a run or a merge
// writes any of them it claims them: their names are checked against the
// files the run reads or appends to, and the table is locked against other
// runs. Both steps write nothing, so a refused run leaves every file as it
// was.

// A file that the table's files must not land on, with what it is to the run
// ("parameter file", "data file", "results file").
struct ProtectedFile {
    std::string role;
    std::string path;
};

// The files a run reads or appends to, which its reference table must not
// overwrite: the parameter file `paramsFile`, the data and results files.
std::vector<ProtectedFile> runInputs(const std::string& paramsFile, const params& p);

// Whether `a` and `b` name one file: the same device and inode when both
// exist (so a hard link, a symbolic link or "./x" is caught), else the same
// name once the folder is resolved (for a file still to be created).
bool sameFile(const std::string& a, const std::string& b);

// Ends the run with "error: table: ..." when the table `tablePath`, its
// observed-statistics file, its priors file or the priors file's temporary
// would overwrite one of `others` or one another. Opens nothing.
void refuseTableOverOtherFiles(const std::string& tablePath,
                               const std::vector<ProtectedFile>& others);
// The message with which refuseTableOverOtherFiles ends the run; "" when the
// table's files clash with none of `others`.
std::string tableOverOtherFiles(const std::string& tablePath,
                                const std::vector<ProtectedFile>& others);

// Holds the table `tablePath`, and through it the observed-statistics and
// priors files beside it, against other runs, from construction to
// destruction, as the results file is held: an exclusive flock on the table
// itself, opened (and created when missing) without truncating it. A table
// that a live run holds ends this run with "error: table: NAME is being
// written by another run; give each run its own --table" and status 1; a
// table that cannot be opened for writing ends it with "error: table: cannot
// write NAME". Only regular files are locked (a device has no run of its own)
// and, on a file system without locks, the run goes on unguarded. The table's
// writer holds one (see ReferenceTableWriter) from before it truncates the
// table to its destruction, past its close(), so that the files beside the
// table are written, and the priors file marked complete, under the lock.
class TableLock {
  public:
    explicit TableLock(const std::string& tablePath);
    ~TableLock();
    TableLock(TableLock&& other) noexcept;
    TableLock& operator=(TableLock&& other) noexcept;
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

  private:
    int fd_ = -1;
};
