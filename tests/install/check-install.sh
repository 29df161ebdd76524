#!/usr/bin/env bash
# Installs a build into a scratch prefix with `cmake --install` and checks the tree a user or a
# package gets: both programs start from there, outside the build and source folders, and need no
# data files beside them; the desktop entry and the AppStream metainfo pass their validators
# (desktop-file-validate, appstreamcli) without errors or warnings and name what is installed; the
# icon is there at every hicolor size, each PNG of its folder's pixel size, and as SVG.
#
#   check-install.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
[[ $# -eq 2 ]] || { echo "usage: check-install.sh BUILD_DIR SOURCE_DIR" >&2; exit 2; }
build=$(realpath "$1")
source=$(realpath "$2")
app_id=com.velmora.Scalino
sizes=(16 24 32 48 64 128 256)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

for tool in desktop-file-validate appstreamcli od; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh)"; exit 1; }
done

# The folders as configured (GNUInstallDirs), relative to the prefix.
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
[[ -f $build/CMakeCache.txt ]] || { echo "FAIL: $build is no configured build folder"; exit 1; }
# An empty entry stands for GNUInstallDirs' default, as DATADIR's does unless it is set.
bindir=$(cache_value CMAKE_INSTALL_BINDIR)
datarootdir=$(cache_value CMAKE_INSTALL_DATAROOTDIR)
datadir=$(cache_value CMAKE_INSTALL_DATADIR)
bindir=${bindir:-bin}
datadir=${datadir:-${datarootdir:-share}}
[[ $datadir == /* ]] || datadir=$prefix/$datadir
[[ $bindir == /* ]] || bindir=$prefix/$bindir
version=$(sed -n 's/^project(Scalino VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")

if ! cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log"
  echo "FAIL: cmake --install $build --prefix $prefix"
  exit 1
fi
pass "cmake --install into $prefix"

# The programs, started from a folder of their own with a home of their own, so that nothing of
# the build, the source or the user's settings is at hand.
elsewhere=$scratch/elsewhere
mkdir -p "$elsewhere/home" "$elsewhere/runtime"
chmod 700 "$elsewhere/runtime"
run_installed() {
  (cd "$elsewhere" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$elsewhere/home" \
    XDG_CONFIG_HOME="$elsewhere/home/.config" XDG_RUNTIME_DIR="$elsewhere/runtime" \
    QT_QPA_PLATFORM=offscreen "$@")
}
for program in scalino scalino-cli; do
  binary=$bindir/$program
  if [[ ! -x $binary ]]; then
    fail "$binary is not an installed program"
    continue
  fi
  output=$(run_installed "$binary" --version 2>&1)
  status=$?
  if [[ $status -eq 0 && $output == "$program $version" ]]; then
    pass "$program --version: $output"
  else
    fail "$program --version (status $status, expected \"$program $version\"): $output"
  fi
  # An installed program must not look into the build folder for its libraries.
  if readelf -d "$binary" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
    fail "$program keeps a library path into $build"
  fi
done
# The instrument profiles and their texts come from the bundles compiled into the program.
instruments=$(run_installed "$bindir/scalino-cli" instruments 2>&1)
if [[ $? -eq 0 && $(grep -c . <<<"$instruments") -ge 35 && $instruments == *GENERIC* ]]; then
  pass "scalino-cli instruments lists $(grep -c . <<<"$instruments") profiles"
else
  fail "scalino-cli instruments from $elsewhere: $instruments"
fi

# The desktop entry: valid, and naming the installed program and icon.
entry=$datadir/applications/$app_id.desktop
if [[ -f $entry ]]; then
  report=$(desktop-file-validate "$entry" 2>&1)
  status=$?
  if [[ $status -ne 0 ]] || grep -qE ': (error|warning): ' <<<"$report"; then
    fail "desktop-file-validate $entry (status $status): $report"
  else
    pass "desktop-file-validate ${report:+(hints: $report)}"
  fi
  key() { sed -n "s/^$1=//p" "$entry"; }
  # The program by the absolute path the build is configured to install it at (this install
  # goes elsewhere): KWin offers its fake input (X-KDE-Wayland-Interfaces) only to the program at
  # the path an entry's Exec starts with.
  exec_program=$(key Exec | cut -d' ' -f1)
  configured_bindir=$(cache_value CMAKE_INSTALL_BINDIR)
  configured_bindir=${configured_bindir:-bin}
  [[ $configured_bindir == /* ]] || configured_bindir=$(cache_value CMAKE_INSTALL_PREFIX)/$configured_bindir
  [[ $exec_program == "$configured_bindir/scalino" ]] ||
    fail "Exec=$(key Exec) does not start with the program's installed path $configured_bindir/scalino"
  [[ -x $bindir/${exec_program##*/} ]] || fail "Exec=$(key Exec) names no installed program"
  [[ $(key X-KDE-Wayland-Interfaces) == org_kde_kwin_fake_input ]] ||
    fail "the entry does not ask KWin for its fake input (X-KDE-Wayland-Interfaces)"
  [[ $(key Icon) == "$app_id" ]] || fail "Icon=$(key Icon) is not $app_id"
  [[ $(key Type) == Application && $(key Terminal) == false ]] ||
    fail "the entry is not a graphical application (Type, Terminal)"
else
  fail "no desktop entry at $entry"
fi

# The AppStream metainfo: valid (infos, pedantic or not, may remain), and launching that entry.
metainfo=$datadir/metainfo/$app_id.metainfo.xml
if [[ -f $metainfo ]]; then
  report=$(appstreamcli validate --no-net "$metainfo" 2>&1)
  status=$?
  if [[ $status -ne 0 ]] || grep -qE '^[EW]: ' <<<"$report"; then
    fail "appstreamcli validate --no-net $metainfo (status $status): $report"
  else
    pass "appstreamcli validate --no-net: $(tail -1 <<<"$report")"
  fi
  grep -qF "<id>$app_id</id>" "$metainfo" || fail "the metainfo's id is not $app_id"
  grep -qF "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo launches no $app_id.desktop"
  for program in scalino scalino-cli; do
    grep -qF "<binary>$program</binary>" "$metainfo" || fail "the metainfo provides no $program"
  done
  grep -qF "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
else
  fail "no metainfo at $metainfo"
fi

# The icons: a PNG per size whose header gives that size, and the drawing itself.
big_endian() { od -An -tu1 -j "$2" -N4 "$1" | awk '{ print (($1 * 256 + $2) * 256 + $3) * 256 + $4 }'; }
for size in "${sizes[@]}"; do
  icon=$datadir/icons/hicolor/${size}x${size}/apps/$app_id.png
  if [[ ! -f $icon ]]; then
    fail "no icon $icon"
    continue
  fi
  signature=$(od -An -tx1 -N8 "$icon" | tr -d ' \n')
  chunk=$(od -An -c -j12 -N4 "$icon" | tr -d ' \n')
  width=$(big_endian "$icon" 16)
  height=$(big_endian "$icon" 20)
  if [[ $signature != 89504e470d0a1a0a || $chunk != IHDR ]]; then
    fail "$icon is not a PNG"
  elif [[ $width != "$size" || $height != "$size" ]]; then
    fail "$icon is ${width}x${height}, not ${size}x${size}"
  else
    pass "icon ${size}x${size}"
  fi
done
svg=$datadir/icons/hicolor/scalable/apps/$app_id.svg
if [[ -f $svg ]] && grep -q '<svg' "$svg"; then
  pass "icon scalable"
else
  fail "no SVG icon at $svg"
fi

echo "$failures failures"
[[ $failures -eq 0 ]]
