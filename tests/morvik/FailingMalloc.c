/* The allocator of FailingMalloc.h: glibc's own, behind a switch. */
#include "FailingMalloc.h"

#include <errno.h>

void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);

/* Seen by the libraries too (the build hides symbols by default): they bind to these, not to
 * the C library's. */
#define REPLACES __attribute__((visibility("default")))

/* Plain variables: malloc runs before any constructor, and the tests arm it on one thread. */
static int armed;
static int persistent;
static int failed;
static size_t left;

static int FailNow(void) {
    if (!armed) return 0;
    if (failed) return persistent;
    if (left > 0) {
        --left;
        return 0;
    }
    failed = 1;
    return 1;
}

void FailAllocationAfter(size_t succeeding, int persist) {
    left = succeeding;
    persistent = persist;
    failed = 0;
    armed = 1;
}

void DisarmAllocationFailure(void) {
    armed = 0;
}

int AllocationFailed(void) {
    return failed;
}

REPLACES void* malloc(size_t size) {
    if (FailNow()) {
        errno = ENOMEM;
        return NULL;
    }
    return __libc_malloc(size);
}

REPLACES void* calloc(size_t count, size_t size) {
    if (FailNow()) {
        errno = ENOMEM;
        return NULL;
    }
    return __libc_calloc(count, size);
}

REPLACES void* realloc(void* block, size_t size) {
    if (FailNow()) {
        errno = ENOMEM;
        return NULL;
    }
    return __libc_realloc(block, size);
}

/* operator new of over-aligned types. */
REPLACES void* aligned_alloc(size_t alignment, size_t size) {
    if (FailNow()) {
        errno = ENOMEM;
        return NULL;
    }
    return __libc_memalign(alignment, size);
}
