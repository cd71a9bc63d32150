#!/usr/bin/env bash
# Installs what is missing, builds the Release tree and starts Ostrel in your desktop session. It
# keeps running, in the tray, until "Quit Ostrel"; a second start while it runs says so and ends.
#   scripts/run.sh
#   OSTREL_ENABLE_MOCK_DATA=1 scripts/run.sh     with demonstration data
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Ostrel is a tray program: start it from a desktop session (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
  exit 1
fi

scripts/install-deps.sh run
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_BENCH=OFF > /dev/null
cmake --build build-release --target ostrel
exec build-release/bin/ostrel "$@"
