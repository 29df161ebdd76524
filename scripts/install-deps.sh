#!/usr/bin/env bash
# Installs the Debian packages Scalino needs; does nothing when all are there.
#
#   scripts/install-deps.sh           everything: build, run and test (scripts/test.sh)
#   scripts/install-deps.sh build     build and run the two programs (scripts/run.sh)
#   scripts/install-deps.sh package   build the Debian packages (scripts/package.sh)
#   scripts/install-deps.sh runtime   run programs built elsewhere
set -euo pipefail

# What scalino-cli and scalino need to run.
runtime=(
  libstdc++6                         # the C++ library
  libpcre2-8-0                       # regular expressions (with JIT)
  libgmp10 libgmpxx4ldbl             # exact decimals (the build links GMP's C++ part too)
  libudev1                           # serial port discovery
  libpugixml1v5                      # settings export and import documents
  libx11-6 libxtst6                  # keystrokes through XTest
  libwayland-client0                 # keystrokes through the Wayland virtual keyboard, KWin
  libsystemd0                        # keystrokes through the remote-desktop portal (sd-bus)
  libxkbcommon0 libxkbcommon-x11-0 libxcb-xkb1  # keystrokes on the desktop's own layout
  xkb-data libx11-data               # the system's layouts and compose tables
  libfluidsynth3 timgm6mb-soundfont  # sound: synthesiser and General MIDI soundfont
  libqt6widgets6 libqt6network6      # the desktop window (its X11 platform comes with Qt Gui)
  qt6-qpa-plugins                    # Qt's further platforms, which Qt Gui recommends
  fonts-dejavu-core                  # a font for the window where the system has none
  ca-certificates                    # the window's update check over HTTPS
)

# What building the two programs needs, besides the above.
build=(
  cmake ninja-build g++ pkg-config   # toolchain
  ccache                             # compiler cache shared by the build folders
  libpcre2-dev                       # regular expressions
  libgmp-dev                         # exact decimals
  libudev-dev                        # serial port discovery
  libpugixml-dev                     # settings export and import documents
  libx11-dev libxtst-dev             # keystrokes through XTest
  libwayland-dev libwayland-bin      # the Wayland virtual keyboard (wayland-scanner)
  plasma-wayland-protocols           # KWin's fake-input protocol (fake-input.xml)
  libsystemd-dev                     # the remote-desktop portal (sd-bus)
  libxkbcommon-dev libxkbcommon-x11-dev libxcb-xkb-dev  # keystrokes on the desktop's own layout
  libfluidsynth-dev                  # sound
  qt6-base-dev                       # the desktop window (Widgets, Network; QtTest for its tests)
)

# What making and checking the Debian packages needs, besides the build (cpack -G DEB writes them
# itself, without fakeroot).
package=(
  dpkg-dev                           # dpkg-shlibdeps: the packages' library dependencies
  lintian                            # checks the packages
)

# What the tests, benchmarks and fuzzers need, besides the above.
tests=(
  clang libclang-rt-dev llvm         # sanitizer builds and fuzzers (libFuzzer, llvm-symbolizer)
  libgtest-dev                       # unit tests
  libbenchmark-dev                   # benchmarks in bench/
  xvfb x11-xkb-utils xkb-data libx11-data  # tests: X server, keyboard layouts, compose tables
  trayer                             # tests: a system tray for the window's tray icon
  sway wev                           # tests: a headless Wayland compositor and a client in it
  dbus-daemon python3-dbus python3-gi  # tests: a private session bus and a mock portal on it
  locales                            # tests: a UTF-8 locale for the X input method
  groff-base man-db                  # tests: the manual pages format without warnings
  desktop-file-utils appstream       # install test: desktop-file-validate, appstreamcli validate
  procps                             # README test: pkill sends Ctrl+C to a read, ends the rest
  curl xz-utils                      # ei tests: scripts/fetch-libei.sh where the system lacks libei
)
# ei tests: libei and an EIS server of libeis, where the distribution has them (Debian 13, Ubuntu
# 24.04); elsewhere scripts/test.sh fetches them into the build tree (scripts/fetch-libei.sh).
if apt-cache show libeis1 >/dev/null 2>&1; then
  tests+=(libei1 libeis1)
fi

usage="usage: scripts/install-deps.sh [runtime|build|package|all]"
[[ $# -le 1 ]] || { echo "$usage" >&2; exit 2; }
case "${1:-all}" in
  runtime) packages=("${runtime[@]}") ;;
  build) packages=("${runtime[@]}" "${build[@]}") ;;
  package) packages=("${runtime[@]}" "${build[@]}" "${package[@]}") ;;
  all) packages=("${runtime[@]}" "${build[@]}" "${package[@]}" "${tests[@]}") ;;
  *) echo "$usage" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
