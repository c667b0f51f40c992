# Installs the build into a fresh folder and checks that the installed program finds what it
# reads where it looks: its read-only data in <bin>/../share/brevon (lid.cfg, the models lid.cfg
# names relative to it, the preprocessor's rules, the help) and its libraries, morvik included,
# which it loads by name, through its run path.
#   cmake -DBUILD=<build tree> -DWORK=<scratch folder> -DBINDIR=bin -DLIBDIR=lib
#         -P check_install.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${WORK}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD} --prefix ${WORK} failed: ${status}")
endif()

set(problems "")
set(program "${WORK}/${BINDIR}/brevon")
if(NOT EXISTS "${program}")
  string(APPEND problems "no ${program}\n")
endif()

# Where the program looks for its data: next to itself, then ../share/brevon.
get_filename_component(data "${WORK}/${BINDIR}/../share/brevon" ABSOLUTE)
set(wanted lid.cfg zq-regels.txt brevon.html providers.ini)
if(EXISTS "${data}/lid.cfg")
  file(STRINGS "${data}/lid.cfg" models REGEX "^ngramfile_")
  foreach(line IN LISTS models)
    string(REGEX REPLACE "^[^=]*=[ \t]*" "" model "${line}")
    list(APPEND wanted "${model}")
  endforeach()
endif()
foreach(name IN LISTS wanted)
  if(NOT EXISTS "${data}/${name}")
    string(APPEND problems "the program looks for ${name} in ${data}, which lacks it\n")
  endif()
endforeach()

# morvik is loaded by the name of its interface version at run time, so the loader's check
# below does not cover it.
if(NOT EXISTS "${WORK}/${LIBDIR}/libmorvik.so.1")
  string(APPEND problems "libmorvik.so.1 is not in ${WORK}/${LIBDIR}, where the run path points\n")
endif()
# brevon's own libraries are private: in a folder of their own, not where any program links.
file(GLOB public RELATIVE "${WORK}/${LIBDIR}" "${WORK}/${LIBDIR}/libzq*" "${WORK}/${LIBDIR}/libqvstts*")
if(public)
  string(APPEND problems "brevon's own libraries in the public folder: ${public}\n")
endif()
# Every installed program finds its libraries, and the project's own ones in the install, not
# in a copy installed elsewhere before.
file(GLOB own RELATIVE "${WORK}/${LIBDIR}" "${WORK}/${LIBDIR}/*.so*")
file(GLOB private RELATIVE "${WORK}/${LIBDIR}/brevon" "${WORK}/${LIBDIR}/brevon/*.so*")
list(APPEND own ${private})
file(GLOB programs "${WORK}/${BINDIR}/*")
foreach(binary IN LISTS programs)
  execute_process(COMMAND ldd "${binary}" OUTPUT_VARIABLE libraries ERROR_QUIET)
  string(REPLACE "\n" ";" lines "${libraries}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*([^ \t]+) => not found")
      string(APPEND problems "${binary} does not find ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^[ \t]*([^ \t]+) => ([^ \t]+)")
      set(library "${CMAKE_MATCH_1}")
      set(found "${CMAKE_MATCH_2}")
      string(FIND "${found}" "${WORK}/" at)
      if(library IN_LIST own AND NOT at EQUAL 0)
        string(APPEND problems "${binary} loads ${found} instead of the installed ${library}\n")
      endif()
    endif()
  endforeach()
endforeach()

file(REMOVE_RECURSE "${WORK}")
if(problems)
  message(FATAL_ERROR "${problems}")
endif()
