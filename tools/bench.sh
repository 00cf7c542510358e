#!/usr/bin/env bash
# Builds every benchmark, optimised, in build-test/release (configured once, built incrementally).
# With a name, then runs that benchmark with the arguments that follow, under nice:
#   bash tools/bench.sh                     # builds them all
#   bash tools/bench.sh startup             # builds them, then runs bench_startup
#   bash tools/bench.sh search 1024 500     # ... bench_search on a 1 GB corpus of 500 files
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/deps.sh"
tarvex_ensure_packages "${tarvex_runtime_packages[@]}"

build="$root/build-test/release"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" --target benches
[ $# -eq 0 ] && exit 0
name="$1"
shift
exec nice -n 10 "$build/bench/bench_$name" "$@"
