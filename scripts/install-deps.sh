#!/usr/bin/env bash
# Installs the Debian packages Scalino needs to build and test; does nothing when all are there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config   # toolchain
  ccache                             # compiler cache shared by the build folders
  clang libclang-rt-dev llvm         # sanitizer builds and fuzzers (libFuzzer, llvm-symbolizer)
  libpcre2-dev                       # regular expressions (with JIT)
  libgmp-dev                         # exact decimals
  libgtest-dev                       # unit tests
  libbenchmark-dev                   # benchmarks in bench/
  libudev-dev                        # serial port discovery
  libpugixml-dev                     # settings export and import documents
  libx11-dev libxtst-dev             # keystrokes through XTest
  libfluidsynth-dev timgm6mb-soundfont  # sound: synthesiser and General MIDI soundfont
  qt6-base-dev qt6-qpa-plugins       # the desktop window (Widgets, Network; QtTest for its tests)
  fonts-dejavu-core                  # a font for the window where the system has none
  xvfb x11-xkb-utils xkb-data libx11-data  # tests: X server, keyboard layouts, compose tables
  trayer                             # tests: a system tray for the window's tray icon
  locales                            # tests: a UTF-8 locale for the X input method
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
