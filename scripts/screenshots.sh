#!/usr/bin/env bash
# Renders the real popover with its four screens (each tab light and dark, and in a real desktop
# theme's dark palette, Breeze Dark's, to look at its check boxes, sliders and pickers; each
# timeframe, empty states, odd names, each display mode) and the shared views with demonstration
# data to PNG files, and names the folder:
#   scripts/screenshots.sh [folder]      (default: /tmp/ostrel-screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-${TMPDIR:-/tmp}/ostrel-screenshots}

scripts/install-deps.sh
cmake -S . -B build-shots -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_BUILD_BENCH=OFF > /dev/null
cmake --build build-shots --target ostrel_popover_shots ostrel_ui_shots
mkdir -p "$folder"
export QT_QPA_PLATFORM=offscreen LC_ALL=${LC_ALL:-C.UTF-8}
build-shots/bin/ostrel_popover_shots "$folder"
build-shots/bin/ostrel_ui_shots "$folder" > /dev/null
echo "Screenshots in $folder"
