#include "io/SignalsHeld.h"

#include <pthread.h>

#include <initializer_list>

TerminationSignalsHeld::TerminationSignalsHeld() {
    sigset_t ending;
    sigemptyset(&ending);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&ending, sig);
    held_ = pthread_sigmask(SIG_BLOCK, &ending, &previous_) == 0;
}

TerminationSignalsHeld::~TerminationSignalsHeld() {
    if (held_) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}
