#!/usr/bin/env bash
# The real program in the rig's desktop (scripts/gui-rig.sh starts it): the tray item appears, also
# from a tray host that starts after the program and again after the host restarts; activating it
# shows the 880 x 680 popover below the panel (shorter on a small screen, inside it) and
# activating again hides it; clicks on the desktop reach the program only while it is open; a click elsewhere hides it, and a right
# click on the item hides it and opens the menu in one go; the menu holds its five entries, and
# answers a group of events; "Quit Ostrel" ends the program with status 0, a second start on the
# same database leaves at once, and a data folder that cannot be written stops the start with its
# message.
#
#   scripts/gui-rig.sh --tray sni|xembed -- tests/e2e/tray-e2e.sh PATH/TO/ostrel sni|xembed
#   scripts/gui-rig.sh --tray sni|xembed --tray-later -- tests/e2e/tray-e2e.sh PATH/TO/ostrel sni|xembed late
#   scripts/gui-rig.sh --tray sni|xembed --screen 1024x600x24 -- tests/e2e/tray-e2e.sh PATH/TO/ostrel sni|xembed small
#
# A failure leaves a picture of the screen in OSTREL_E2E_OUTPUT when set, else the test's folder is
# kept with its logs and the picture, and named.
set -euo pipefail
# gdbus prints what it cannot encode in the locale as "?".
export LC_ALL=C.UTF-8

ostrel=$1
tray=$2
mode=${3:-}  # late, small (only what the rig's options make differ), or none
late=
[ "$mode" != late ] || late=1
variant=$tray${mode:+-$mode}
work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-e2e.XXXXXX")
[ -z "${OSTREL_E2E_OUTPUT:-}" ] || rm -f "$OSTREL_E2E_OUTPUT/tray-e2e-$variant-fail.png"
pid=
keep=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2> /dev/null; then kill -- "-$pid" 2> /dev/null || kill "$pid" || true; fi
  [ -n "$keep" ] || rm -rf "$work"
}
trap cleanup EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
# Under the sanitizers, leaks are not this test's concern; the unit tests look for them. The X
# keyboard library duplicates a string that has no terminator where it knows the length, which the
# strict string checks take for an overflow.
export ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0:strict_string_checks=0

