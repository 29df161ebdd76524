#!/usr/bin/env bash
# The example udev rule doc/examples/60-scalino-serial.rules is valid udev syntax and keeps
# ModemManager off each adapter it names. 'udevadm verify' checks the syntax where this udev has
# it (253 and later); elsewhere (Debian 12 has 252) every rule line must be comma-separated
# KEY=="value", KEY{attr}=="value" or ENV{name}="value" pairs.
#
#   verify-udev-rule.sh RULES_FILE
set -euo pipefail
rules=$1

fail() { echo "$rules: $*" >&2; exit 1; }

# A match (==, !=) or an assignment (=, +=) to a key, with an attribute name in braces or none.
pair='[A-Z_]+(\{[A-Za-z0-9_]+\})?(==|!=|=|\+=)"[^"]*"'
check_line() {
  local line=$1 number=$2
  [[ $line =~ ^$pair(,\ $pair)*$ ]] || fail "line $number is no list of KEY==\"value\" pairs: $line"
}

number=0
while IFS= read -r line; do
  number=$((number + 1))
  [[ -z $line || $line == \#* ]] && continue
  check_line "$line" "$number"
done <"$rules"

for device in 0403:6001 0403:6015 067b:2303 10c4:ea60 1a86:7523; do
  grep -q "ATTRS{idVendor}==\"${device%:*}\", ATTRS{idProduct}==\"${device#*:}\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"" \
    "$rules" || fail "does not keep ModemManager off $device"
done
for advice in 'sudo udevadm control --reload && sudo udevadm trigger' \
              'sudo systemctl mask brltty-udev.service' '/etc/udev/rules.d/'; do
  grep -qF "$advice" "$rules" || fail "does not say: $advice"
done

if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rules" || fail "udevadm verify refuses it"
  echo "$(basename "$rules") verified with udevadm $(udevadm --version)"
else
  echo "$(basename "$rules"): syntax checked here; this udev has no 'udevadm verify'"
fi
