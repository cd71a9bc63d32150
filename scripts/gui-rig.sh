#!/usr/bin/env bash
# Runs a command inside a headless desktop made for it alone: a virtual X server, a private session
# bus, a tray host and a recorder of desktop notifications.
#
#   scripts/gui-rig.sh [--tray sni|xembed|none] [--tray-later] [--screen WxHxDEPTH] -- COMMAND [ARG...]
#
# --tray sni     a StatusNotifierItem host with its watcher (what KDE, Xfce and GNOME's
#                AppIndicator users have); the default
# --tray xembed  an XEmbed system tray (older panels)
# --tray-later   the tray host is not started before the command: the command starts it
# The command sees DISPLAY, DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR, LC_ALL=C.UTF-8 (texts read
# the same whoever runs the rig), OSTREL_RIG_DIR, a folder holding notifications.log (every
# Notify call on the bus), and OSTREL_RIG_TRAY, a command that starts (`"$OSTREL_RIG_TRAY" start`)
# or stops (`... stop`) the tray host and returns once it is up or gone, as a panel that starts
# late or restarts. The rig exits with the command's status, or 77 when a tool it needs is missing
# (scripts/install-deps.sh installs them all).
set -euo pipefail

# Polls a condition until it holds; a slow, loaded machine gets plenty of time.
within() {  # seconds, then the condition's command
  local deadline=$((SECONDS + $1))
  shift
  until "$@" > /dev/null 2>&1; do
    ((SECONDS < deadline)) || return 1
    sleep 0.05
  done
}
ready() {  # description, then the condition's command
  local what=$1
  shift
  within 60 "$@" || { echo "rig: $what did not come up" >&2; return 1; }
}

name_owned() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner "$1" | grep -q true
}
sni_host_registered() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered |
    grep -q true
}
xembed_tray_shown() { xdotool search --onlyvisible --class trayer; }
# The host registered, or ended: it ends as soon as its registration fails.
sni_host_settled() { sni_host_registered || ! kill -0 "$(cat "$rig/tray.pid")"; }

# The tray host runs in the background, its process id in $rig/tray.pid, so that the rig's command
# can stop and start it again.
start_tray() {
  case $tray in
    sni)
      # On a busy machine the host now and then registers with the watcher it starts itself before
      # that watcher has its name or its object on the bus ("ServiceUnknown", "UnknownObject"), and
      # ends at once. Its end is watched for, so that it starts again at once, instead of after the
      # time a host that runs but never registers is given.
      local attempt
      for attempt in 1 2 3 4 5 6 7 8 9 10; do
        gtk-sni-tray-standalone --watcher --top --end --size 32 >> "$rig/tray.log" 2>&1 &
        echo $! > "$rig/tray.pid"
        within 20 sni_host_settled || true
        sni_host_registered && return 0
        stop_tray
      done
      echo "rig: the StatusNotifierItem host did not come up" >&2
      return 1
      ;;
    xembed)
      trayer --edge top --align right --widthtype request --height 32 --SetDockType true >> "$rig/tray.log" 2>&1 &
      echo $! > "$rig/tray.pid"
      ready "the system tray" xembed_tray_shown
      ;;
  esac
}
stop_tray() {
  [ -s "$rig/tray.pid" ] || return 0
  kill "$(cat "$rig/tray.pid")" 2> /dev/null || true
  rm -f "$rig/tray.pid"
  case $tray in
    sni) within 60 sh -c "! gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
           --method org.freedesktop.DBus.NameHasOwner org.kde.StatusNotifierWatcher | grep -q true" ;;
    xembed) within 60 sh -c '! xdotool search --onlyvisible --class trayer' ;;
  esac || { echo "rig: the tray host did not stop" >&2; return 1; }
}

# The command's control of the tray host: gui-rig.sh --control start|stop, inside a rig.
if [ "${1:-}" = --control ]; then
  rig=${OSTREL_RIG_DIR:?--control runs inside the rig}
  tray=$(cat "$rig/tray-kind")
  case ${2:-} in
    start) [ -s "$rig/tray.pid" ] || start_tray ;;
    stop) stop_tray ;;
    *) echo "usage: \$OSTREL_RIG_TRAY start|stop" >&2; exit 2 ;;
  esac
  exit 0
fi

tray=sni
tray_later=
screen=1280x800x24
while [ $# -gt 0 ]; do
  case $1 in
    --tray) tray=$2; shift 2 ;;
    --tray-later) tray_later=1; shift ;;
    --screen) screen=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "usage: $0 [--tray sni|xembed|none] [--tray-later] [--screen WxHxD] -- COMMAND [ARG...]" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "$0: no command given" >&2; exit 2; }

needed=(Xvfb dbus-daemon dbus-monitor gdbus xdotool)
case $tray in
  sni) needed+=(gtk-sni-tray-standalone) ;;
  xembed) needed+=(trayer) ;;
  none) ;;
  *) echo "$0: unknown tray host '$tray'" >&2; exit 2 ;;
esac
for tool in "${needed[@]}"; do
  if ! command -v "$tool" > /dev/null; then
    echo "SKIP: $tool is not installed (scripts/install-deps.sh installs the rig's tools)" >&2
    exit 77
  fi
done

rig=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-rig.XXXXXX")
chmod 700 "$rig"
mkdir -m 700 "$rig/runtime" "$rig/services"
pids=()
cleanup() {
  local i
  if [ -s "$rig/tray.pid" ]; then kill "$(cat "$rig/tray.pid")" 2> /dev/null || true; fi
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2> /dev/null || true; done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do wait "${pids[i]}" 2> /dev/null || true; done
  [ -n "${OSTREL_RIG_KEEP:-}" ] || rm -rf "$rig"
}
trap cleanup EXIT

export LC_ALL=C.UTF-8

# The X server picks a free display and names it once it accepts connections.
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3> "$rig/display" 2> "$rig/xvfb.log" &
pids+=($!)
ready "the X server" grep -q '^[0-9]' "$rig/display"
export DISPLAY=":$(head -n 1 "$rig/display")"

# A session bus of the rig's own: nothing is started behind the test's back.
cat > "$rig/bus.conf" << EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$rig/bus</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$rig/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
dbus-daemon --nofork --config-file="$rig/bus.conf" 2> "$rig/bus.log" &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS="unix:path=$rig/bus"
export XDG_RUNTIME_DIR="$rig/runtime"
ready "the session bus" gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
  --method org.freedesktop.DBus.GetId

dbus-monitor --session "type='method_call',interface='org.freedesktop.Notifications',member='Notify'" \
  > "$rig/notifications.log" 2> /dev/null &
pids+=($!)
ready "the notification recorder" test -s "$rig/notifications.log"
if command -v dunst > /dev/null; then
  dunst > "$rig/dunst.log" 2>&1 &
  pids+=($!)
  ready "the notification daemon" name_owned org.freedesktop.Notifications
fi

echo "$tray" > "$rig/tray-kind"
printf '#!/usr/bin/env bash\nexec %q --control "$@"\n' "$(cd "$(dirname "$0")" && pwd)/$(basename "$0")" > "$rig/tray-host"
chmod +x "$rig/tray-host"
[ -n "$tray_later" ] || start_tray

export OSTREL_RIG_DIR="$rig" OSTREL_RIG_TRAY="$rig/tray-host"
status=0
"$@" || status=$?
exit "$status"
