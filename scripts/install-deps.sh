#!/usr/bin/env bash
# Installs every Debian 12 package that building and testing Ostrel needs. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build git pkg-config python3
  clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3 rapidjson-dev libhowardhinnant-date-dev tzdata uuid-dev libicu-dev
  libnl-3-dev libnl-genl-3-dev libnl-route-3-dev libsystemd-dev
  iproute2 procps
  qt6-base-dev qt6-charts-dev qt6-svg-dev libqt6opengl6-dev fonts-dejavu-core
  dbus-daemon libglib2.0-bin
)

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
