#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "io/FinishedFile.h"
#include "summary/TableCommand.h"

// The output files of one foundabc-summary call, checked and opened before
// anything is computed or printed: a refused call leaves standard output
// empty and every file as it was.

// A file of the call: for an output the option that names it ("--sample"),
// for an input what it is ("reference table"); `what` names an output in
// "cannot write WHAT 'PATH'" ("the table of rows"), when it has a name.
struct NamedFile {
    std::string role;
    std::string path;
    std::string what = "";
};

class OutputFiles {
  public:
    // Refuses an output (those with an empty path are not asked for) that is
    // one of `inputs` or an earlier output, by name or by device and inode
    // (a character device such as /dev/null may take several outputs), with
    // "ROLE 'OUTPUT' is the ROLE 'INPUT'; give the output another name"; then
    // creates each output's FinishedFile, so that a missing or read-only
    // folder or a name that holds a directory is refused now, with "cannot
    // write [WHAT ]'OUTPUT': WHY". Messages go to `err` after the program's name;
    // returns false after one.
    bool open(const std::vector<NamedFile>& outputs, const std::vector<NamedFile>& inputs,
              std::ostream& err);

    // The file opened for `path`, one of the outputs given to open().
    FinishedFile& file(const std::string& path);

    // Writes `text` as the whole file `path` and prepares it (see
    // FinishedFile::prepare): 0, or 1 after "cannot write 'PATH': WHY" on
    // `err`. The file takes its name at commitAll().
    int write(const std::string& path, const std::string& text, std::ostream& err);

    // Puts every prepared output (written by write(), or drawn into its
    // FinishedFile and prepared) under its name, in the order they were
    // opened, with the termination signals held off, so that a signal
    // leaves the call's outputs all old or all new. Called once the command
    // has succeeded: a failed command puts none of its files under their
    // names. 0, or 1 after "cannot write 'PATH': WHY" on `err`.
    int commitAll(std::ostream& err);

  private:
    std::vector<std::pair<std::string, std::unique_ptr<FinishedFile>>> files_;
};

// The files that `foundabc-summary --table` reads: the table, its observed
// statistics and its priors.
std::vector<NamedFile> tableInputs(const std::string& tablePath);

// Whether the sample `samplePath` gets the record of its table beside it: not
// when it is a pipe or a device, which have no "beside".
bool recordsSampleOrigin(const std::string& samplePath);

// The outputs of `foundabc-summary --table`, in the order they are written:
// the record beside the sample among them.
std::vector<NamedFile> tableOutputs(const TableOptions& options);
