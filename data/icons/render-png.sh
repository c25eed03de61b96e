#!/usr/bin/env bash
# Renders the icon's fixed sizes from quillbox.svg (needs rsvg-convert, Debian librsvg2-bin).
# The PNGs are committed so neither the build nor the program needs an SVG renderer; run this
# after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 128; do
    rsvg-convert --width "$size" --height "$size" quillbox.svg --output "quillbox-$size.png"
done
