// A seam for running out of memory: the test program that links FailingMalloc.c has its own
// malloc, calloc, realloc and aligned_alloc, which fail on demand. glibc lets a program replace
// them, and every library it uses (the C++ runtime's operator new, Tcl, morvik) then allocates
// through them. Linux builds without sanitizers only (the sanitizers bring their own malloc).
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* After `succeeding` more allocations succeed, the next one fails; with `persistent` non-zero
 * every one after it fails too, until DisarmAllocationFailure. */
void FailAllocationAfter(size_t succeeding, int persistent);
void DisarmAllocationFailure(void);
/* Non-zero when an allocation failed since the last FailAllocationAfter. */
int AllocationFailed(void);

#ifdef __cplusplus
}

// Runs call() once for each allocation it makes, with that allocation failing (and with
// persistent every later one in the call too), until a run that allocation failure no longer
// reaches; after each run, with allocations working again, check(failed) looks at what it left.
// Returns the number of runs in which an allocation failed.
template <typename Call, typename Check>
size_t SweepAllocationFailures(bool persistent, Call&& call, Check&& check) {
    struct Armed {
        Armed(size_t k, bool persistent) { FailAllocationAfter(k, persistent ? 1 : 0); }
        ~Armed() { DisarmAllocationFailure(); }
    };
    for (size_t k = 0;; ++k) {
        bool failed = false;
        {
            Armed armed(k, persistent);
            call();
            failed = AllocationFailed() != 0;
        }
        check(failed);
        if (!failed) return k;
    }
}
#endif
