#!/usr/bin/env bash
# The real program with demonstration data in the rig's desktop (scripts/gui-rig.sh starts it):
# the tray item opens the popover, a click on each tab shows that tab's screen with one of its own
# texts, the confirmation of "Clear Local Data" leaves the popover open after either answer, and
# opening on Overview posts the danger notification of the demonstration's week.
#
# The texts are read as a screen reader reads them: the rig's desktop turns accessibility on as a
# desktop does for a screen reader (an AT-SPI bus whose status says enabled), and the test walks the
# widgets Qt exposes there, keeping only those on screen. The tabs are clicked with the pointer, at
# the places Qt reports for them.
#
#   scripts/gui-rig.sh --tray sni|xembed -- tests/e2e/popover-e2e.sh PATH/TO/ostrel sni|xembed
set -euo pipefail

ostrel=$1
tray=$2
launcher=/usr/libexec/at-spi-bus-launcher
if [ ! -x "$launcher" ]; then
  echo "SKIP: at-spi2-core is not installed (scripts/install-deps.sh installs it)" >&2
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-e2e.XXXXXX")
[ -z "${OSTREL_E2E_OUTPUT:-}" ] || rm -f "$OSTREL_E2E_OUTPUT/popover-e2e-$tray-fail.png"
pid=
bus_pid=
keep=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2> /dev/null; then kill -- "-$pid" 2> /dev/null || kill "$pid" || true; fi
  if [ -n "$bus_pid" ]; then kill -- "-$bus_pid" 2> /dev/null || true; fi
  [ -n "$keep" ] || rm -rf "$work"
}
trap cleanup EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
export ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0:strict_string_checks=0
export OSTREL_ENABLE_MOCK_DATA=1 LC_ALL=C.UTF-8

