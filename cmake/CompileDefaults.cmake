# Compile defaults shared by every target of the project.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_C_STANDARD 11)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
# Libraries export only what they mark; morvik relies on this for its C surface.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
# Installed programs find the project's libraries in the install's own lib folder, whatever the
# prefix (the build tree's run paths are CMake's own).
set(CMAKE_INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

# Warnings are errors where the project chooses (its Makefile targets and CI turn this on), not in
# a user's or a distributor's build with another compiler, whose new warnings must not stop it.
option(BREVON_WERROR "Treat compiler warnings as errors" OFF)
if(MSVC)
  add_compile_options(/W4)
  if(BREVON_WERROR)
    add_compile_options(/WX)
  endif()
else()
  add_compile_options(-Wall -Wextra)
  if(BREVON_WERROR)
    add_compile_options(-Werror)
  endif()
endif()

option(BREVON_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(BREVON_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

option(BREVON_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(BREVON_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "BREVON_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
endif()
if(BREVON_FUZZ)
  # Instrument the libraries too, so the fuzzers see coverage inside them.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Folder of the test data, handed to tests by compile definition.
set(BREVON_TEST_DATA_DIR "${PROJECT_SOURCE_DIR}/tests/data")
