#!/usr/bin/env bash
# Makes the texts of this folder from the UTF-8 texts in sources/ with nkf and iconv, and prints
# nkf's own guess for each beside the encoding it was made in. Run by hand; the tests only read
# what it made.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

make() {  # source file, then the encodings to write it in
  local src="$1"
  shift
  local stem="${src%.*}" ext="${src##*.}" tag out
  for tag in "$@"; do
    out="$stem.$tag.$ext"
    case "$tag" in
      cp932) nkf -x --ic=UTF-8 --oc=CP932 "sources/$src" > "$out" ;;
      eucjp) nkf -x --ic=UTF-8 --oc=EUC-JP "sources/$src" > "$out" ;;
      iso2022jp) nkf --ic=UTF-8 --oc=ISO-2022-JP "sources/$src" > "$out" ;;
      utf8) cp "sources/$src" "$out" ;;
      utf8bom) { printf '\xEF\xBB\xBF'; cat "sources/$src"; } > "$out" ;;
      utf16le) iconv -f UTF-8 -t UTF-16LE "sources/$src" > "$out" ;;
      utf16be) iconv -f UTF-8 -t UTF-16BE "sources/$src" > "$out" ;;
      utf16lebom) { printf '\xFF\xFE'; iconv -f UTF-8 -t UTF-16LE "sources/$src"; } > "$out" ;;
      *) echo "unknown encoding $tag" >&2; exit 1 ;;
    esac
    printf '%-36s %s\n' "$out" "$(nkf --guess "$out")"
  done
}

make web_long.html cp932 eucjp utf8 utf8bom utf16le utf16be
make web_short.html cp932 eucjp utf8 utf16le utf16be
make export_long.csv cp932 eucjp utf8 utf8bom utf16le utf16be
make export_short.csv cp932 eucjp utf8 utf16le utf16be
make mail_long.eml iso2022jp cp932 eucjp utf8 utf16lebom
make mail_short.txt iso2022jp cp932 eucjp utf8
make subtitles_long.srt cp932 eucjp utf8 utf8bom utf16le utf16be
make subtitles_short.srt cp932 eucjp utf8 utf16le utf16be
make memo_halfwidth.txt cp932 eucjp utf8
make memo_halfwidth_long.txt cp932 eucjp utf8
make latin.txt utf8 utf16le utf16be
