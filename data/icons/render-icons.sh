#!/usr/bin/env bash
# Renders pelmora.svg into the PNG sizes of the hicolor icon theme (hicolor/NxN/apps/pelmora.png).
# The PNGs are committed, so building needs no renderer; run this after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x${size}/apps"
    out="hicolor/${size}x${size}/apps/pelmora.png"
    rsvg-convert --width "$size" --height "$size" --output "$out" pelmora.svg
done
