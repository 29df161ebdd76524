#!/usr/bin/env bash
# Builds (incrementally) and runs the libFuzzer harnesses of fuzz/ on their corpora.
#
#   scripts/fuzz.sh                      lists the fuzzers
#   scripts/fuzz.sh NAME SECONDS [FLAG]  runs fuzzer NAME for SECONDS; FLAGs go to libFuzzer
#                                        (for example -jobs=1 or -runs=10000000)
#   scripts/fuzz.sh all SECONDS          runs every fuzzer for SECONDS, one per core at a time,
#                                        each with its log in build-fuzz/fuzz-logs/ (what CI does)
#
# A session first runs every input of fuzz/NAME/regressions and the generated inputs at the
# limits once, then fuzzes the corpus (build-fuzz/fuzz-corpus/NAME, kept between sessions) seeded
# from the project's samples and the regressions. A finding is written to
# build-fuzz/fuzz-artifacts/NAME/ and ends the script with a non-zero status; minimise it with
#   build-fuzz/fuzz/fuzz_NAME -minimize_crash=1 -max_total_time=60 FILE
# and keep it in fuzz/NAME/regressions/. SCALINO_FUZZ_BUILD names another build folder (CI
# fuzzes in its AddressSanitizer build).
set -euo pipefail
cd "$(dirname "$0")/.."

fuzzers=(decimal line_processor properties settings_import)
build=${SCALINO_FUZZ_BUILD:-build-fuzz}
generated=$build/fuzz-generated
# Object files are shared with other build folders of the same flags (scripts/test.sh).
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
# A finding aborts; the sanitizers stop at their first report.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

usage() {
  echo "usage: scripts/fuzz.sh [NAME|all SECONDS [libFuzzer flag]...]; names: ${fuzzers[*]}" >&2
  exit 2
}

build_fuzzers() {
  if [[ ! -f $build/build.ninja ]]; then
    CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only" -DSCALINO_FUZZ=ON \
      -DSCALINO_WERROR=ON -DSCALINO_BUILD_TESTS=OFF -DSCALINO_BUILD_GUI=OFF \
      -DSCALINO_BUILD_BENCH=OFF
  fi
  cmake --build "$build" --target fuzz_seeds "${@/#/fuzz_}"
  "$build/fuzz/fuzz_seeds" "$generated" >/dev/null
}

# Runs one fuzzer: its regression and limit inputs once, then SECONDS of fuzzing.
run_fuzzer() {
  local name=$1 seconds=$2
  shift 2
  local corpus=$build/fuzz-corpus/$name artifacts=$build/fuzz-artifacts/$name
  local regressions=fuzz/$name/regressions program=$build/fuzz/fuzz_$name
  mkdir -p "$corpus" "$artifacts"
  # Inputs up to 1 MiB reach the depth and size limits; an input that takes 25 s or 2 GiB is a
  # finding too.
  local flags=(-max_len=1048576 -timeout=25 -rss_limit_mb=2048 "-artifact_prefix=$artifacts/")

  local once=()
  mapfile -t once < <(find "$regressions" "$generated/limits/$name" -type f 2>/dev/null | sort)
  if [[ ${#once[@]} -gt 0 ]]; then
    echo "fuzz $name: ${#once[@]} regression and limit inputs, each once"
    if ! "$program" "${flags[@]}" "${once[@]}" >"$artifacts/once.log" 2>&1; then
      grep -v '^Running: ' "$artifacts/once.log" | tail -n 80
      echo "fuzz $name: a regression or limit input fails (log: $artifacts/once.log)" >&2
      return 1
    fi
  fi

  echo "fuzz $name: ${seconds} s on $corpus"
  local seeds=("$generated/seeds/$name")
  [[ -d $regressions ]] && seeds+=("$regressions")
  "$program" "${flags[@]}" -max_total_time="$seconds" -print_final_stats=1 "$@" \
    "$corpus" "${seeds[@]}"
}

# Every fuzzer for SECONDS, as many at a time as there are cores; a summary line each.
run_all() {
  local seconds=$1 logs=$build/fuzz-logs parallel
  parallel=$(nproc)
  mkdir -p "$logs"
  local pids=() names=() failed=()
  for name in "${fuzzers[@]}"; do
    run_fuzzer "$name" "$seconds" >"$logs/$name.log" 2>&1 &
    pids+=($!)
    names+=("$name")
    if [[ ${#pids[@]} -ge $parallel ]]; then
      wait "${pids[0]}" || failed+=("${names[0]}")
      pids=("${pids[@]:1}")
      names=("${names[@]:1}")
    fi
  done
  for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || failed+=("${names[$i]}")
  done
  for name in "${fuzzers[@]}"; do
    local runs speed
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$name.log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$logs/$name.log")
    echo "fuzz $name: ${runs:-0} executions in ${seconds} s (${speed:-0}/s)"
  done
  for name in "${failed[@]}"; do
    echo "=== fuzz $name found something (log: $logs/$name.log):"
    grep -v '^Running: \|^#[0-9]' "$logs/$name.log" | tail -n 60
  done
  [[ ${#failed[@]} -eq 0 ]]
}

if [[ $# -eq 0 ]]; then
  printf '%s\n' "${fuzzers[@]}"
  exit 0
fi
[[ $# -ge 2 && "$2" =~ ^[0-9]+$ ]] || usage
if [[ $1 == all ]]; then
  [[ $# -eq 2 ]] || usage
  build_fuzzers "${fuzzers[@]}"
  run_all "$2"
else
  [[ " ${fuzzers[*]} " == *" $1 "* ]] || usage
  build_fuzzers "$1"
  run_fuzzer "$@"
fi
