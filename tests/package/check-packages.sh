#!/usr/bin/env bash
# Makes the Debian packages of a build with `cpack -G DEB` into a scratch folder and checks them:
# their names, versions and control fields (scalino-cli depends on no Qt library, scalino on Qt
# and on scalino-cli of its version, both recommend FluidSynth's soundfont), that every file of
# a full `cmake --install` is in exactly one of them at its place, that the binaries are stripped
# and that lintian finds no errors (its warnings are printed). As root, it then installs both with
# dpkg, starts the installed programs, removes them again and checks that their files are gone;
# otherwise, and where either package is installed already, that part is skipped (exit 77).
# Whatever fails, the machine is left as it was: the packages installed here are purged.
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
    echo "removing the packages installed by this test"
    dpkg --purge scalino scalino-cli >/dev/null 2>&1 ||
      echo "FAIL: dpkg --purge scalino scalino-cli"
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

# The packages, made from this build as it is (cpack stages its own install of it).
out=$scratch/packages
if ! (cd "$build" && "$cpack" -G DEB -B "$out") >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack -G DEB in $build"
  exit 1
fi
cli_deb=$out/scalino-cli_${debian_version}_$arch.deb
gui_deb=$out/scalino_${debian_version}_$arch.deb
made=$(find "$out" -maxdepth 1 -name '*.deb' -printf '%f\n' | sort | tr '\n' ' ')
if [[ -f $cli_deb && -f $gui_deb && $(wc -w <<<"$made") -eq 2 ]]; then
  pass "cpack made $made($(stat -c %s "$cli_deb") and $(stat -c %s "$gui_deb") bytes)"
else
  echo "FAIL: cpack made $made- expected $(basename "$cli_deb") and $(basename "$gui_deb")"
  exit 1
fi

# Control fields.
field() { dpkg-deb -f "$1" "$2"; }
check_field() { # deb field expected
  local value
  value=$(field "$1" "$2")
  if [[ $value == "$3" ]]; then pass "$(basename "$1") $2: $value"
  else fail "$(basename "$1") $2 is \"$value\", expected \"$3\""; fi
}
# The names of the packages a Depends field lists, one a line, without versions.
depends_names() { field "$1" Depends | tr ',|' '\n\n' | sed 's/(.*//; s/^ *//; s/ *$//' | grep .; }
for deb in "$cli_deb" "$gui_deb"; do
  check_field "$deb" Version "$debian_version"
  check_field "$deb" Architecture "$arch"
  check_field "$deb" Maintainer "Velmora <support@velmora.com>"
  check_field "$deb" Priority optional
  check_field "$deb" Homepage https://scalino.velmora.com
  # The soundfont FluidSynth plays the sound with, where the build has FluidSynth.
  if depends_names "$deb" | grep -q '^libfluidsynth'; then
    check_field "$deb" Recommends timgm6mb-soundfont
  else
    check_field "$deb" Recommends ""
  fi
  description=$(field "$deb" Description)
  if [[ $(head -1 <<<"$description") =~ ^[a-z].{10,78}$ && $(wc -l <<<"$description") -ge 3 ]]
  then pass "$(basename "$deb") Description: a synopsis and a paragraph"
  else fail "$(basename "$deb") Description is not a synopsis and a paragraph: $description"; fi
  names=$(depends_names "$deb")
  for library in libc6 libstdc++6; do
    grep -qx "$library" <<<"$names" || fail "$(basename "$deb") does not depend on $library"
  done
done
check_field "$cli_deb" Package scalino-cli
check_field "$cli_deb" Section utils
check_field "$gui_deb" Package scalino
check_field "$gui_deb" Section x11
cli_names=$(depends_names "$cli_deb")
gui_names=$(depends_names "$gui_deb")
if grep -qi qt <<<"$cli_names"; then
  fail "scalino-cli depends on Qt: $(field "$cli_deb" Depends)"
else
  pass "scalino-cli Depends (no Qt): $(field "$cli_deb" Depends)"
fi
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6; do
  grep -qx "$library" <<<"$gui_names" || fail "scalino does not depend on $library"
done
if field "$gui_deb" Depends | tr ',' '\n' | grep -qx " *scalino-cli (= $debian_version)"; then
  pass "scalino Depends: $(field "$gui_deb" Depends)"
else
  fail "scalino does not depend on scalino-cli (= $debian_version): $(field "$gui_deb" Depends)"
fi

