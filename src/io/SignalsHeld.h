#pragma once

#include <signal.h>

// Holds off, on the calling thread and while it lives, the signals with which
// a user or the system asks a process to end (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT), so that a short sequence of steps that must happen all together
// (putting several finished files under their names) is not cut in the
// middle. A signal that arrives meanwhile stays pending and takes effect when
// the guard ends, which restores the mask it found.
class TerminationSignalsHeld {
  public:
    TerminationSignalsHeld();
    ~TerminationSignalsHeld();
    TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
    TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

  private:
    sigset_t previous_;
    bool held_ = false;
};
