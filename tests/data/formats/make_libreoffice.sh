#!/usr/bin/env bash
# Re-makes the workbooks and the "as shown" CSV files that LibreOffice writes from the table of
# number_formats.tsv (see README). Needs libreoffice-calc-nogui; run by hand, never by the tests.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
/usr/bin/python3 make_source.py
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
lo() { soffice -env:UserInstallation="file://$work/profile" --headless "$@" > /dev/null; }
# CSV: comma, double quotes, UTF-8, from line 1, Japanese, cell contents "as shown", the first
# sheet (written as NAME-Sheet1.csv).
csv='csv:Text - txt - csv (StarCalc):44,34,76,1,,1041,false,true,true,false,false,1'
for ext in xls xlsx ods; do
  mkdir -p "$work/$ext"
  lo --convert-to "$ext" --outdir "$work/$ext" source.xlsx
  cp "$work/$ext/source.$ext" "libreoffice.$ext"
  lo --convert-to "$csv" --outdir "$work/$ext" "libreoffice.$ext"
  cp "$work/$ext/libreoffice-Sheet1.csv" "libreoffice_$ext.csv"
done
lo --convert-to xls --outdir "$work" german.xlsx
cp "$work/german.xls" german.xls
rm -f source.xlsx german.xlsx
