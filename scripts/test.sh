#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Extra arguments go to ctest, for
# example: scripts/test.sh -L unit
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --test-dir build --output-on-failure -j2 "$@"
