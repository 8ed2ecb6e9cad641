#pragma once

#include <cstddef>
#include <functional>

// Calls task(i) once for every i in [0, count), on up to `threads` threads
// (the caller's included) that take the next index from a shared counter.
// Each task must write only its own results, so that the outcome does not
// depend on the number of threads. Threads the system refuses are done
// without: in the end the caller's thread alone runs everything. The first
// exception a task throws is rethrown once all threads have stopped.
void forEachIndex(std::size_t count, int threads, const std::function<void(std::size_t)>& task);