# Contents: the files at their places, each in one package.
contents() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { sub(/^\.\//, "/", $6); print $6 }' | sort; }
contents "$cli_deb" >"$scratch/cli.files"
contents "$gui_deb" >"$scratch/gui.files"
expect_files() { # list-file name path...
  local list=$1 name=$2
  shift 2
  for path in "$@"; do
    grep -qxF "$path" "$list" || fail "$name has no $path"
  done
}
expect_files "$scratch/cli.files" scalino-cli /usr/bin/scalino-cli \
  /usr/share/man/man1/scalino-cli.1.gz /usr/share/bash-completion/completions/scalino-cli \
  /usr/share/doc/scalino/examples/scalino-cli-read.service \
  /usr/share/doc/scalino-cli/copyright /usr/share/doc/scalino-cli/changelog.Debian.gz
icons=()
for size in 16 24 32 48 64 128 256; do
  icons+=("/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png")
done
expect_files "$scratch/gui.files" scalino /usr/bin/scalino /usr/share/man/man1/scalino.1.gz \
  "/usr/share/applications/$app_id.desktop" "/usr/share/metainfo/$app_id.metainfo.xml" \
  "${icons[@]}" "/usr/share/icons/hicolor/scalable/apps/$app_id.svg" \
  /usr/share/doc/scalino/copyright /usr/share/doc/scalino/changelog.Debian.gz
both=$(comm -12 "$scratch/cli.files" "$scratch/gui.files")
[[ -z $both ]] || fail "files in both packages: $both"
# Everything a full install of this build holds is packaged: an install() without a component
# of a package would be left out silently. The packages compress the manual pages.
if cmake --install "$build" --prefix "$scratch/tree" >"$scratch/install.log" 2>&1; then
  (cd "$scratch/tree" && find . ! -type d | sed 's/^\.//; s|^\(/share/man/.*\)$|\1.gz|') |
    sed 's|^|/usr|' | sort >"$scratch/tree.files"
  missing=$(sort -u "$scratch/cli.files" "$scratch/gui.files" | comm -23 "$scratch/tree.files" -)
  if [[ -z $missing ]]; then
    pass "the packages hold the $(wc -l <"$scratch/tree.files") files of a full install"
  else
    fail "installed but in no package: $missing"
  fi
else
  cat "$scratch/install.log"
  fail "cmake --install $build --prefix $scratch/tree"
fi
pass "scalino-cli holds $(wc -l <"$scratch/cli.files") files," \
  "scalino $(wc -l <"$scratch/gui.files")"

# The programs are stripped: no symbol table, no debugging information.
for deb in "$cli_deb" "$gui_deb"; do
  dpkg-deb -x "$deb" "$scratch/unpacked"
done
for program in scalino-cli scalino; do
  sections=$(readelf -S -W "$scratch/unpacked/usr/bin/$program" 2>&1)
  if grep -qE '\.(symtab|debug_[a-z]+) ' <<<"$sections"; then
    fail "$program is not stripped"
  else
    pass "$program is stripped"
  fi
done

# lintian: errors fail, warnings are printed. Its status is non-zero on errors and when it
# cannot run.
report=$(lintian --fail-on error --tag-display-limit 0 "$cli_deb" "$gui_deb" 2>&1)
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

# Installing, as the users of the packages do; only as root, and only where neither package is
# installed, so that nothing of this machine is replaced.
if [[ $(id -u) -ne 0 ]]; then
  echo "SKIP: installing the packages needs root"
  exit 77
fi
# dpkg's state of a package, empty or ending in not-installed when it is not there at all.
known() {
  local status
  status=$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)
  [[ -n $status && $status != *not-installed ]]
}
for package in scalino scalino-cli; do
  if known "$package"; then
    echo "SKIP: $package is installed on this machine already; not replaced"
    exit 77
  fi
done
installed_here=1
if dpkg -i "$cli_deb" "$gui_deb" >"$scratch/dpkg.log" 2>&1; then
  pass "dpkg -i $(basename "$cli_deb") $(basename "$gui_deb")"
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
output=$(run_installed /usr/bin/scalino --help 2>&1)
if [[ $? -eq 0 && $output == *"Usage: /usr/bin/scalino "* ]]; then
  pass "/usr/bin/scalino --help"
else
  fail "/usr/bin/scalino --help: $output"
fi
installed_files=("/usr/share/applications/$app_id.desktop" /usr/bin/scalino /usr/bin/scalino-cli
  /usr/share/man/man1/scalino-cli.1.gz /usr/share/doc/scalino/examples/scalino-cli-read.service)
for path in "${installed_files[@]}"; do
  [[ -f $path ]] || fail "$path is not installed"
done

if dpkg --purge scalino scalino-cli >"$scratch/dpkg.log" 2>&1; then
  installed_here=0
  pass "dpkg --purge scalino scalino-cli"
else
  cat "$scratch/dpkg.log"
  fail "dpkg --purge scalino scalino-cli"
fi
for path in "${installed_files[@]}" /usr/share/doc/scalino-cli/copyright /usr/share/doc/scalino; do
  [[ ! -e $path ]] || fail "$path is still there after removing the packages"
done
for package in scalino scalino-cli; do
  ! known "$package" || fail "$package is still known to dpkg after the purge"
done

echo "$failures failures"
[[ $failures -eq 0 ]]
