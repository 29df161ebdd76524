#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: the readings of a sample A&D balance
# session processed as Scalino would type them (rounded to one decimal place).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build/src/cli/scalino-cli process --set instrument=AND_SIMPLE --set inputTerminator=10 \
  --set decimalPlaces=1 --set roundingMethod=HALF_UP < resources/samples/and-balance.txt
