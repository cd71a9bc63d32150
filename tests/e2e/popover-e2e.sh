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

# A Custom range chosen in the "To" field's calendar pop-up, as a user does: the arrow opens it,
# the arrow button of its month bar turns to the month before where needed, and a click on a day
# before "From" swaps the two ends. The day is ten days back, inside the demonstration's two weeks.
# A click lands on the program's own window: a notification bubble lying over it (beside the tray,
# where an XEmbed tray puts the popover) is closed first, as a user would close it.
under_pointer_is_ours() {
  local window
  window=$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')
  awk -v window="$window" '$1 == window { found = 1 } END { exit !found }' <<< "$(windows)"
}
click_at() {
  xdotool mousemove "$1" "$2"
  if ! under_pointer_is_ours; then
    dunstctl close-all > /dev/null 2>&1 || true
    until_true "nothing over the program's window at $1,$2" under_pointer_is_ours
  fi
  xdotool click 1
}
click_at_middle() {
  local x y width height
  read -r x y width height <<< "$(extents "$1")"
  click_at $((x + width / 2)) $((y + height / 2))
}
role_of() { a11y "$1" org.a11y.atspi.Accessible.GetRoleName | sed -n "s/^('\(.*\)',)$/\1/p"; }
field_text() { a11y "$1" org.a11y.atspi.Text.GetText "int32 0" "int32 -1" | sed -n "s/^('\(.*\)',)$/\1/p"; }
click_at_middle "$(tab_at Overview)"
until_true "the Overview tab" shows "Usage Trend (Weekly)"
click_at_middle "$(named_on_screen Custom)"
until_true "the Custom overview" shows "Usage Trend (Custom)"
# The fields carry their labels' names; the labels are their siblings.
from_field='' to_field=''
for path in $(children_of "$(parent_of "$(named_on_screen From)")"); do
  [ "$(role_of "$path")" = "spin box" ] || continue
  case $(name_of "$path") in
    From) from_field=$path ;;
    To) to_field=$path ;;
  esac
done
[ -n "$from_field" ] && [ -n "$to_field" ] || fail "no From and To date fields"
day() { LC_ALL=C date -d "$1" '+%-d %b %Y'; }
[ "$(field_text "$from_field")" = "$(day '7 days ago')" ] || fail "From reads $(field_text "$from_field")"
[ "$(field_text "$to_field")" = "$(day today)" ] || fail "To reads $(field_text "$to_field")"

# The pop-up is a window of its own, outside the popover's tree: Qt numbers its objects after those
# of the popover, and the application is its window's parent.
calendar_window() {
  local id path parent width height
  for id in $(seq 2147483648 2147485648); do
    path=/org/a11y/atspi/accessible/$id
    parent=$(parent_of "$path" 2> /dev/null) || continue
    [ "$parent" = /org/a11y/atspi/accessible/root ] && [ "$path" != "$popover" ] || continue
    read -r _ _ width height <<< "$(extents "$path")"
    # Not the popover, nor the tray icon's small window under an XEmbed tray.
    if [ "$width" -gt 100 ] && [ "$height" -gt 100 ] && [ "$width" -lt 880 ]; then
      echo "$path"
      return 0
    fi
  done
  return 1
}
# Everything in the pop-up, one "path|role|name|x y width height" a line.
calendar_objects() {
  local queue=("$calendar") path child
  while [ ${#queue[@]} -gt 0 ]; do
    path=${queue[0]}
    queue=("${queue[@]:1}")
    echo "$path|$(role_of "$path")|$(name_of "$path")|$(extents "$path")"
    for child in $(children_of "$path"); do queue+=("$child"); done
  done
}
read -r x y width height <<< "$(extents "$to_field")"
click_at $((x + width - 8)) $((y + height / 2))
until_true "the calendar pop-up" calendar_window
calendar=$(calendar_window)
target='10 days ago'
month() { LC_ALL=C date -d "$1" +%B; }
if [ "$(month "$target")" != "$(month today)" ]; then
  # The month bar's two arrow buttons have no names: the earlier month's is the one on the left.
  previous=$(calendar_objects | awk -F'|' '$2 == "push button" && $3 == "" {
    split($4, e, " "); if (found == "" || e[1] < left) { left = e[1]; found = $1 } } END { print found }')
  [ -n "$previous" ] || fail "no arrow button in the calendar's month bar"
  click_at_middle "$previous"
  shows_month() { [[ "$(calendar_objects)" == *"|button menu|$(month "$target")|"* ]]; }
  until_true "the calendar to show $(month "$target")" shows_month
fi
# A day number stands twice where the neighbouring months' days fill the first and last rows: the
# month's own is the later one for a day past the middle of the month, else the earlier one.
target_day=$(date -d "$target" +%-d)
cell=$(calendar_objects | awk -F'|' -v day="$target_day" '$2 == "cell" && $3 == day {
  split($4, e, " "); place = e[2] * 100000 + e[1]
  if (first == "" || place < firstPlace) { firstPlace = place; first = $1 }
  if (last == "" || place > lastPlace) { lastPlace = place; last = $1 } }
  END { print (day > 15 ? last : first) }')
[ -n "$cell" ] || fail "no day $target_day in the calendar"
click_at_middle "$cell"
swapped() {
  [ "$(field_text "$from_field")" = "$(day "$target")" ] && [ "$(field_text "$to_field")" = "$(day '7 days ago')" ]
}
until_true "From $(day "$target") and To $(day '7 days ago')" swapped
# The Total card's amount for that range: demonstration traffic, not "Zero KB".
total() {
  local card names
  card=$(parent_of "$(named_on_screen Total)")
  local queue=("$card") path child
  names=$(while [ ${#queue[@]} -gt 0 ]; do
    path=${queue[0]}
    queue=("${queue[@]:1}")
    name_of "$path"
    for child in $(children_of "$path"); do queue+=("$child"); done
  done)
  awk '/^(Zero KB|[0-9.]+ (B|KB|MB|GB|TB))$/ { print; exit }' <<< "$names"
}
nonzero_total() { local amount; amount=$(total) && [ -n "$amount" ] && [ "$amount" != "Zero KB" ]; }
until_true "a total for the range" nonzero_total
swapped || fail "the range changed: From $(field_text "$from_field"), To $(field_text "$to_field")"
click_at_middle "$(tab_at Prefs)"
until_true "the Prefs tab" shows "Alerts are local only. Warning at 5 GB, danger at 10 GB."

# The confirmation of "Clear Local Data" belongs to the popover: the popover is still there after
# Cancel and after Clear.
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
