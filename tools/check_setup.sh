#!/usr/bin/env bash
# Checks that tools/setup.sh installs every Debian package the build and the tests use:
# what CMakeLists.txt finds (find_package, find_path, find_library, as the configured build
# found it), the compiler, cmake and make, the programs the tests run and the ODBC drivers
# they connect through. Each is traced to the package that owns its file (dpkg -S).
# Usage: check_setup.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src="${1:?usage: check_setup.sh SOURCE_DIR BUILD_DIR}"
build="${2:?usage: check_setup.sh SOURCE_DIR BUILD_DIR}"
cache="$build/CMakeCache.txt"

# The package list of the set-up script: the words of its packages=( ... ) array.
mapfile -t listed < <(sed -n '/^packages=(/,/^)/p' "$src/tools/setup.sh" | sed -e 's/#.*//' -e 's/packages=(//' -e 's/)//' |
                      tr -s ' \t' '\n' | sed '/^$/d')
(( ${#listed[@]} )) || { echo "tools/setup.sh: no packages=( ... ) list found"; exit 1; }
declare -A installs
for p in "${listed[@]}"; do installs[$p]=1; done

cached() { sed -n "s/^$1:[A-Z]*=//p" "$cache" | head -1; }

bad=0 checked=0
# Requires that the package owning `path` is installed by the set-up script.
require() {
  local what="$1" path="$2" real owner
  [[ -e "$path" ]] || { echo "$what: $path does not exist"; bad=1; return; }
  # The link itself first (libfoo.so belongs to the -dev package), then its target
  # (/usr/bin/c++ is an alternative).
  real=$(realpath -s "$path")
  owner=$(dpkg -S "$real" 2>/dev/null | head -1 | cut -d: -f1) || true
  if [[ -z "$owner" ]]; then
    real=$(realpath -e "$path")
    owner=$(dpkg -S "$real" 2>/dev/null | head -1 | cut -d: -f1) || true
  fi
  [[ -n "$owner" ]] || { echo "$what: no Debian package owns $real"; bad=1; return; }
  checked=$((checked + 1))
  if [[ -n "${installs[$owner]:-}" ]]; then return; fi
  # The versioned compiler comes with the unversioned package.
  if [[ "$owner" =~ ^(g\+\+|gcc|cpp)-[0-9]+$ && -n "${installs[${owner%-*}]:-}" ]]; then return; fi
  echo "$what ($real) comes from the Debian package $owner, which tools/setup.sh does not install"
  bad=1
}

# What CMakeLists.txt looks for, as this build found it.
cmake_lists="$src/CMakeLists.txt"
while read -r kind var name; do
  case "$kind" in
    find_path) require "find_path($var $name)" "$(cached "$var")/$name" ;;
    find_library) require "find_library($var $name)" "$(cached "$var")" ;;
    find_package)
      [[ "$var" == Threads ]] && continue   # the C library of the base system
      lib=$(cached "${var}_LIBRARY"); dir=$(cached "${var}_DIR")
      if [[ -n "$lib" ]]; then
        require "find_package($var)" "$lib"
      elif [[ -n "$dir" && -d "$dir" ]]; then
        require "find_package($var)" "$(find "$dir" -maxdepth 1 -type f | head -1)"
      else
        echo "find_package($var): the build cache does not tell where it was found; add it to this check"
        bad=1
      fi ;;
  esac
done < <(grep -oE '^\s*find_(package|path|library)\(\s*[A-Za-z0-9_]+(\s+[A-Za-z0-9_.]+)?' "$cmake_lists" |
         sed -E 's/^\s*//; s/\(/ /' | awk '{print $1, $2, ($3 == "" ? "-" : $3)}')

require "the C++ compiler" "$(cached CMAKE_CXX_COMPILER)"
require "cmake" "$(cached CMAKE_COMMAND)"
require "the build tool" "$(cached CMAKE_MAKE_PROGRAM)"

# Programs the tests run through the shell.
tests=$(find "$src/src" -name '*_test.cpp' -o -path '*/testing/*.cpp' | sort)
for program in sqlite3; do
  if grep -qE "\"$program " $tests; then
    path=$(command -v "$program") || { echo "the tests run $program, which is not installed"; bad=1; continue; }
    require "the tests' $program" "$path"
  fi
done

# ODBC drivers the tests connect through, as registered with unixODBC.
for driver in $(grep -ohE 'Driver=\{?[A-Za-z0-9 ]+' $tests | sed -E 's/Driver=\{?//' | sort -u | tr ' ' '~'); do
  driver="${driver//\~/ }"
  lib=$(odbcinst -q -d -n "$driver" 2>/dev/null | sed -n 's/^Driver[ ]*=[ ]*//p' | head -1) || true
  [[ -n "$lib" ]] || continue   # named only in connection-string translations, never opened
  [[ "$lib" == /* ]] || lib=$(find /usr/lib -name "$lib" | head -1)
  require "the ODBC driver \"$driver\"" "$lib"
done

if (( bad )); then exit 1; fi
echo "tools/setup.sh installs the packages of all $checked files the build and the tests use"
