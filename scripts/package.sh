#!/usr/bin/env bash
# Builds the Debian packages scalino-cli and scalino in build-package/ (Release, with Debian's
# hardening flags from dpkg-buildflags, without tests and benchmarks), prints their paths and
# checks them with lintian. Installs what is missing first (scripts/install-deps.sh package).
# The exit status is non-zero when a step fails or lintian reports an error; its warnings are
# listed.
#
#   scripts/package.sh
#   sudo apt install ./build-package/scalino_*.deb ./build-package/scalino-cli_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

# Folders of the same compiler flags share object files (as in scripts/test.sh).
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1

scripts/install-deps.sh package

build=build-package
# The flags Debian builds its packages with, all hardening included: fortified functions, stack
# protector, read-only relocations bound at start. Taken at configure time; a configured folder
# keeps them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
if [[ ! -f $build/build.ninja ]]; then
  CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DSCALINO_BUILD_TESTS=OFF -DSCALINO_BUILD_BENCH=OFF -DSCALINO_BUILD_GUI=ON
fi
cmake --build "$build"

# Only this run's packages are left in the folder, so that the paths printed are these.
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)
mapfile -t packages < <(find "$build" -maxdepth 1 -name '*.deb' | sort)
if [[ ${#packages[@]} -ne 2 ]]; then
  echo "FAIL: cpack made ${#packages[@]} packages in $build, not 2 (scalino, scalino-cli)" >&2
  exit 1
fi
echo "Packages:"
for package in "${packages[@]}"; do
  printf '  %s (%s bytes)\n' "$(realpath "$package")" "$(stat -c %s "$package")"
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
