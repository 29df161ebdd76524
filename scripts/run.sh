#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on a simulated instrument: an A&D
# balance sends its readings over a pseudo-terminal for a few seconds, and Scalino reads the
# port, processes every line (rounded to one decimal place) and prints what it would type.
# Add --type to the read command to have the values typed into the focused window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

cli=build/src/cli/scalino-cli
work=$(mktemp -d)
trap 'kill "$simulator" 2>/dev/null || true; rm -rf "$work"' EXIT
"$cli" simulate --set instrument=AND_SIMPLE --interval 250 --link "$work/balance" >/dev/null &
simulator=$!
for _ in $(seq 50); do [ -e "$work/balance" ] && break; sleep 0.1; done

# A pseudo-terminal carries 8 data bits without parity, not the balance's 7 even.
timeout --preserve-status --signal=INT 4 "$cli" read --port "$work/balance" \
  --prefs "$work/settings.txt" --set instrument=AND_SIMPLE --set dataBits=3 --set parity=0 \
  --set inputTerminator=10 --set decimalPlaces=1 --set roundingMethod=HALF_UP
