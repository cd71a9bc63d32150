#!/usr/bin/env bash
# The real program in the rig's desktop (scripts/gui-rig.sh starts it): the tray item appears,
# activating it shows the 880 x 680 popover and activating again hides it, the menu holds its five
# entries, "Quit Ostrel" ends the program with status 0, a second start on the same database
# leaves at once, and a data folder that cannot be written stops the start with its message.
#
#   scripts/gui-rig.sh --tray sni|xembed -- tests/e2e/tray-e2e.sh PATH/TO/ostrel sni|xembed
set -euo pipefail

ostrel=$1
tray=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-e2e.XXXXXX")
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2> /dev/null; then kill -- "-$pid" 2> /dev/null || kill "$pid" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
# Under the sanitizers, leaks are not this test's concern; the unit tests look for them. The X
# keyboard library duplicates a string that has no terminator where it knows the length, which the
# strict string checks take for an overflow.
export ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0:strict_string_checks=0

fail() {
  echo "FAIL ($tray): $*" >&2
  import -window root /tmp/e2e-fail-$tray.png || true
  for log in "$work"/*.log; do [ -s "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }; done
  exit 1
}
# Waits for a condition, polling; generous, for a loaded machine.
until_true() {  # description, then the condition's command
  local what=$1 deadline=$((SECONDS + 90))
  shift
  until "$@" > /dev/null 2>&1; do
    ((SECONDS < deadline)) || fail "timed out waiting: $what"
    sleep 0.1
  done
}
# The program's own process group, so the cleanup reaches its helper tools too.
start() {
  setsid "$ostrel" > "$work/stdout.log" 2> "$work/stderr.log" &
  pid=$!
}
ended_with() {  # waits for the program to end, which it must do with `status`
  until_true "the program to end" sh -c "! kill -0 $pid"
  local status=0
  wait "$pid" || status=$?
  pid=
  [ "$status" = "$1" ] || fail "$2 ended the program with status $status"
}

# The visible windows of the program, one "ID WIDTH HEIGHT" line each.
windows() {
  local id
  for id in $(xdotool search --onlyvisible --pid "$pid" 2> /dev/null); do
    (eval "$(xdotool getwindowgeometry --shell "$id")" && echo "$id $WIDTH $HEIGHT")
  done
}
# Read whole first: a reader that stops early would break the pipe and, with pipefail, the test.
popover_shown() { grep -q ' 880 680$' <<< "$(windows)"; }
popover_hidden() { ! popover_shown; }

bus() { gdbus call --session "$@"; }
watcher_items() {
  bus --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems |
    grep -o ":[0-9.]*"
}
# The bus name of the program's item, found among the watcher's items by process id.
sni_item() {
  local name
  for name in $(watcher_items); do
    if bus --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.GetConnectionUnixProcessID "$name" | grep -q "uint32 $pid,"; then
      echo "$name"
      return 0
    fi
  done
  return 1
}
# The tray icon's window under XEmbed: the program's small visible window.
xembed_icon() { awk 'NF == 3 && $2 < 100 && $3 < 100 && !found { print $1; found = 1 } END { exit !found }' <<< "$(windows)"; }

check_sni() {
  until_true "the item to register with the watcher" sni_item
  local item
  item=$(sni_item)
  bus --dest "$item" --object-path /StatusNotifierItem --method org.freedesktop.DBus.Properties.Get \
    org.kde.StatusNotifierItem XAyatanaLabel | grep -q " Today'>" || fail "the label is not today's total"

  bus --dest "$item" --object-path /StatusNotifierItem --method org.kde.StatusNotifierItem.Activate 0 0 > /dev/null
  until_true "the popover to show" popover_shown
  bus --dest "$item" --object-path /StatusNotifierItem --method org.kde.StatusNotifierItem.Activate 0 0 > /dev/null
  until_true "the popover to hide" popover_hidden

  local entries expected
  entries=$(bus --dest "$item" --object-path /MenuBar --method com.canonical.dbusmenu.GetLayout -- 0 -1 \
    "['label', 'type']" | grep -o "'label': <'[^']*'>\|'type': <'separator'>" | sed "s/.*<'\(.*\)'>/\1/")
  expected=$(printf '%s\n' "Support Ostrel" "Check for Updates…" "About the Developer" separator "Quit Ostrel")
  [ "$entries" = "$expected" ] || fail "menu entries: $(echo "$entries" | tr '\n' '|')"

  # A second start on the same database leaves at once, without an item of its own.
  local second=0
  timeout 60 "$ostrel" > "$work/second.log" 2>&1 || second=$?
  [ "$second" = 0 ] || fail "the second start ended with status $second"
  grep -qx "Ostrel is already running." "$work/second.log" || fail "the second start did not say why it left"
  [ "$(watcher_items | wc -l)" = 1 ] || fail "the second start registered an item"

  bus --dest "$item" --object-path /MenuBar --method com.canonical.dbusmenu.Event 5 clicked "<0>" 0 > /dev/null 2>&1 ||
    true  # the program may end before it answers
}

check_xembed() {
  until_true "the icon to be embedded" xembed_icon
  local icon
  icon=$(xembed_icon)
  xdotool mousemove --window "$icon" 5 5 click 1
  until_true "the popover to show" popover_shown
  # The click outside the popup closes it, and must not reopen it through the icon.
  xdotool mousemove --window "$icon" 5 5 click 1
  until_true "the popover to hide" popover_hidden

  xdotool mousemove --window "$icon" 5 5 click 3
  until_true "the menu to open" sh -c "[ \$(xdotool search --onlyvisible --pid $pid | wc -l) -ge 2 ]"
  # From nothing selected, Up selects the last entry, which is the quit command.
  xdotool key Up Return
}

start
case $tray in
  sni) check_sni ;;
  xembed) check_xembed ;;
  *) fail "unknown tray host" ;;
esac
ended_with 0 '"Quit Ostrel"'

# No data folder can be made under /proc, whoever runs the test.
status=0
XDG_DATA_HOME=/proc timeout 60 "$ostrel" > "$work/unwritable.log" 2>&1 || status=$?
[ "$status" != 0 ] && [ "$status" != 124 ] || fail "an unwritable data folder ended the start with status $status"
grep -q "^Failed to initialize OstrelDataService: " "$work/unwritable.log" ||
  fail "an unwritable data folder gave no start-up message"
echo "PASS ($tray)"