fail() {
  echo "FAIL ($variant): $*" >&2
  local picture
  if [ -n "${OSTREL_E2E_OUTPUT:-}" ]; then
    picture=$OSTREL_E2E_OUTPUT/tray-e2e-$variant-fail.png
  else
    keep=1
    picture=$work/fail.png
  fi
  import -window root "$picture" 2> /dev/null && echo "the screen at the failure: $picture" >&2
  for log in "$work"/*.log; do [ -s "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }; done
  [ -z "$keep" ] || echo "the test's folder is kept: $work" >&2
  exit 1
}
# Waits for a condition, polling; generous, for a loaded machine.
until_true() {  # description, then the condition's command
  within 90 "$@"
}
within() {  # seconds, description, then the condition's command
  local deadline=$((SECONDS + $1)) what=$2
  shift 2
  until "$@" > /dev/null 2>&1; do
    ((SECONDS < deadline)) || fail "timed out waiting: $what"
    sleep 0.1
  done
}
# The program's own process group, so the cleanup reaches its helper tools too.
start() {
  QT_LOGGING_RULES="ostrel.screenpresses.debug=true" setsid "$ostrel" > "$work/stdout.log" 2> "$work/stderr.log" &
  pid=$!
}
ended_with() {  # waits for the program to end, which it must do with `status`
  until_true "the program to end" sh -c "! kill -0 $pid"
  local status=0
  wait "$pid" || status=$?
  pid=
  [ "$status" = "$1" ] || fail "$2 ended the program with status $status"
}

# The visible windows of a process, one "ID X Y WIDTH HEIGHT" line each.
windows_of() {
  local id
  for id in $(xdotool search --onlyvisible --pid "$1" 2> /dev/null); do
    (eval "$(xdotool getwindowgeometry --shell "$id")" && echo "$id $X $Y $WIDTH $HEIGHT")
  done
}
windows() { windows_of "$pid"; }
# The popover: the program's window 880 wide, 680 high where the screen has room for it. Read
# whole first: a reader that stops early would break the pipe and, with pipefail, the test.
popover_geometry() { awk '$4 == 880 && $5 >= 300 { print $2, $3, $4, $5; exit }' <<< "$(windows)"; }
popover_shown() { [ -n "$(popover_geometry)" ]; }
popover_hidden() { ! popover_shown; }
# Inside the screen and below the tray's panel (32 pixels, at the top), shorter only where the
# screen is.
popover_placed() {
  local x y w h width height
  read -r x y w h <<< "$(popover_geometry)"
  read -r width height <<< "$(xdotool getdisplaygeometry)"
  ((y >= 32 && x >= 0 && x + w <= width && y + h <= height && (h == 680 || (h < 680 && y + h == height)))) ||
    fail "the popover at $x,$y, $w x $h, on a screen of $width x $height below a panel of 32"
}
click_at() {  # x, y, button
  xdotool mousemove "$1" "$2" click "$3"
}
# Far from the popover, which opens under the item at the top right.
click_elsewhere() { click_at 100 700 1; }

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
item_property() { bus --dest "$item" --object-path /StatusNotifierItem --method org.freedesktop.DBus.Properties.Get \
  org.kde.StatusNotifierItem "$1"; }
# The host's panel, and the point of the program's item on it: the only item, at the panel's end.
sni_panel() { xdotool search --onlyvisible --class gtk-sni-tray-standalone | head -n 1; }
sni_item_point() {
  eval "$(xdotool getwindowgeometry --shell "$(sni_panel)")"
  echo "$((X + WIDTH - 16)) $((Y + HEIGHT / 2))"
}
# The host draws the menu itself: a window of its own, taller than its tooltips.
sni_host_menu_shown() {
  awk '$5 >= 80 { found = 1 } END { exit !found }' <<< "$(windows_of "$(xdotool getwindowpid "$(sni_panel)")")"
}
# The tray icon's window under XEmbed: the program's small visible window, inside the tray.
xembed_icon() {
  awk 'NF == 5 && $4 < 100 && $5 < 100 && $2 > 1000 && !found { print $1; found = 1 } END { exit !found }' \
    <<< "$(windows)"
}
# The item's activation without a point, as some hosts send it: the popover opens at the pointer.
activate_at_item() {
  xdotool mousemove $(sni_item_point)
  bus --dest "$item" --object-path /StatusNotifierItem --method org.kde.StatusNotifierItem.Activate 0 0 > /dev/null
}
sni_host_menu_closed() { ! sni_host_menu_shown; }
xembed_menu_shown() { [ "$(windows | wc -l)" -ge 2 ] && popover_hidden; }

# The presses on the screen the program was told of (QT_LOGGING_RULES above).
presses_seen() { grep -c "ostrel.screenpresses: press at" "$work/stderr.log" || true; }
# Clicks on the desktop reach the program only while the popover is open: `open` shows it without
# a press the program could see. The click that closes it is handled after the ones before it.
presses_only_while_open() {  # the command that opens the popover
  [ "$(presses_seen)" = 0 ] || fail "presses were seen before the test's clicks"
  click_elsewhere
  click_at 600 300 1
  "$@"
  until_true "the popover to show, for the presses" popover_shown
  click_elsewhere
  until_true "a click elsewhere to hide the popover, for the presses" popover_hidden
  [ "$(presses_seen)" = 1 ] || fail "the program saw $(presses_seen) presses, not only the one while the popover was open"
}

in_tray() {  # description
  case $tray in
    sni) until_true "$1 to list the item" sni_item ;;
    xembed) until_true "$1 to embed the icon" xembed_icon ;;
  esac
}
not_in_tray() {
  case $tray in
    sni) ! sni_item ;;
    xembed) ! xembed_icon ;;
  esac
}

# Started before any tray: the program says so at once, and shows in the tray that starts later,
# and in the same tray started again.
check_late_tray() {
  within 20 "the message that no tray runs" grep -qx "Ostrel: no system tray found; the icon shows once a tray starts." \
    "$work/stderr.log"
  "$OSTREL_RIG_TRAY" start
  in_tray "the tray started after the program"
  "$OSTREL_RIG_TRAY" stop
  until_true "the item to leave the stopped tray" not_in_tray
  "$OSTREL_RIG_TRAY" start
  in_tray "the restarted tray"
}

check_sni() {
  in_tray "the tray"
  item=$(sni_item)
  item_property XAyatanaLabel | grep -q " Today'>" || fail "the label is not today's total"
  [ "$(item_property Title)" = "(<'Ostrel'>,)" ] || fail "the title is $(item_property Title)"
  presses_only_while_open activate_at_item

  activate_at_item
  until_true "the popover to show" popover_shown
  popover_placed
  bus --dest "$item" --object-path /StatusNotifierItem --method org.kde.StatusNotifierItem.Activate 0 0 > /dev/null
  until_true "the popover to hide" popover_hidden

  local entries expected answer
  entries=$(bus --dest "$item" --object-path /MenuBar --method com.canonical.dbusmenu.GetLayout -- 0 -1 \
    "['label', 'type']" | grep -o "'label': <'[^']*'>\|'type': <'separator'>" | sed "s/.*<'\(.*\)'>/\1/")
  expected=$(printf '%s\n' "Support Ostrel" "Check for Updates…" "About the Developer" separator "Quit Ostrel")
  [ "$entries" = "$expected" ] || fail "menu entries: $(echo "$entries" | tr '\n' '|')"
  # Item 99 does not exist; hovering over item 1 does nothing.
  answer=$(bus --dest "$item" --object-path /MenuBar --method com.canonical.dbusmenu.EventGroup \
    "[(1, 'hovered', <0>, uint32 0), (99, 'clicked', <0>, uint32 0)]" 2>&1) || true
  [ "$answer" = "([99],)" ] || fail "a group of events: $answer"

  # Clicks on the host's panel, which reach the program only through the host. A second left click
  # soon after the first would be a double click to the host.
  local point
  point=$(sni_item_point)
  click_at $point 1
  until_true "a click on the item to show the popover" popover_shown
  popover_placed
  click_elsewhere
  until_true "a click elsewhere to hide the popover" popover_hidden
  # Without a point from the host, the popover opens at the pointer.
  xdotool mousemove $point
  bus --dest "$item" --object-path /StatusNotifierItem --method org.kde.StatusNotifierItem.Activate 0 0 > /dev/null
  until_true "the popover to show again" popover_shown
  click_at $point 3
  until_true "one right click to hide the popover" popover_hidden
  until_true "the same right click to open the host's menu" sni_host_menu_shown
  xdotool key Escape
  until_true "the host's menu to close" sni_host_menu_closed

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
  in_tray "the tray"
  local icon
  icon=$(xembed_icon)
  presses_only_while_open xdotool mousemove --window "$icon" 5 5 click 1
  xdotool mousemove --window "$icon" 5 5 click 1
  until_true "the popover to show" popover_shown
  popover_placed
  # The click that hides the popover must not open it again through the icon.
  xdotool mousemove --window "$icon" 5 5 click 1
  until_true "the popover to hide" popover_hidden

  xdotool mousemove --window "$icon" 5 5 click 1
  until_true "the popover to show again" popover_shown
  click_elsewhere
  until_true "a click elsewhere to hide the popover" popover_hidden

  xdotool mousemove --window "$icon" 5 5 click 1
  until_true "the popover to show once more" popover_shown
  xdotool mousemove --window "$icon" 5 5 click 3
  until_true "one right click to hide the popover and open the menu" xembed_menu_shown
  # From nothing selected, Up selects the last entry, which is the quit command.
  xdotool key Up Return
}

start
[ -z "$late" ] || check_late_tray
case $tray in
  sni) check_sni ;;
  xembed) check_xembed ;;
  *) fail "unknown tray host" ;;
esac
ended_with 0 '"Quit Ostrel"'
! grep -q "Skipped method" "$work/stderr.log" || fail "a method of the bus interfaces was left out"

# No data folder can be made under /proc, whoever runs the test.
status=0
XDG_DATA_HOME=/proc timeout 60 "$ostrel" > "$work/unwritable.log" 2>&1 || status=$?
[ "$status" != 0 ] && [ "$status" != 124 ] || fail "an unwritable data folder ended the start with status $status"
grep -q "^Failed to initialize OstrelDataService: " "$work/unwritable.log" ||
  fail "an unwritable data folder gave no start-up message"
echo "PASS ($variant)"
