#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Velkaris need, only those
# that are missing (apt-get, through sudo when not run as root). Both README commands and
# .ci/run start with it; tools/check_setup.sh (a test) checks that the list is complete.
set -euo pipefail

packages=(
  g++ cmake make              # the build
  libsqlite3-dev              # the embedded backend
  libjemalloc-dev             # the allocator of the velkaris binary
  unixodbc-dev odbcinst       # the ODBC backend and its driver registry
  libgtest-dev                # the tests
  sqlite3                     # the tests dump databases with it; the README creates them with it
  libsqliteodbc tdsodbc       # ODBC drivers: SQLite (tests), FreeTDS (SQL Server shops)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The SQL Server tests reach FreeTDS by its driver name, which tdsodbc does not register.
register_freetds=0
odbcinst -q -d -n FreeTDS >/dev/null 2>&1 || register_freetds=1
if [ ${#missing[@]} -eq 0 ] && [ $register_freetds -eq 0 ]; then exit 0; fi

run_as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "tools/setup.sh: missing: ${missing[*]:-} ${register_freetds/1/(the FreeTDS ODBC driver registration)}" >&2
    echo "  run this script as root (it uses apt-get and odbcinst)" >&2
    exit 1
  fi
  run_as_root=(sudo)
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "tools/setup.sh: installing ${missing[*]}"
  "${run_as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${run_as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi
if ! odbcinst -q -d -n FreeTDS >/dev/null 2>&1; then
  echo "tools/setup.sh: registering the FreeTDS ODBC driver"
  "${run_as_root[@]}" odbcinst -i -d -f /usr/share/tdsodbc/odbcinst.ini
fi
