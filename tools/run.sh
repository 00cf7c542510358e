#!/usr/bin/env bash
# Builds Tarvex (incrementally) and starts it. Arguments go to Tarvex: a file to show or a
# folder to open.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/deps.sh"
tarvex_ensure_packages "${tarvex_runtime_packages[@]}"

build="$root/build"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target tarvex
exec "$build/src/tarvex" "$@"
