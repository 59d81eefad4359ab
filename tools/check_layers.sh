#!/usr/bin/env bash
# Checks that every include of the library points down the layers (or stays in its own
# layer). Tests and src/testing/ sit above everything and are not checked. An include
# that must point up carries "// up:" and its reason on the same line; at most two may.
# Usage: check_layers.sh SRC_DIR
set -euo pipefail
src="${1:?usage: check_layers.sh SRC_DIR}"

# Bottom to top. A folder's subfolders (db/sqlite, db/odbc) belong to its layer.
layers=(util db platform core data lookups components documents rows stock receipts warehouse run demo)
declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done
rank[.]=${#layers[@]}   # main.cpp and demo_main.cpp

layer_of() { local d="${1%%/*}"; [[ "$1" == */* ]] || d="."; echo "$d"; }

bad=0 up=0
while IFS= read -r file; do
  rel="${file#"$src"/}"
  from=$(layer_of "$rel")
  [[ -n "${rank[$from]:-}" ]] || { echo "$rel: folder '$from' has no place in the layer list"; bad=1; continue; }
  while IFS= read -r line; do
    inc=$(sed -E 's/^#include "([^"]+)".*/\1/' <<<"$line")
    [[ "$inc" == */* ]] || continue
    to=$(layer_of "$inc")
    [[ -n "${rank[$to]:-}" ]] || { echo "$rel includes $inc: folder '$to' has no place in the layer list"; bad=1; continue; }
    if (( rank[$to] > rank[$from] )); then
      if [[ "$line" == *"// up:"* ]]; then
        up=$((up + 1))
      else
        echo "$rel includes $inc: $to sits above $from (move the code, or give the reason with // up:)"
        bad=1
      fi
    fi
  done < <(grep -E '^#include "' "$file" || true)
done < <(find "$src" \( -name '*.cpp' -o -name '*.h' \) ! -name '*_test.cpp' ! -path '*/testing/*' | sort)

if (( up > 2 )); then echo "$up includes point up; at most 2 may"; bad=1; fi
if (( bad )); then exit 1; fi
echo "include layers: all arrows point down ($up marked up)"
