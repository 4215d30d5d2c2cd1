#!/bin/bash
# Turns the bitmaps that window tests save in the artifacts folder into PNG files.
folder="$1"
for bmp in "$folder"/*.bmp; do
  [ -f "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
