#!/usr/bin/env bash
# Runs the README's fenced blocks marked "```sh runnable" as a new user would type them, each in a
# scratch home folder with scalino-cli on the PATH, so that every such command works as written.
# The blocks talk to the simulator, never to a real device. A command that runs until Ctrl+C
# (read) gets SIGINT after a few seconds, as the user would send it; a block passes when it
# ends with status 0, and a block that reads must have printed at least one value.
#
#   run-readme-commands.sh README.md path/to/scalino-cli
set -uo pipefail
readme=$1
cli=$(realpath "$2")
seconds=${SCALINO_README_BLOCK_SECONDS:-6}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin"
ln -s "$cli" "$scratch/bin/scalino-cli"

# One file per block, numbered in README order; the line where it starts goes in its name.
awk -v dir="$scratch" '
  /^```sh runnable[[:space:]]*$/ { n++; file = sprintf("%s/block-%02d-line-%d.sh", dir, n, NR); next }
  /^```/ && file != "" { close(file); file = ""; next }
  file != "" { print > file }
' "$readme"

# Runs a block in a session of its own. A read still running after $seconds gets Ctrl+C (SIGINT)
# as the user would send it, to it alone: the simulator in the background goes on until the
# block has ended, then it and anything else left of the block are ended.
run_block() {
  local block=$1 home=$2 session waited
  (cd "$home" && HOME="$home" PATH="$scratch/bin:$PATH" \
     SERIAL_PORT_LIST=/dev/ttyUSB0:/dev/ttyUSB1 exec setsid bash -e "$block") \
    >"$home/out" 2>"$home/err" </dev/null &
  session=$!
  for ((waited = 0; waited < seconds * 10; waited++)); do
    kill -0 "$session" 2>/dev/null || break
    sleep 0.1
  done
  pkill -INT -s "$session" -f 'scalino-cli .*read( |$)' 2>/dev/null
  for ((waited = 0; waited < 100; waited++)); do
    kill -0 "$session" 2>/dev/null || break
    sleep 0.1
  done
  pkill -TERM -s "$session" 2>/dev/null
  wait "$session"
  local status=$?
  pkill -KILL -s "$session" 2>/dev/null
  return "$status"
}

failed=0
count=0
for block in "$scratch"/block-*.sh; do
  [[ -e $block ]] || continue
  count=$((count + 1))
  home=$(mktemp -d "$scratch/home.XXXX")
  run_block "$block" "$home"
  status=$?
  name=$(basename "$block" .sh)
  problem=""
  if [[ $status -ne 0 ]]; then
    problem="ended with status $status"
  elif grep -q 'scalino-cli read' "$block" && ! grep -qP '^\d+\t[^\t]+\t' "$home/out"; then
    problem="read printed no value"
  fi
  if [[ -n $problem ]]; then
    failed=1
    echo "FAILED: README block $name $problem"
    sed 's/^/  | /' "$block"
    echo "  standard output:"; sed 's/^/    /' "$home/out"
    echo "  standard error:"; sed 's/^/    /' "$home/err"
  else
    echo "ok: README block $name"
  fi
done
if [[ $count -eq 0 ]]; then
  echo "FAILED: no block marked runnable in $readme"
  exit 1
fi
exit "$failed"
