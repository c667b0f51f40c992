# The Windows cross build (see cmake/toolchains/mingw-w64-x86_64.cmake).
#
# Programs and DLLs land in one folder, bin/, as in an installed Windows program: Windows finds
# a program's DLLs in the program's own folder, and has no run paths.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Tests and the build's own steps (morvik's models) run the programs under Wine, in a Wine
# prefix of this build folder's own; scripts/wine-prefix starts it and its server.
set(BREVON_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix of the Windows build")
if(NOT BREVON_WINE)
  message(FATAL_ERROR "The Windows build runs its programs under Wine: install wine64 "
                      "(scripts/install-deps-windows)")
endif()
# (No Mono or Gecko, should a first run set the prefix up: Wine would try to fetch them.)
# scripts/wine-run runs the program with the loader named by WINELOADER, and once more when Wine
# fails before the program has started.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${BREVON_WINEPREFIX} WINEDEBUG=-all
                                  WINELOADER=${BREVON_WINE} WINEDLLOVERRIDES=mscoree,mshtml=
                                  ${PROJECT_SOURCE_DIR}/scripts/wine-run)
