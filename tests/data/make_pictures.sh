#!/usr/bin/env bash
# Makes the pictures of the added formats once, with ImageMagick 6.9 (Debian 12's imagemagick):
# 40 × 30 pixels, the left half red and the right half white. drawing.svg is written by hand, in
# the same colours; drawing.svgz is it compressed by gzip. Run this by hand; the tests use the
# committed files.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 20x30 xc:'#ff0000' -size 20x30 xc:'#ffffff' +append pattern.ppm
convert pattern.ppm -strip picture.png
convert pattern.ppm -strip -depth 16 PNG48:picture16.png
convert pattern.ppm -strip -compress lzw picture.tif
convert pattern.ppm -strip -define webp:lossless=true picture.webp
convert pattern.ppm -strip -quality 95 picture.jpeg
rm pattern.ppm
gzip -9nc drawing.svg > drawing.svgz
