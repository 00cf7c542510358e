#!/usr/bin/env bash
# Builds and runs every test: a normal build with warnings as errors and all tests; an
# AddressSanitizer + UndefinedBehaviorSanitizer build and all tests again; then every fuzz
# harness replaying its seed corpus. Builds are incremental.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/deps.sh"
tarvex_ensure_packages "${tarvex_runtime_packages[@]}" "${tarvex_test_packages[@]}"

# The settings tests run under a locale that writes decimals with a comma; they fail without it.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

jobs="$(nproc)"
out="$root/build-test"

configure() {  # folder, cmake arguments...
  local dir="$1"
  shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$root" -B "$dir" -G Ninja "$@"
  fi
}

echo "== Normal build and tests"
configure "$out/normal" -DCMAKE_BUILD_TYPE=Debug -DTARVEX_WERROR=ON
cmake --build "$out/normal" -j "$jobs"
ctest --test-dir "$out/normal" --output-on-failure -j "$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
configure "$out/asan" -DCMAKE_BUILD_TYPE=Debug -DTARVEX_WERROR=ON -DTARVEX_SANITIZE=ON
cmake --build "$out/asan" -j "$jobs"
# Leak checking stays off: the offscreen platform and fontconfig keep caches until exit.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$out/asan" --output-on-failure -j "$jobs"

echo "== Fuzz harnesses replaying their seed corpora"
configure "$out/fuzz" -DCMAKE_BUILD_TYPE=Debug -DTARVEX_FUZZ=ON -DTARVEX_WERROR=ON \
  -DCMAKE_CXX_COMPILER=clang++
cmake --build "$out/fuzz" -j "$jobs"
for harness in "$out"/fuzz/fuzz/fuzz_*; do
  [ -f "$harness" ] && [ -x "$harness" ] || continue
  name="$(basename "$harness")"
  corpus="$root/fuzz/corpus/${name#fuzz_}"
  log="$out/fuzz/$name.log"
  # Given files rather than a folder, libFuzzer runs each input once and stops.
  if ASAN_OPTIONS=detect_leaks=0 "$harness" "$corpus"/* > "$log" 2>&1; then
    echo "$name: $(ls "$corpus" | wc -l) seed inputs replayed"
  else
    cat "$log"
    echo "$name failed"
    exit 1
  fi
done
echo "All fuzz harnesses replayed their seed corpora."
