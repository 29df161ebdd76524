#!/usr/bin/env bash
# Builds the two Debian packages, each in a folder of its own (Release, with Debian's hardening
# flags from dpkg-buildflags, without tests and benchmarks), prints their paths and checks them
# with lintian. Installs what is missing first (scripts/install-deps.sh package).
#   build-package/      scalino: the window and scalino-cli, for desktops
#   build-package-cli/  scalino-cli alone, without Qt, X11 and FluidSynth, for servers
# The two conflict: a computer has one of them. The exit status is non-zero when a step fails
# or lintian reports an error; its warnings are listed.
#
#   scripts/package.sh
#   sudo apt install ./build-package/scalino_*.deb         # a desktop
#   sudo apt install ./build-package-cli/scalino-cli_*.deb # a server
set -euo pipefail
cd "$(dirname "$0")/.."

# Folders of the same compiler flags share object files (as in scripts/test.sh).
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1

scripts/install-deps.sh package

# The flags Debian builds its packages with, all hardening included: fortified functions, stack
# protector, read-only relocations bound at start. Taken at configure time; a configured folder
# keeps them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
packages=()
package() { # folder, then options
  local build=$1
  shift
  if [[ ! -f $build/build.ninja ]]; then
    CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
      LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
      cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DSCALINO_BUILD_TESTS=OFF -DSCALINO_BUILD_BENCH=OFF "$@"
  fi
  cmake --build "$build"
  # Only this run's package is left in the folder, so that the path printed is this one's.
  rm -f "$build"/*.deb
  (cd "$build" && cpack -G DEB)
  local made
  mapfile -t made < <(find "$build" -maxdepth 1 -name '*.deb')
  if [[ ${#made[@]} -ne 1 ]]; then
    echo "FAIL: cpack made ${#made[@]} packages in $build, not 1" >&2
    exit 1
  fi
  packages+=("${made[0]}")
}
package build-package -DSCALINO_BUILD_GUI=ON
package build-package-cli -DSCALINO_BUILD_GUI=OFF -DSCALINO_WITH_X11=OFF \
  -DSCALINO_WITH_FLUIDSYNTH=OFF

echo "Packages:"
for deb in "${packages[@]}"; do
  printf '  %s (%s bytes)\n' "$(realpath "$deb")" "$(stat -c %s "$deb")"
done

# lintian exits non-zero on errors (--fail-on error) and when it cannot run; warnings are printed.
echo "lintian:"
status=0
lintian --fail-on error --tag-display-limit 0 "${packages[@]}" || status=$?
if [[ $status -ne 0 ]]; then
  echo "FAIL: lintian reports errors or could not run (status $status)" >&2
  exit 1
fi
echo "lintian: no errors"
