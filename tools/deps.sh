# Installs the Debian packages Tarvex needs and that are missing. Sourced by run.sh and test.sh.

tarvex_runtime_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
  # Picture formats beyond Qt's own: TIFF, WebP and more; SVG (its plugin is in libqt6svg6).
  qt6-image-formats-plugins libqt6svg6
  # HEIF pictures (HEIC photos, AVIF), which Qt cannot read; Debian 12's libheif1 has its HEVC and
  # AV1 decoders (and the encoders the tests write pictures with) built in.
  libheif-dev
  libuchardet-dev fonts-noto-cjk
  # Qt's own Japanese texts: the buttons of the message boxes, the edit boxes' pop-up menus.
  qt6-translations-l10n
  # Fingerprints of the blocks of a long text, to find a file changed while it is shown.
  libxxhash-dev
  # Spreadsheet preview: Lotus 1-2-3 (libwps), .xlsx and .ods (libzip, pugixml).
  libwps-dev librevenge-dev libzip-dev libpugixml-dev
)
# Building the Debian package and checking it.
tarvex_package_packages=(
  dpkg-dev file gzip lintian appstream desktop-file-utils man-db python3
)
tarvex_test_packages=(
  clang libclang-rt-14-dev clang-format git
  locales
  # The second opinion on .xls and .xlsx cell values.
  python3-xlrd
)

tarvex_ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing Debian packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
