#!/usr/bin/env bash
# Builds the Debian package (packaging/build_deb.sh, a Release build in build-package/) and
# installs it with apt-get, which brings in what it depends on. `apt-get remove tarvex` takes it
# away again; the settings in ~/.config/Tarvex stay.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deb="$(bash "$root/packaging/build_deb.sh")"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "$deb"
echo "Installed $(basename "$deb"): start it from the desktop's menu, or run tarvex [FILE|FOLDER]."
