#!/usr/bin/env bash
# Builds the Debian package tarvex_<version>_amd64.deb from a Release build of its own (Debian's
# hardening flags, no tests) with `cpack -G DEB`, and prints the package's path.
#
#   bash packaging/build_deb.sh [BUILD_FOLDER]     (default: build-package)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/deps.sh"
tarvex_ensure_packages "${tarvex_runtime_packages[@]}" "${tarvex_package_packages[@]}" >&2

build="${1:-$root/build-package}"
if [ ! -f "$build/build.ninja" ]; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVEX_TESTS=OFF >&2
fi
cmake --build "$build" >&2
rm -f "$build"/tarvex_*.deb
if ! (cd "$build" && cpack -G DEB) > "$build/cpack.log" 2>&1; then
  cat "$build/cpack.log" >&2
  exit 1
fi
ls "$build"/tarvex_*_amd64.deb
