#!/usr/bin/env bash
# Makes the Debian package of a build with `cpack -G DEB` into a scratch folder and checks it: a
# build with the window makes "scalino" (both programs, Qt among its dependencies), one without
# it "scalino-cli" (no Qt; without X11 or FluidSynth where the build left them out). Checked are
# the name, version and control fields (each conflicts with and replaces the other, the soundfont
# is recommended where the build plays sound), that every file of a full `cmake --install` is in
# it at its place, that the programs are stripped and that lintian finds no errors (its warnings
# are printed). As root, it then installs the package with dpkg, starts the installed programs,
# removes it again and checks that its files are gone; otherwise, and where scalino or
# scalino-cli is installed already, that part is skipped (exit 77). Whatever fails, the machine
# is left as it was: the package installed here is purged.
#
#   check-packages.sh BUILD_DIR SOURCE_DIR CPACK
set -uo pipefail
[[ $# -eq 3 ]] || { echo "usage: check-packages.sh BUILD_DIR SOURCE_DIR CPACK" >&2; exit 2; }
build=$(realpath "$1")
source=$(realpath "$2")
cpack=$3
app_id=com.velmora.Scalino

scratch=$(mktemp -d)
installed_here=0
cleanup() {
  if [[ $installed_here -eq 1 ]]; then
    echo "removing the package installed by this test"
    dpkg --purge "$package" >/dev/null 2>&1 || echo "FAIL: dpkg --purge $package"
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

for tool in "$cpack" dpkg-deb dpkg-shlibdeps lintian readelf; do
  command -v "$tool" >/dev/null ||
    { echo "FAIL: $tool is missing (scripts/install-deps.sh)"; exit 1; }
done
[[ -f $build/CPackConfig.cmake ]] || { echo "FAIL: $build has no CPackConfig.cmake"; exit 1; }

version=$(sed -n 's/^project(Scalino VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
debian_version=$(sed -n '1s/^scalino (\([^)]*\)).*/\1/p' "$source/cmake/debian/changelog")
arch=$(dpkg --print-architecture)
[[ $debian_version == "$version"-* ]] ||
  { echo "FAIL: the Debian version $debian_version is not of version $version"; exit 1; }

# What the build holds decides the package.
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
gui=$(cached SCALINO_BUILD_GUI)
if [[ $gui == ON ]]; then
  package=scalino other=scalino-cli section=x11 programs=(scalino-cli scalino)
else
  package=scalino-cli other=scalino section=utils programs=(scalino-cli)
fi
package=${package:?}

# The package, made from this build as it is (cpack stages its own install of it).
out=$scratch/packages
if ! (cd "$build" && "$cpack" -G DEB -B "$out") >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack -G DEB in $build"
  exit 1
fi
deb=$out/${package}_${debian_version}_$arch.deb
made=$(find "$out" -maxdepth 1 -name '*.deb' -printf '%f\n' | sort | tr '\n' ' ')
if [[ -f $deb && $(wc -w <<<"$made") -eq 1 ]]; then
  pass "cpack made $made($(stat -c %s "$deb") bytes)"
else
  echo "FAIL: cpack made $made- expected $(basename "$deb") alone"
  exit 1
fi

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
check_field() { # field expected
  local value
  value=$(field "$1")
  if [[ $value == "$2" ]]; then pass "$package $1: $value"
  else fail "$package $1 is \"$value\", expected \"$2\""; fi
}
# The names of the packages the Depends field lists, one a line, without versions.
depends_names() { field Depends | tr ',|' '\n\n' | sed 's/(.*//; s/^ *//; s/ *$//' | grep .; }
names=$(depends_names)
check_field Package "$package"
check_field Section "$section"
check_field Version "$debian_version"
check_field Architecture "$arch"
check_field Maintainer "Velmora <support@velmora.com>"
check_field Priority optional
check_field Homepage https://scalino.velmora.com
check_field Conflicts "$other"
check_field Replaces "$other"
# The soundfont FluidSynth plays the sound with, where the build has FluidSynth.
if grep -q '^libfluidsynth' <<<"$names"; then
  check_field Recommends timgm6mb-soundfont
else
  check_field Recommends ""
fi
description=$(field Description)
if [[ $(head -1 <<<"$description") =~ ^[a-z].{10,78}$ && $(wc -l <<<"$description") -ge 3 ]]
then pass "$package Description: a synopsis and a paragraph"
else fail "$package Description is not a synopsis and a paragraph: $description"; fi
for library in libc6 libstdc++6; do
  grep -qx "$library" <<<"$names" || fail "$package does not depend on $library"
done
if [[ $gui == ON ]]; then
  for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6; do
    grep -qx "$library" <<<"$names" || fail "scalino does not depend on $library"
  done
else
  # What the build left out is not depended on.
  left_out="qt"
  [[ $(cached SCALINO_WITH_X11) == OFF ]] && left_out+="|libx11|libxtst"
  [[ $(cached SCALINO_WITH_FLUIDSYNTH) == OFF ]] && left_out+="|libfluidsynth"
  [[ $(cached SCALINO_WITH_WAYLAND) == OFF ]] && left_out+="|libwayland"
  if grep -qiE "$left_out" <<<"$names"; then
    fail "scalino-cli depends on what its build left out ($left_out): $(field Depends)"
  else
    pass "scalino-cli Depends (nothing of $left_out): $(field Depends)"
  fi
fi

# Contents: the files at their places.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "/", $6); print $6 }' | sort >"$scratch/files"
expect_files() { # path...
  for path in "$@"; do
    grep -qxF "$path" "$scratch/files" || fail "$package has no $path"
  done
}
expect_files /usr/bin/scalino-cli /usr/share/man/man1/scalino-cli.1.gz \
  /usr/share/bash-completion/completions/scalino-cli \
  /usr/share/doc/scalino/examples/scalino-cli-read.service \
  "/usr/share/doc/$package/copyright" "/usr/share/doc/$package/changelog.Debian.gz"
if [[ $gui == ON ]]; then
  icons=()
  for size in 16 24 32 48 64 128 256; do
    icons+=("/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png")
  done
  expect_files /usr/bin/scalino /usr/share/man/man1/scalino.1.gz \
    "/usr/share/applications/$app_id.desktop" "/usr/share/metainfo/$app_id.metainfo.xml" \
    "${icons[@]}" "/usr/share/icons/hicolor/scalable/apps/$app_id.svg"
fi
# Everything a full install of this build holds is packaged: an install() without a component
# of the package would be left out silently. The package compresses the manual pages.
if cmake --install "$build" --prefix "$scratch/tree" >"$scratch/install.log" 2>&1; then
  (cd "$scratch/tree" && find . ! -type d | sed 's/^\.//; s|^\(/share/man/.*\)$|\1.gz|') |
    sed 's|^|/usr|' | sort >"$scratch/tree.files"
  missing=$(comm -23 "$scratch/tree.files" "$scratch/files")
  if [[ -z $missing ]]; then
    pass "the package holds the $(wc -l <"$scratch/tree.files") files of a full install"
  else
    fail "installed but not in the package: $missing"
  fi
else
  cat "$scratch/install.log"
  fail "cmake --install $build --prefix $scratch/tree"
fi

# The programs are stripped: no symbol table, no debugging information.
dpkg-deb -x "$deb" "$scratch/unpacked"
for program in "${programs[@]}"; do
  sections=$(readelf -S -W "$scratch/unpacked/usr/bin/$program" 2>&1)
  if grep -qE '\.(symtab|debug_[a-z]+) ' <<<"$sections"; then
    fail "$program is not stripped"
  else
    pass "$program is stripped"
  fi
done

# lintian: errors fail, warnings are printed. Its status is non-zero on errors and when it
# cannot run.
report=$(lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1)
status=$?
echo "lintian:"
[[ -n $report ]] && sed 's/^/  /' <<<"$report"
if [[ $status -ne 0 ]] || grep -q '^E: ' <<<"$report"; then
  fail "lintian (status $status) reports errors"
else
  pass "lintian: no errors, $(grep -c '^W: ' <<<"$report") warnings"
fi

if [[ $failures -ne 0 ]]; then
  echo "$failures failures"
  exit 1
fi

# Installing, as the users of the package do; only as root, and only where neither package is
# installed, so that nothing of this machine is replaced.
if [[ $(id -u) -ne 0 ]]; then
  echo "SKIP: installing the package needs root"
  exit 77
fi
# dpkg's state of a package, empty or ending in not-installed when it is not there at all.
known() {
  local status
  status=$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)
  [[ -n $status && $status != *not-installed ]]
}
for name in scalino scalino-cli; do
  if known "$name"; then
    echo "SKIP: $name is installed on this machine already; not replaced"
    exit 77
  fi
done
installed_here=1
if dpkg -i "$deb" >"$scratch/dpkg.log" 2>&1; then
  pass "dpkg -i $(basename "$deb")"
else
  cat "$scratch/dpkg.log"
  fail "dpkg -i (the dependencies are in scripts/install-deps.sh)"
fi

home=$scratch/home
mkdir -p "$home/runtime"
chmod 700 "$home/runtime"
run_installed() {
  (cd "$home" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=offscreen "$@")
}
output=$(run_installed /usr/bin/scalino-cli --version 2>&1)
if [[ $? -eq 0 && $output == "scalino-cli $version" ]]; then
  pass "/usr/bin/scalino-cli --version: $output"
else
  fail "/usr/bin/scalino-cli --version: $output"
fi
output=$(run_installed /usr/bin/scalino-cli instruments 2>&1)
if [[ $? -eq 0 && $(grep -c . <<<"$output") -ge 35 && $output == *GENERIC* ]]; then
  pass "/usr/bin/scalino-cli instruments lists $(grep -c . <<<"$output") profiles"
else
  fail "/usr/bin/scalino-cli instruments: $output"
fi
installed_files=(/usr/bin/scalino-cli /usr/share/man/man1/scalino-cli.1.gz
  /usr/share/doc/scalino/examples/scalino-cli-read.service "/usr/share/doc/$package/copyright")
if [[ $gui == ON ]]; then
  output=$(run_installed /usr/bin/scalino --help 2>&1)
  if [[ $? -eq 0 && $output == *"Usage: /usr/bin/scalino "* ]]; then
    pass "/usr/bin/scalino --help"
  else
    fail "/usr/bin/scalino --help: $output"
  fi
  installed_files+=("/usr/share/applications/$app_id.desktop" /usr/bin/scalino)
fi
for path in "${installed_files[@]}"; do
  [[ -f $path ]] || fail "$path is not installed"
done

if dpkg --purge "$package" >"$scratch/dpkg.log" 2>&1; then
  installed_here=0
  pass "dpkg --purge $package"
else
  cat "$scratch/dpkg.log"
  fail "dpkg --purge $package"
fi
for path in "${installed_files[@]}" /usr/share/doc/scalino "/usr/share/doc/$package"; do
  [[ ! -e $path ]] || fail "$path is still there after removing the package"
done
! known "$package" || fail "$package is still known to dpkg after the purge"

echo "$failures failures"
[[ $failures -eq 0 ]]
