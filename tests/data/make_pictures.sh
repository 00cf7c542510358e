#!/usr/bin/env bash
# Makes the pictures of the added formats once, with ImageMagick 6.9 (Debian 12's imagemagick)
# and heif-enc (libheif-examples):
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
# HEIF pictures through libheif 1.15's heif-enc (Debian 12's libheif-examples: x265 for HEIC, aom
# for AVIF), from a true-colour PNG (a palette PNG trips aom's encoder): the same pattern as a
# HEIC, an AVIF, a 10-bit HEIC, and an AVIF whose right half is transparent.
convert pattern.ppm PNG24:pattern.png
convert pattern.png -depth 16 PNG48:pattern16.png
convert -size 20x30 xc:'#ff0000' -size 20x30 xc:'#ffffff00' +append PNG32:pattern_alpha.png
heif-enc -q 90 -o picture.heic pattern.png
heif-enc -q 90 -A -o picture.avif pattern.png
heif-enc -q 90 -b 10 -o picture10.heic pattern16.png
heif-enc -q 90 -A -o picture_alpha.avif pattern_alpha.png
rm pattern.ppm pattern.png pattern16.png pattern_alpha.png
gzip -9nc drawing.svg > drawing.svgz
