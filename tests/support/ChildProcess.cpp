#include "support/ChildProcess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace {

std::string drain(int fd) {
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
}

int statusOf(int wstatus) { return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1; }

}  // namespace

ChildResult runInChild(const std::function<void()>& body) {
    std::cout.flush();
    std::fflush(stdout);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(pipeFds[0]);
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[1]);
        body();
        std::cout.flush();
        std::fflush(stdout);
        _exit(0);
    }
    close(pipeFds[1]);
    ChildResult result;
    result.out = drain(pipeFds[0]);
    close(pipeFds[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.exitStatus = statusOf(wstatus);
    return result;
}

ChildResult runProgram(const std::vector<std::string>& argv, const std::string& dir,
                       const std::string& errPath) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(pipeFds[0]);
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[1]);
        int errFd = errPath.empty() ? open("/dev/null", O_WRONLY)
                                    : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (errFd >= 0) dup2(errFd, STDERR_FILENO);
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(127);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    ChildResult result;
    result.out = drain(pipeFds[0]);
    close(pipeFds[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.exitStatus = statusOf(wstatus);
    return result;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "foundabc-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
    std::string full = file(name);
    std::ofstream out(full, std::ios::binary);
    out << content;
    return full;
}

std::string TempDir::read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool TempDir::exists(const std::string& name) const { return std::filesystem::exists(file(name)); }
