#pragma once
// The one process-wide pool of threads that size measurement shares out its
// work on. It holds one thread fewer than width(): the thread that asks for
// help works too.
#include <functional>

namespace WorkPool {

// How many threads may work on one job at once, the caller included: the
// hardware threads the process may run on, at least 1 and at most the few
// that still make a walk faster.
unsigned width();

// A job's handles belong to its thread: each pool thread has a handle table of
// its own (where the kernel allows it), holding only the standard streams of
// the program's handles, so a job never uses a handle another thread opened
// nor hands one it opened to another thread; it passes paths instead, and
// closes what it opened before it ends.
//
// Runs the job on a pool thread as soon as one is free. A job must not wait for
// another job to run (the caller of a shared job works through it itself and
// never relies on the pool to start one), so a busy pool only slows work down.
// With a width of 1 there are no pool threads and the job is dropped.
void post(std::function<void()> job);

// Returns once no job is queued or running and every pool thread has started
// and is waiting for work, holding nothing. A walk returns when its last entry
// was visited, while helpers may still be letting go of what they used, or
// still starting (a thread's start allocates too); a program about to fork
// (a test's child, say) waits here first, so no lock a helper holds, the
// allocator's included, is copied into the child held.
void waitUntilIdle();

}  // namespace WorkPool
