/* Tcl's default panic procedure on Windows (tclWinDebugPanic, in tclWinFile.c with the rest of
 * Tcl's file system, which the hash table library leaves out): the message on standard error,
 * then the end of the process. morvik installs a panic procedure of its own before its first
 * table, so this one only stands until then. */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <tcl.h>

TCL_NORETURN void tclWinDebugPanic(const char* format, ...);

TCL_NORETURN void tclWinDebugPanic(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    fflush(stderr);
    abort();
}
