#!/bin/sh
# use_installed.sh WORK [BUILD]: builds hello.c against an installed morvik with pkg-config and
# with CMake's find_package, and runs both from a folder of their own on a Dutch sentence. With
# BUILD, that build is installed into WORK/prefix first; without, the system's install is used.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$1
rm -rf "$work"
mkdir -p "$work/run"
if [ $# -ge 2 ]; then
  prefix=$work/prefix
  cmake --install "$2" --prefix "$prefix" >/dev/null
  PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name morvik.pc)")
  export PKG_CONFIG_PATH
  set -- -DCMAKE_PREFIX_PATH="$prefix"
else
  set --
fi
sentence="Het weer blijft deze week droog en zonnig, zegt het weerbericht van vandaag."

libdir=$(pkg-config --variable=libdir morvik)
# shellcheck disable=SC2046 # the flags are words
cc -Wall -Wextra -Werror -o "$work/hello-pc" "$here/hello.c" $(pkg-config --cflags --libs morvik) \
  -Wl,-rpath,"$libdir"
cmake -S "$here" -B "$work/cmake" "$@" >/dev/null
cmake --build "$work/cmake" >/dev/null

status=0
for program in "$work/hello-pc" "$work/cmake/hello"; do
  answer=$(cd "$work/run" && "$program" "$sentence") || { echo "$program failed" >&2; status=1; continue; }
  case $answer in
    "nl "*) echo "$program: $answer" ;;
    *) echo "$program: '$answer', expected nl" >&2; status=1 ;;
  esac
done
exit $status
