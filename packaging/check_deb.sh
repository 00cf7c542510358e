#!/usr/bin/env bash
# Checks a built package as a user's machine takes it: what it holds and depends on, lintian with
# no error, a valid desktop entry and AppStream metainfo, a manual page that renders without
# warnings, and the program from the unpacked package (dpkg -x): its command line, and a first
# start that shows a picture without a display and without a warning. Qt's "minimal" platform
# draws each window into a picture file (QT_DEBUG_BACKINGSTORE), which is looked at.
#
#   bash packaging/check_deb.sh tarvex_<version>_amd64.deb
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deb="$(realpath "$1")"
work="$(mktemp -d)"
app=""
cleanup() {
  local status=$?
  if [ -n "$app" ] && kill "$app" 2> /dev/null; then
    wait "$app" 2> /dev/null || true
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
fail() {
  echo "package check failed: $*" >&2
  exit 1
}

echo "-- contents and fields"
dpkg-deb --contents "$deb" | awk '{print $6}' > "$work/contents"
for path in usr/bin/tarvex usr/share/applications/tarvex.desktop \
  usr/share/icons/hicolor/scalable/apps/tarvex.svg usr/share/tarvex/Tarvex.ini \
  usr/share/tarvex/help/index.html usr/share/man/man1/tarvex.1.gz \
  usr/share/doc/tarvex/copyright usr/share/doc/tarvex/changelog.gz; do
  grep -qx "./$path" "$work/contents" || fail "$path is missing"
done
for size in 16 24 32 48 64 128 256; do
  grep -qx "./usr/share/icons/hicolor/${size}x${size}/apps/tarvex.png" "$work/contents" ||
    fail "the ${size}x${size} icon is missing"
done
grep -qx './usr/share/metainfo/.*\.metainfo\.xml' "$work/contents" || fail "no metainfo"
depends="$(dpkg-deb --field "$deb" Depends)"
# From dpkg-shlibdeps, and the plugins added by hand.
for package in libqt6widgets6 libwps-0.4-4 libheif1 qt6-qpa-plugins qt6-image-formats-plugins \
  libqt6svg6 qt6-translations-l10n; do
  grep -q "\b$package\b" <<< "$depends" || fail "Depends lacks $package: $depends"
done

echo "-- lintian"
lintian --fail-on error "$deb" 2>&1 | grep -v 'running with root privileges' || true
lintian --fail-on error "$deb" > /dev/null 2>&1 || fail "lintian found an error"

echo "-- desktop entry, metainfo and manual page"
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/tarvex.desktop"
appstreamcli validate --no-net "$work/root"/usr/share/metainfo/*.metainfo.xml
warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l \
  "$work/root/usr/share/man/man1/tarvex.1.gz" 2>&1 > /dev/null)"
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"

echo "-- the unpacked program"
tarvex="$work/root/usr/bin/tarvex"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$tarvex" --version)" = "Tarvex Ver1.2" ] ||
  fail "--version"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$tarvex" --help | grep -q '^使い方: tarvex' ||
  fail "--help"
status=0
"$tarvex" --no-such-option 2> /dev/null || status=$?
[ "$status" -eq 2 ] || fail "an unknown option exits with $status, not 2"

# A first start: no settings file beside the unpacked program (its folder is writable and no
# system folder), so the shipped one is copied there; the picture, named with a leading dash, is
# given after "--". Its red half must appear in a drawing of the main window.
mkdir -p "$work/home" "$work/shots"
cp "$root/tests/data/picture.png" "$work/shots/-red-white.png"
(cd "$work/shots" && HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  QT_QPA_PLATFORM=minimal QT_DEBUG_BACKINGSTORE=1 exec "$tarvex" -- -red-white.png) \
  > "$work/tarvex.log" 2>&1 &
app=$!
shown=""
for _ in $(seq 60); do
  sleep 0.5
  kill -0 "$app" 2>/dev/null || { cat "$work/tarvex.log"; fail "the program ended"; }
  shown="$(/usr/bin/python3 - "$work/shots" <<'PY'
# Prints the name of a window drawing that shows at least 500 pure red pixels: the picture's red
# half at its own size (20 x 30; the shipped settings keep a picture's proportions and never
# enlarge it). The drawings are PNG files Qt wrote: 8 bits a channel, RGB or RGBA, not interlaced.
import os, struct, sys, zlib
def red_pixels(path):
    data = open(path, 'rb').read()
    pos, idat, width, height, kind = 8, b'', 0, 0, 0
    while pos < len(data):
        size, tag = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + size]
        if tag == b'IHDR':
            width, height, depth, kind, _, _, interlace = struct.unpack('>IIBBBBB', body)
            if depth != 8 or kind not in (2, 6) or interlace: return 0
        elif tag == b'IDAT':
            idat += body
        pos += 12 + size
    raw, bpp = zlib.decompress(idat), 3 if kind == 2 else 4
    stride, prev, count = width * bpp, bytearray(width * bpp), 0
    for y in range(height):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        count += sum(1 for x in range(0, stride, bpp)
                     if line[x] > 240 and line[x + 1] < 30 and line[x + 2] < 30)
        prev = line
    return count
folder = sys.argv[1]
for name in sorted(n for n in os.listdir(folder) if n.startswith('output'))[-3:]:
    if red_pixels(os.path.join(folder, name)) >= 500:
        print(name)
        break
PY
)"
  [ -n "$shown" ] && break
done
[ -n "$shown" ] || { cat "$work/tarvex.log"; fail "the picture was never shown"; }
[ -f "$work/root/usr/bin/Tarvex.ini" ] || fail "the first start copied no settings file"
cmp -s "$work/root/usr/bin/Tarvex.ini" "$work/root/usr/share/tarvex/Tarvex.ini" ||
  fail "the copied settings file differs from the shipped one"
echo "the unpacked program showed the picture ($shown)"
echo "Package checked: $(basename "$deb")"
