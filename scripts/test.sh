#!/usr/bin/env bash
# Installs what is missing, builds, and runs the tests.
#
#   scripts/test.sh                 every stage below, as CI runs it
#   scripts/test.sh -L unit         the main build and its tests only; arguments go to ctest
#   scripts/test.sh --stage NAME    one stage: main, small, asan, fuzz or tsan
#
# Stages, each in its own build folder, all with warnings as errors:
#   main  build/ (gcc): everything, and every test
#   small build-ci-small/ (gcc): the smallest variant, without the window, X11, the portal and
#         FluidSynth: scalino-cli and the unit and command-line tests, and scalino-cli links none
#         of them
#   asan  build-ci-asan/ (clang, AddressSanitizer and UndefinedBehaviorSanitizer, libFuzzer
#         coverage): the unit and command-line tests
#   fuzz  the fuzzers of fuzz/ built in build-ci-asan/, each for 60 s on its corpus
#   tsan  build-ci-tsan/ (clang, ThreadSanitizer): the worker and typing tests
# The sanitizer builds leave out the window and the benchmarks and build only the programs their
# tests run. Every stage runs even when an earlier one failed; the summary gives each stage's
# result and time, and the exit status is non-zero when any failed.
set -euo pipefail
cd "$(dirname "$0")/.."

# Folders of the same compiler flags share object files; paths inside the tree are hashed
# relative to it, so that clones and build folders at the same depth share too.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
# Sanitizer findings fail the test that made them.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# clang for C too: the generated Wayland protocol code gets the same sanitizer flags.
sanitizer_flags=(-G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only"
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only" -DSCALINO_WERROR=ON
  -DSCALINO_BUILD_GUI=OFF -DSCALINO_BUILD_BENCH=OFF)

# libei and libeis for the ei tests where the system lacks them (Debian 12): from Debian's archive
# into the build folder's libei/, where the tests look first. The tests skip when that fails.
fetch_libei() {
  /sbin/ldconfig -p | grep 'libeis\.so\.1 ' >/dev/null && return 0
  scripts/fetch-libei.sh "$1/libei" || echo "libei could not be fetched: the ei tests skip" >&2
}

stage_main() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCALINO_WERROR=ON >/dev/null
  scripts/build.sh
  fetch_libei build
  ctest --test-dir build --output-on-failure -j2
}

stage_small() {
  [[ -f build-ci-small/build.ninja ]] ||
    cmake -S . -B build-ci-small -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCALINO_WERROR=ON \
      -DSCALINO_BUILD_GUI=OFF -DSCALINO_BUILD_BENCH=OFF -DSCALINO_WITH_X11=OFF \
      -DSCALINO_WITH_FLUIDSYNTH=OFF -DSCALINO_WITH_PORTAL=OFF >/dev/null
  cmake --build build-ci-small --target tests_unit tests_cli scalino-cli
  # A library left out must not come back through another one.
  if ldd build-ci-small/src/cli/scalino-cli | grep -E 'libX11|libXtst|libfluidsynth|libsystemd|libQt'; then
    echo "scalino-cli of the small build links a library it was built without" >&2
    return 1
  fi
  # The headless package scalino-cli comes from this build.
  ctest --test-dir build-ci-small --output-on-failure -j2 -L '^(unit|cli|package)$'
}

configure_asan() {
  [[ -f build-ci-asan/build.ninja ]] ||
    cmake -S . -B build-ci-asan "${sanitizer_flags[@]}" -DSCALINO_FUZZ=ON >/dev/null
}

stage_asan() {
  configure_asan
  cmake --build build-ci-asan --target tests_unit tests_cli
  # Only the programs built carry their labels, so this runs exactly what was built.
  ctest --test-dir build-ci-asan --output-on-failure -j2 -L '^(unit|cli)$'
}

stage_fuzz() {
  configure_asan
  SCALINO_FUZZ_BUILD=build-ci-asan scripts/fuzz.sh all 60
}

stage_tsan() {
  [[ -f build-ci-tsan/build.ninja ]] ||
    cmake -S . -B build-ci-tsan "${sanitizer_flags[@]}" -DSCALINO_SANITIZE=thread >/dev/null
  cmake --build build-ci-tsan --target worker_tests keystroke_tests
  ctest --test-dir build-ci-tsan --output-on-failure -j2 -L '^(unit|x11)$'
}

stages=(main small asan fuzz tsan)
if [[ ${1:-} == --stage ]]; then
  [[ $# -eq 2 && " ${stages[*]} " == *" $2 "* ]] || {
    echo "usage: scripts/test.sh [--stage ${stages[*]// /|}] | [ctest arguments]" >&2
    exit 2
  }
  stages=("$2")
elif [[ $# -gt 0 ]]; then
  scripts/install-deps.sh
  scripts/build.sh
  fetch_libei build
  exec ctest --test-dir build --output-on-failure -j2 "$@"
fi

scripts/install-deps.sh
summary=()
failed=0
for stage in "${stages[@]}"; do
  echo "=== stage $stage"
  start=$SECONDS
  # Outside a condition, so that set -e holds within the stage.
  set +e
  (set -e; "stage_$stage")
  status=$?
  set -e
  if [[ $status -eq 0 ]]; then result=passed; else result=FAILED failed=1; fi
  summary+=("$(printf '%-5s %-6s %4d s' "$stage" "$result" $((SECONDS - start)))")
done
echo "=== summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
