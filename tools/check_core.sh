#!/usr/bin/env bash
# Fails when a core source (a file of the tarvex_core library in src/CMakeLists.txt), or a project
# header it includes, includes a file of app/ or a Qt Widgets header: the core must build and run
# without the window.
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/../src" && pwd)"
widgets_dir="$(find /usr/include -maxdepth 4 -type d -path '*qt6/QtWidgets' | head -n 1)"
[ -n "$widgets_dir" ] || { echo "check_core: Qt Widgets headers not found"; exit 1; }

# The core's .cpp files, as listed in add_library(tarvex_core ...).
mapfile -t queue < <(sed -n '/^add_library(tarvex_core/,/^)/p' "$src/CMakeLists.txt" | grep -o '[a-z_0-9/]*\.cpp')
[ ${#queue[@]} -gt 0 ] || { echo "check_core: no core sources found"; exit 1; }
declare -A core=() seen=()
for f in "${queue[@]}"; do core[$f]=1; done
faults=0
while [ ${#queue[@]} -gt 0 ]; do
  file="${queue[0]}"
  queue=("${queue[@]:1}")
  [ -n "${seen[$file]:-}" ] && continue
  seen[$file]=1
  [ -f "$src/$file" ] || continue
  while IFS= read -r line; do
    if [[ $line =~ ^#include\ \"([^\"]+)\" ]]; then
      inc="${BASH_REMATCH[1]}"
      # app/ holds the window; only its pure layout belongs to the core.
      if [[ $inc == app/* && -z "${core[${inc%.h}.cpp]:-}" ]]; then
        echo "check_core: $file includes $inc (the window)"; faults=1
      fi
      [ -f "$src/$inc" ] && queue+=("$inc")
    elif [[ $line =~ ^#include\ \<([^\>]+)\> ]]; then
      inc="${BASH_REMATCH[1]}"
      if [[ $inc == QtWidgets/* || -f "$widgets_dir/$inc" ]]; then
        echo "check_core: $file includes <$inc> (Qt Widgets)"; faults=1
      fi
    fi
  done < "$src/$file"
done
[ $faults -eq 0 ] || exit 1
echo "check_core: ${#seen[@]} core files include neither app/ nor Qt Widgets."
