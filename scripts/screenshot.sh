#!/usr/bin/env bash
# Renews the README's screenshot of the window (doc/scalino-window.png): starts a private X
# server, a simulated A&D balance and the window on it with demonstration settings that connect
# at once, shows the event log after a few readings and captures the window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
tools=(x11-apps xdotool imagemagick)
missing=()
for package in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  sudo=""; [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cli=build/src/cli/scalino-cli
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
unset WAYLAND_DISPLAY

"$cli" simulate --set instrument=AND_SIMPLE --interval 400 --link "$work/balance" >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$work/balance" ] && break; sleep 0.1; done
"$cli" -q settings --prefs "$work/settings.txt" --set instrument=AND_SIMPLE --defaults \
  --set decimalPlaces=1 \
  --set port="$work/balance" --set prevPort="$work/balance" --set connect=AUTO \
  --set outputTerminator=ENTER --set checkForUpdates=false --set minimizeToTray=false \
  --save >/dev/null
build/src/scalino/scalino --prefs "$work/settings.txt" "$work/balance" 2>/dev/null &
pids+=($!)
window=""
for _ in $(seq 100); do
  window=$(xdotool search --name "Velmora Scalino" 2>/dev/null | head -1) && [[ -n "$window" ]] && break
  sleep 0.1
done
[[ -n "$window" ]] || { echo "the window did not appear" >&2; exit 1; }
sleep 4
# The focus is in the start tab; Ctrl+Tab shows the next tab, the event log.
xdotool windowfocus --sync "$window" key ctrl+Tab
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"
xwd -root -silent | convert xwd:- -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage doc/scalino-window.png
echo "doc/scalino-window.png (${WIDTH}x${HEIGHT})"
