#!/usr/bin/env bash
# Renders the application icon, resources/icons/scalino.svg, into the hicolor PNG sizes that
# `cmake --install` puts beside the desktop entry (resources/desktop/icons/NNxNN/...). The PNGs are
# kept in the repository so that building needs no SVG renderer; run this after changing the
# drawing, and commit the PNGs it writes. Needs rsvg-convert (package librsvg2-bin), which it
# installs when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v rsvg-convert >/dev/null; then
  sudo=""; [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get install -y -qq --no-install-recommends librsvg2-bin
fi

drawing=resources/icons/scalino.svg
for size in 16 24 32 48 64 128 256; do
  folder=resources/desktop/icons/${size}x${size}
  mkdir -p "$folder"
  rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio --format png \
    --output "$folder/com.velmora.Scalino.png" "$drawing"
  echo "$folder/com.velmora.Scalino.png"
done
