#!/usr/bin/env bash
# Builds and runs every test: a normal build with warnings as errors and all tests; an
# AddressSanitizer + UndefinedBehaviorSanitizer build and all tests again; a ThreadSanitizer build
# and the tests of the work done off the window thread; then every fuzz harness replaying its seed
# corpus; then the Debian package, built and checked. Builds are incremental.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/deps.sh"
tarvex_ensure_packages "${tarvex_runtime_packages[@]}" "${tarvex_test_packages[@]}" \
  "${tarvex_package_packages[@]}"

# The settings tests run under a locale that writes decimals with a comma; they fail without it.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

jobs="$(nproc)"
out="$root/build-test"

echo "== Source checks"
# Every file as .clang-format lays it out.
mapfile -t sources < <(cd "$root" && git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
  'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp')
(cd "$root" && clang-format --dry-run --Werror "${sources[@]}")
echo "clang-format: ${#sources[@]} files formatted"
# The core builds and runs without the window.
bash "$root/tools/check_core.sh"

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
# Undefined behaviour stops the program; leaks fail the test, except the caches that fontconfig
# and the platform plugin keep until exit by design (tools/lsan.supp).
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
ctest --test-dir "$out/asan" --output-on-failure -j "$jobs"

echo "== ThreadSanitizer build and the tests of the work done off the window thread"
# Only the programs that start workers (the tests labelled workers in tests/CMakeLists.txt), to keep
# the stage short. Any report stops the program and fails its test. Debian's Qt is not built with
# ThreadSanitizer: tools/tsan.supp holds what that hides from it inside Qt and the libraries under
# it, and only that.
configure "$out/tsan" -DCMAKE_BUILD_TYPE=Debug -DTARVEX_WERROR=ON -DTARVEX_TSAN=ON
cmake --build "$out/tsan" -j "$jobs" --target worker_tests
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tools/tsan.supp:print_suppressions=0"
# The sanitizer of GCC 12 expects its shadow memory at fixed addresses, which a kernel that spreads
# mappings over more bits (vm.mmap_rnd_bits above 28) may hand to a library: the program then dies
# with "unexpected memory mapping". Without address randomisation it runs on any kernel; where the
# container forbids turning it off, the tests run as they are.
no_aslr=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  no_aslr=(setarch "$(uname -m)" -R)
fi
"${no_aslr[@]}" ctest --test-dir "$out/tsan" --output-on-failure -j "$jobs" -L workers --no-tests=error

echo "== Fuzz harnesses replaying their seed corpora"
# Optimised as libFuzzer advises (-O1 -g, assertions kept), so a campaign runs fast enough to find
# something.
configure "$out/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DTARVEX_FUZZ=ON -DTARVEX_WERROR=ON -DCMAKE_CXX_COMPILER=clang++
cmake --build "$out/fuzz" -j "$jobs"
for harness in "$out"/fuzz/fuzz/fuzz_*; do
  [ -f "$harness" ] && [ -x "$harness" ] || continue
  name="$(basename "$harness")"
  corpus="$root/fuzz/corpus/${name#fuzz_}"
  log="$out/fuzz/$name.log"
  # Given files rather than a folder, libFuzzer runs each input once and stops.
  if "$harness" "$corpus"/* > "$log" 2>&1; then
    echo "$name: $(ls "$corpus" | wc -l) seed inputs replayed"
  else
    cat "$log"
    echo "$name failed"
    exit 1
  fi
done
echo "All fuzz harnesses replayed their seed corpora."

echo "== Debian package"
# A Release build of its own; the package is checked as installed from it (packaging/check_deb.sh).
deb="$(bash "$root/packaging/build_deb.sh" "$out/package")"
bash "$root/packaging/check_deb.sh" "$deb"
