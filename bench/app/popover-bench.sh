#!/usr/bin/env bash
# The program on a heavy month, in the rig's desktop: the popover's activation timed in-process
# (ostrel_popover_bench), then the real `ostrel` with the tray item's host: its memory (RSS) and the
# CPU share of the program with its helper tools, over a window with the popover closed and one
# with it open on Overview.
#   scripts/gui-rig.sh --tray sni -- bench/app/popover-bench.sh BUILD_DIR [SECONDS] [FOLDER]
# BUILD_DIR: a Release build; SECONDS per window (default 300); FOLDER keeps the month (by
# default BUILD_DIR/bench-data/popover-month).
set -euo pipefail

build=$1
seconds=${2:-300}
# Absolute: a relative XDG_DATA_HOME is ignored, for the user's own.
folder=$(realpath -m "${3:-$build/bench-data/popover-month}")
"$build/bin/ostrel_popover_bench" "$folder"

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-bench.XXXXXX")
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -- "-$pid" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
XDG_DATA_HOME=$folder XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state setsid "$build/bin/ostrel" \
  > "$work/ostrel.log" 2>&1 &
pid=$!

until_true() {
  local deadline=$((SECONDS + 120))
  until "$@" > /dev/null 2>&1; do
    ((SECONDS < deadline)) || { echo "timed out: $*" >&2; exit 1; }
    sleep 0.1
  done
}
item() {
  local name
  for name in $(gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems |
    grep -o ":[0-9.]*"); do
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.GetConnectionUnixProcessID "$name" | grep -q "uint32 $pid," && echo "$name"
  done
}
label() {
  gdbus call --session --dest "$(item)" --object-path /StatusNotifierItem \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem XAyatanaLabel
}
registered() { [ -n "$(item)" ]; }
todays_total_shown() { label | grep -q ' Today'; }
until_true registered
until_true todays_total_shown

# CPU ticks of the program's session (the program and the helper tools it started), with those
# of its children already ended.
ticks() {
  local sum=0 stat rest
  for stat in /proc/[0-9]*/stat; do
    rest=$(cat "$stat" 2> /dev/null) || continue
    rest=${rest##*) }
    read -r -a fields <<< "$rest"
    # After the name: state ppid pgrp session ...; utime and stime are fields 14 and 15 of the line.
    [ "${fields[3]}" = "$pid" ] || continue
    sum=$((sum + fields[11] + fields[12]))
    [ "${stat}" = "/proc/$pid/stat" ] && sum=$((sum + fields[13] + fields[14]))
  done
  echo "$sum"
}
rss_kb() { awk '/^VmRSS/ { print $2 }' "/proc/$pid/status"; }
hwm_kb() { awk '/^VmHWM/ { print $2 }' "/proc/$pid/status"; }
measure() {  # what
  local start end
  start=$(ticks)
  sleep "$seconds"
  end=$(ticks)
  awk -v what="$1" -v t=$((end - start)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" -v rss="$(rss_kb)" \
    -v hwm="$(hwm_kb)" 'BEGIN { printf "%s over %d s: CPU %.3f %% of one core, RSS %.1f MB (peak %.1f MB)\n",
      what, s, 100 * t / hz / s, rss / 1024, hwm / 1024 }'
}

measure "popover closed"
gdbus call --session --dest "$(item)" --object-path /StatusNotifierItem \
  --method org.kde.StatusNotifierItem.Activate 0 0 > /dev/null
popover_shown() {
  local id
  for id in $(xdotool search --onlyvisible --pid "$pid"); do xdotool getwindowgeometry "$id"; done > "$work/windows"
  grep -q 'Geometry: 880x680' "$work/windows"
}
until_true popover_shown
measure "popover open on Overview"