fail() {
  echo "FAIL ($tray): $*" >&2
  # Beside ctest's output when it runs the test, else in the test's folder, which is then kept.
  [ -n "${OSTREL_E2E_OUTPUT:-}" ] || keep=1
  local picture=${OSTREL_E2E_OUTPUT:-$work}/popover-e2e-$tray-fail.png
  import -window root "$picture" 2> /dev/null && echo "the screen at the failure: $picture" >&2
  for log in "$work"/*.log; do [ -s "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }; done
  exit 1
}
until_true() {  # description, then the condition's command
  local what=$1 deadline=$((SECONDS + 90))
  shift
  until "$@" > /dev/null 2>&1; do
    ((SECONDS < deadline)) || fail "timed out waiting: $what"
    sleep 0.1
  done
}

# Accessibility on, as a desktop turns it on for a screen reader. The launcher keeps its settings
# in memory: the rig has no settings daemon.
status() {
  gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status "$1" '<true>'
}
GSETTINGS_BACKEND=memory setsid "$launcher" --launch-immediately > "$work/a11y.log" 2>&1 &
bus_pid=$!
until_true "the accessibility bus" gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.a11y.Bus.GetAddress
status IsEnabled > /dev/null
status ScreenReaderEnabled > /dev/null
a11y_bus=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus --method org.a11y.Bus.GetAddress |
  sed "s/^('\(.*\)',)$/\1/")

setsid "$ostrel" > "$work/stdout.log" 2> "$work/stderr.log" &
pid=$!

windows() {
  local id
  for id in $(xdotool search --onlyvisible --pid "$pid" 2> /dev/null); do
    (eval "$(xdotool getwindowgeometry --shell "$id")" && echo "$id $WIDTH $HEIGHT")
  done
}
popover_shown() { grep -q ' 880 680$' <<< "$(windows)"; }

bus() { gdbus call --session "$@"; }
sni_item() {
  local name
  for name in $(bus --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems |
    grep -o ":[0-9.]*"); do
    if bus --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.GetConnectionUnixProcessID "$name" | grep -q "uint32 $pid,"; then
      echo "$name"
      return 0
    fi
  done
  return 1
}
xembed_icon() { awk 'NF == 3 && $2 < 100 && $3 < 100 && !found { print $1; found = 1 } END { exit !found }' <<< "$(windows)"; }

case $tray in
  sni)
    until_true "the item to register with the watcher" sni_item
    bus --dest "$(sni_item)" --object-path /StatusNotifierItem --method org.kde.StatusNotifierItem.Activate 0 0 \
      > /dev/null
    ;;
  xembed)
    until_true "the icon to be embedded" xembed_icon
    xdotool mousemove --window "$(xembed_icon)" 5 5 click 1
    ;;
  *) fail "unknown tray host" ;;
esac
until_true "the popover to show" popover_shown

# The program on the accessibility bus: among the applications the registry lists, the one whose
# connection is the program's process.
app_on_bus() {
  local name
  for name in $(gdbus call --address "$a11y_bus" --dest org.a11y.atspi.Registry \
    --object-path /org/a11y/atspi/accessible/root --method org.a11y.atspi.Accessible.GetChildren |
    grep -o "':[0-9.]*'" | tr -d "'"); do
    if gdbus call --address "$a11y_bus" --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.GetConnectionUnixProcessID "$name" | grep -q "uint32 $pid,"; then
      echo "$name"
      return 0
    fi
  done
  return 1
}
until_true "the program on the accessibility bus" app_on_bus
app=$(app_on_bus)
a11y() {  # object path, method, arguments
  local path=$1 method=$2
  shift 2
  gdbus call --address "$a11y_bus" --dest "$app" --object-path "$path" --method "$method" "$@"
}
property() { a11y "$1" org.freedesktop.DBus.Properties.Get org.a11y.atspi.Accessible "$2"; }
name_of() { property "$1" Name | sed -n "s/^(<[\"']\(.*\)[\"']>,)$/\1/p"; }
# gdbus names the type of an array's first element only: the paths are what is left.
paths() { grep -o "'/org/a11y/atspi/accessible/[^']*'" | tr -d "'"; }
parent_of() { property "$1" Parent | paths; }
children_of() { a11y "$1" org.a11y.atspi.Accessible.GetChildren | paths; }
# Qt's state bit 25 ("showing"): on screen, not on a hidden page.
showing() {
  local first
  first=$(a11y "$1" org.a11y.atspi.Accessible.GetState | grep -o "uint32 [0-9]*" | head -n 1 | cut -d' ' -f2)
  (((first >> 25) & 1))
}
extents() { a11y "$1" org.a11y.atspi.Component.GetExtents "uint32 0" | grep -o "[0-9-]\+" | tr '\n' ' '; }

# The popover is found from its widgets, not from the application's list of windows on the bus,
# which Qt keeps for some kinds of window only: Qt numbers the objects it exposes from 2^31 up, so
# the first few lead, parent by parent, to the popover.
popover_window() {
  local id path parent
  for id in $(seq 2147483648 2147483748); do
    path=/org/a11y/atspi/accessible/$id
    property "$path" Name > /dev/null 2>&1 || continue
    while parent=$(parent_of "$path") && [ -n "$parent" ] && [ "$parent" != /org/a11y/atspi/accessible/root ]; do
      path=$parent
    done
    read -r _ _ width height <<< "$(extents "$path")"
    if [ "$width" = 880 ] && [ "$height" = 680 ]; then
      echo "$path"
      return 0
    fi
  done
  return 1
}
until_true "the popover on the accessibility bus" popover_window
popover=$(popover_window)

# The names of the popover's objects on screen, one a line.
shown_names() {
  local queue=("$popover") path child
  while [ ${#queue[@]} -gt 0 ]; do
    path=${queue[0]}
    queue=("${queue[@]:1}")
    showing "$path" || continue
    name_of "$path"
    for child in $(children_of "$path"); do queue+=("$child"); done
  done
}
shows() { grep -qxF "$1" <<< "$(shown_names)"; }
tab_at() {  # the page tab's object
  local path
  for path in $(children_of "$tab_bar"); do
    [ "$(name_of "$path")" = "$1" ] && { echo "$path"; return 0; }
  done
  return 1
}
find_tab_bar() {
  local queue=("$popover") path child
  while [ ${#queue[@]} -gt 0 ]; do
    path=${queue[0]}
    queue=("${queue[@]:1}")
    # Its page tabs, then the buttons that scroll a bar too narrow for them.
    if [[ "$(children_of "$path" | while read -r child; do name_of "$child"; done | tr '\n' '|')" == \
      "Overview|Networks|Apps|Prefs|"* ]]; then
      echo "$path"
      return 0
    fi
    for child in $(children_of "$path"); do queue+=("$child"); done
  done
  return 1
}
tab_bar=$(find_tab_bar) || fail "no tab bar with the four tabs"

# Each tab's screen, and a text only that screen shows.
for pair in "Overview|Usage Trend (Weekly)" "Networks|Select a network" "Apps|Select an app" \
  "Prefs|Alerts are local only. Warning at 5 GB, danger at 10 GB."; do
  tab=${pair%%|*}
  text=${pair#*|}
  page=$(tab_at "$tab") || fail "no tab $tab"
  read -r x y width height <<< "$(extents "$page")"
  xdotool mousemove $((x + width / 2)) $((y + height / 2)) click 1
  until_true "\"$text\" on the $tab tab" shows "$text"
  popover_shown || fail "the popover closed on a click on $tab"
done

# The confirmation of "Clear Local Data" belongs to the popover: the popover is still there after
# Cancel and after Clear.
named_on_screen() {  # the first object on screen with that name
  local queue=("$popover") path child
  while [ ${#queue[@]} -gt 0 ]; do
    path=${queue[0]}
    queue=("${queue[@]:1}")
    showing "$path" || continue
    [ "$(name_of "$path")" = "$1" ] && { echo "$path"; return 0; }
    for child in $(children_of "$path"); do queue+=("$child"); done
  done
  return 1
}
confirmation_shown() { awk '!($2 == 880 && $3 == 680) && $2 > 100 && $3 > 60 { found = 1 } END { exit !found }' \
  <<< "$(windows)"; }
confirmation_gone() { ! confirmation_shown; }
clear_button=$(named_on_screen "Clear Local Data") || fail "no Clear Local Data button on the Prefs tab"
answer_confirmation() {  # the keys that answer it
  local x y width height
  read -r x y width height <<< "$(extents "$clear_button")"
  xdotool mousemove $((x + width / 2)) $((y + height / 2)) click 1
  until_true "the confirmation to show" confirmation_shown
  popover_shown || fail "the popover closed when the confirmation showed"
  xdotool key "$@"
  until_true "the confirmation to close" confirmation_gone
  popover_shown || fail "the popover closed with the confirmation ($*)"
}
answer_confirmation Escape     # Cancel, the default
answer_confirmation Tab space  # Clear
# The week of demonstration samples is gone; sampling goes on.
samples() { sqlite3 "$XDG_DATA_HOME/Ostrel/ostrel.sqlite" "SELECT COUNT(*) FROM usage_samples"; }
cleared() { [ "$(samples)" -lt 100 ]; }
until_true "Clear to delete the samples" cleared

# The demonstration's week is past the danger threshold: opening on Overview said so.
notified() { grep -q '"Ostrel Danger Threshold"' "$OSTREL_RIG_DIR/notifications.log"; }
until_true "the danger notification" notified
echo "PASS ($tray)"
