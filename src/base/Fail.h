#pragma once

#include <string>

// Ends the run after an error: writes `message` to standard output exactly as
// given (the caller includes any line end), flushes, and exits with status 1.
// Every error of the program goes through here. When standard output is not
// a terminal (and not the file standard error writes to), the message goes to
// standard error as well, ended by a line end, so that a run whose output is
// redirected does not end in silence.
[[noreturn]] void fail(const std::string& message);

// Registers `hook` (or none, with nullptr) to run in fail() before the message
// is written; the progress line uses it to clear itself from the terminal.
void setFailureHook(void (*hook)());

// A failure raised in a thread that defers its failures: the message that
// fail() would have printed. The thread's owner reports it (through fail())
// at the point of the run where it belongs.
struct DeferredFailure {
    std::string message;
};

// While an object of this type lives, fail() in the creating thread throws a
// DeferredFailure instead of printing and ending the process. Worker threads
// of a parallel run use it so that a failing simulation ends the run only once
// every earlier simulation's rows are written.
class DeferFailures {
  public:
    DeferFailures();
    ~DeferFailures();
    DeferFailures(const DeferFailures&) = delete;
    DeferFailures& operator=(const DeferFailures&) = delete;

  private:
    bool previous_;
};
