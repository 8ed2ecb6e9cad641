#pragma once

#include <functional>
#include <string>
#include <vector>

// What a child process left behind: its exit status (or -1 when it did not
// exit normally, e.g. killed by a signal) and everything it wrote to stdout.
struct ChildResult {
    int exitStatus = -1;
    std::string out;
};

// Runs `body` in a forked child with standard output captured. If `body`
// returns, the child exits with status 0. Used to test the paths that end the
// process (messages on stdout, exit status 1).
ChildResult runInChild(const std::function<void()>& body);

// Runs a program with the given arguments (no shell), in working directory
// `dir` when not empty; captures its standard output. Standard error goes to
// the file `errPath` when given, else it is discarded.
ChildResult runProgram(const std::vector<std::string>& argv, const std::string& dir = "",
                       const std::string& errPath = "");

// A fresh empty directory under the system temp folder, removed with its
// contents when the object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Full path of `name` inside the directory.
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes `content` to `name` inside the directory; returns its full path.
    std::string write(const std::string& name, const std::string& content) const;
    // Contents of `name` inside the directory ("" if missing).
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    std::string path_;
};
