#!/usr/bin/env bash
# The example user unit doc/examples/scalino-cli-read.service passes 'systemd-analyze verify
# --user' with no error and no warning. verify requires ExecStart's program to exist, so a copy
# names the built scalino-cli instead of /usr/bin/scalino-cli; the rest is checked as shipped.
# Exits 77 (skipped) where systemd-analyze is not installed.
#
#   verify-user-unit.sh UNIT_FILE SCALINO_CLI
set -euo pipefail
unit=$1
cli=$2

if ! command -v systemd-analyze >/dev/null; then
  echo "systemd-analyze is not installed (package systemd): the example unit is not verified"
  exit 77
fi

fail() { echo "$unit: $*" >&2; exit 1; }
for line in 'ExecStart=/usr/bin/scalino-cli -q read --type' 'Restart=on-failure' \
            'RestartSec=5' 'After=graphical-session.target' 'WantedBy=graphical-session.target'; do
  grep -qxF "$line" "$unit" || fail "has no line $line"
done
grep -q '^Description=.' "$unit" || fail "has no Description"
"$cli" -q read --help >/dev/null || fail "its program rejects 'read --help'"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime"
name=$(basename "$unit")
sed "s#^ExecStart=/usr/bin/scalino-cli #ExecStart=$cli #" "$unit" >"$scratch/$name"

# The user manager's folders are the scratch folder's, not this user's; no manual pages are
# looked up (the program may not be installed).
status=0
output=$(cd "$scratch" && XDG_RUNTIME_DIR="$scratch/runtime" XDG_CONFIG_HOME="$scratch/config" \
  systemd-analyze verify --user --man=no "./$name" 2>&1) || status=$?
if [[ $status -ne 0 || -n "$output" ]]; then
  echo "systemd-analyze verify --user (status $status):" >&2
  echo "$output" >&2
  exit 1
fi
echo "$name verified with $(systemd-analyze --version | head -1)"
