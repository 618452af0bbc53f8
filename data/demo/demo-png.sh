#!/bin/sh
# Turns the demo's image into docs/demo.png: each strip labelled with its
# station from stations.txt (name, GRI and letter, distance), every pixel
# drawn 2 wide and 4 high. Run it here after the demo; it needs netpbm
# (Debian: apt-get install netpbm).
set -eu
cd "$(dirname "$0")"
out=../../docs/demo.png
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

strip=96                                   # 48 points, drawn 2 pixels wide
labels=""
n=0
# stations.txt: " name" then "_GRILETTER distance" per displayed station.
while IFS= read -r name && IFS= read -r code; do
  name=$(printf '%s' "$name" | tr -d '\r' | sed 's/^ //')
  code=$(printf '%s' "$code" | tr -d '\r' | sed 's/^_//')
  printf '%s\n%s\n' "$name" "$code" | pbmtext -builtin fixed -nomargins | pnminvert \
    | pnmpad -black -left=3 -top=3 -bottom=3 | pnmpad -black -width=$strip -halign=0 \
    > "$scratch/label$n.pbm"
  labels="$labels $scratch/label$n.pbm"
  n=$((n + 1))
done < stations.txt

bmptopnm -quiet velkor.bmp | pamscale -xscale 2 -yscale 4 -filter point > "$scratch/image.ppm"
# shellcheck disable=SC2086  # one file name per label
pnmcat -lr -jtop $labels > "$scratch/labels.pbm"
pnmcat -tb -jleft "$scratch/labels.pbm" "$scratch/image.ppm" | pnmtopng -compression 9 > "$out"
echo "wrote $out"
