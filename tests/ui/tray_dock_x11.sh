#!/usr/bin/env bash
# The installed-style app on a real X server: under Xvfb + openbox + trayer the tray icon docks
# in the tray, the main window opens, and a second start raises the first and exits 0.
# Usage: tray_dock_x11.sh MURMURA. Exit 77 (skipped) when the tools are missing outside CI.
set -u
app="$1"
for tool in Xvfb openbox trayer xwininfo; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool not installed"
    [ -n "${CI:-}" ] && exit 1
    exit 77
  fi
done
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
display=""
for n in $(seq 70 99); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
[ -n "$display" ] || { echo "no free display"; exit 1; }
export DISPLAY=$display HOME=$work XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
unset QT_QPA_PLATFORM
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Murmura" && chmod 700 "$XDG_RUNTIME_DIR"
printf '[General]\nhasCompletedOnboarding=true\n' > "$XDG_CONFIG_HOME/Murmura/Murmura.conf"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 & pids+=($!)
trayer --edge top --align right --widthtype pixel --width 120 --height 28 >/dev/null 2>&1 & pids+=($!)
sleep 1
"$app" >"$work/app.log" 2>&1 & app_pid=$!; pids+=($app_pid)
# The icon is a "Murmura" window inside trayer's panel.
docked=0
for _ in $(seq 100); do
  if xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {p=1; next} p && /"Murmura"/ {print; exit}' | grep -q Murmura; then
    docked=1; break
  fi
  sleep 0.1
done
[ "$docked" = 1 ] || { echo "the tray icon did not dock"; xwininfo -root -tree; exit 1; }
xwininfo -root -tree | grep -qE '"Murmura": \("murmura" "Murmura"\)  [0-9]{3,}x[0-9]{3,}' || { echo "no main window"; exit 1; }
timeout 20 "$app" >/dev/null 2>&1; second=$?
[ "$second" = 0 ] || { echo "second start exited $second"; exit 1; }
kill -0 "$app_pid" 2>/dev/null || { echo "the first instance is gone"; exit 1; }
echo "tray icon docked; second start raised the first"
