#!/usr/bin/env bash
# Builds (incrementally) and runs one libFuzzer harness of fuzz/ on its corpus.
#
#   scripts/fuzz.sh                      lists the fuzzers
#   scripts/fuzz.sh NAME SECONDS [FLAG]  runs fuzzer NAME for SECONDS; FLAGs go to libFuzzer
#                                        (for example -jobs=1 or -runs=10000000)
#
# Each session first runs every input of fuzz/NAME/regressions and the generated inputs at the
# limits once, then fuzzes the corpus (build-fuzz/fuzz-corpus/NAME, kept between sessions) seeded
# from the project's samples and the regressions. A finding is written to
# build-fuzz/fuzz-artifacts/NAME/ and ends the script with a non-zero status; minimise it with
#   build-fuzz/fuzz/fuzz_NAME -minimize_crash=1 -max_total_time=60 FILE
# and keep it in fuzz/NAME/regressions/. The build folder can be changed with SCALINO_FUZZ_BUILD
# (CI fuzzes in its AddressSanitizer build).
set -euo pipefail
cd "$(dirname "$0")/.."

fuzzers=(decimal line_processor properties settings_import)
build=${SCALINO_FUZZ_BUILD:-build-fuzz}

if [[ $# -eq 0 ]]; then
  printf '%s\n' "${fuzzers[@]}"
  exit 0
fi
if [[ $# -lt 2 || ! " ${fuzzers[*]} " =~ " $1 " || ! "$2" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh [NAME SECONDS [libFuzzer flag]...]; names: ${fuzzers[*]}" >&2
  exit 2
fi
name=$1
seconds=$2
shift 2

if [[ ! -f $build/build.ninja ]]; then
  CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only" -DSCALINO_FUZZ=ON \
    -DSCALINO_WERROR=ON -DSCALINO_BUILD_TESTS=OFF -DSCALINO_BUILD_GUI=OFF \
    -DSCALINO_BUILD_BENCH=OFF
fi
cmake --build "$build" --target "fuzz_$name" fuzz_seeds

generated=$build/fuzz-generated
"$build/fuzz/fuzz_seeds" "$generated" >/dev/null
corpus=$build/fuzz-corpus/$name
artifacts=$build/fuzz-artifacts/$name
regressions=fuzz/$name/regressions
mkdir -p "$corpus" "$artifacts" "$regressions"

# A finding aborts; the sanitizers stop at their first report. Inputs up to 1 MiB reach the
# depth and size limits; an input that takes 25 s or 2 GiB is a finding too.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
flags=(-max_len=1048576 -timeout=25 -rss_limit_mb=2048 "-artifact_prefix=$artifacts/")
program=$build/fuzz/fuzz_$name

mapfile -t once < <(find "$regressions" "$generated/limits/$name" -type f | sort)
if [[ ${#once[@]} -gt 0 ]]; then
  echo "fuzz $name: ${#once[@]} regression and limit inputs, each once"
  if ! "$program" "${flags[@]}" "${once[@]}" >"$artifacts/once.log" 2>&1; then
    grep -v '^Running: ' "$artifacts/once.log" | tail -n 80
    echo "fuzz $name: a regression or limit input fails (full log: $artifacts/once.log)" >&2
    exit 1
  fi
fi

echo "fuzz $name: ${seconds} s on $corpus"
"$program" "${flags[@]}" -max_total_time="$seconds" -print_final_stats=1 "$@" \
  "$corpus" "$generated/seeds/$name" "$regressions"
