# Tcl's hash tables for a Windows build. Tcl for Windows is not packaged in Debian, so the hash
# table code is compiled here from Debian's own Tcl source package (scripts/fetch-tcl-source
# unpacks it; BREVON_TCL_SOURCE_DIR points at it): the hash tables, the panic procedure and the
# allocator over the C library's malloc, as Tcl itself builds them, and Tcl's default Windows
# panic output (TclWinPanic.c). The
# library is static, so morvik.dll carries it and needs no tcl86.dll beside it.
set(BREVON_TCL_SOURCE_DIR "" CACHE PATH "Unpacked Tcl 8.6 source package (Windows builds)")
if(NOT EXISTS "${BREVON_TCL_SOURCE_DIR}/generic/tclHash.c")
  message(FATAL_ERROR "morvik: a Windows build needs Tcl's sources: set BREVON_TCL_SOURCE_DIR to "
                      "the unpacked tcl8.6 source package (see scripts/fetch-tcl-source)")
endif()
add_library(tcl_hash STATIC
    ${BREVON_TCL_SOURCE_DIR}/generic/tclHash.c
    ${BREVON_TCL_SOURCE_DIR}/generic/tclPanic.c
    ${BREVON_TCL_SOURCE_DIR}/generic/tclAlloc.c
    ${BREVON_TCL_SOURCE_DIR}/generic/tclCkalloc.c
    ${CMAKE_CURRENT_LIST_DIR}/TclWinPanic.c)
target_include_directories(tcl_hash SYSTEM PUBLIC ${BREVON_TCL_SOURCE_DIR}/generic)
target_include_directories(tcl_hash PRIVATE ${BREVON_TCL_SOURCE_DIR}/win
                                            ${BREVON_TCL_SOURCE_DIR}/libtommath)
# STATIC_BUILD: users of tcl.h link these functions directly, not from a DLL.
target_compile_definitions(tcl_hash PUBLIC STATIC_BUILD)
# What Tcl's own configure sets for a 64-bit mingw-w64 build; USE_TCLALLOC=0 is malloc.
target_compile_definitions(tcl_hash PRIVATE BUILD_tcl HAVE_INTPTR_T=1 HAVE_UINTPTR_T=1
                                            HAVE_STDINT_H=1 HAVE_INTTYPES_H=1 USE_TCLALLOC=0
                                            TCL_CFG_DO64BIT=1 MODULE_SCOPE=extern)
# Tcl's code is compiled as Tcl compiles it: the project's warning flags are for its own code.
set_property(TARGET tcl_hash PROPERTY COMPILE_OPTIONS "")
if(NOT MSVC)
  # morvik's panic procedure throws out of a failed allocation, through Tcl's frames.
  set_property(TARGET tcl_hash PROPERTY COMPILE_OPTIONS -fexceptions)
endif()
set_property(TARGET tcl_hash PROPERTY C_STANDARD 99)
set_property(TARGET tcl_hash PROPERTY C_VISIBILITY_PRESET default)
