#!/usr/bin/env bash
# Installs the Debian 12 packages Ostrel needs. Safe to run again.
#   scripts/install-deps.sh        building, running and testing, with the headless desktop the GUI
#                                  tests run in
#   scripts/install-deps.sh run    building and running the program only
set -euo pipefail

run=(
  build-essential cmake ninja-build git pkg-config
  libsqlite3-dev rapidjson-dev libhowardhinnant-date-dev tzdata uuid-dev libicu-dev
  libnl-3-dev libnl-genl-3-dev libnl-route-3-dev libsystemd-dev
  qt6-base-dev qt6-charts-dev qt6-svg-dev libqt6opengl6-dev qt6-qpa-plugins libqt6svg6 libxcb-xinput-dev
)
test=(
  python3 clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev sqlite3 rsync
  iproute2 procps fonts-dejavu-core
  dbus-daemon dbus-bin libglib2.0-bin
  # the headless desktop of the GUI tests (scripts/gui-rig.sh)
  xvfb x11-utils xdotool imagemagick dunst trayer haskell-gtk-sni-tray-utils
  # the accessibility bus, through which the popover's end-to-end test reads the screens' texts
  at-spi2-core
  # xdg-open, which the tray menu's links run and their test runs without a desktop
  xdg-utils
)

packages=("${run[@]}")
if [ "${1:-}" != run ]; then packages+=("${test[@]}"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
