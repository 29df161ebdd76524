#!/usr/bin/env bash
# Fetches libei and libeis (the client and server of emulated input) from Debian's archive into a
# folder, for the EIS keyboard's tests on a distribution without them (Debian 12); Debian 13 and
# Ubuntu 24.04 have them as packages (scripts/install-deps.sh installs them there).
#
#   scripts/fetch-libei.sh FOLDER
#
# Downloads the current libei1 and libeis1 of Debian trixie, as its package list names them,
# checks them against the SHA256 sums listed there, keeps them in FOLDER/debs and unpacks their
# libraries into FOLDER/lib (libei.so.1, libeis.so.1), which the tests load. Nothing is
# installed and the system's package sources are left as they are. Does nothing when FOLDER/lib
# has both. Exits non-zero when something cannot be fetched: the tests then skip.
set -euo pipefail

[[ $# -eq 1 ]] || { echo "usage: scripts/fetch-libei.sh FOLDER" >&2; exit 2; }
folder=$1
archive=http://deb.debian.org/debian
packages=(libei1 libeis1)

if [[ -e $folder/lib/libei.so.1 && -e $folder/lib/libeis.so.1 ]]; then exit 0; fi
mkdir -p "$folder/debs"
arch=$(dpkg --print-architecture)

# Package, file name in the archive and SHA256 of each, from the list.
list=$(curl -fsSL --retry 2 --max-time 120 "$archive/dists/trixie/main/binary-$arch/Packages.xz" |
  xz -dc | awk -v wanted=" ${packages[*]} " '
    /^Package: / { name = $2 }
    /^Filename: / { file = $2 }
    /^SHA256: / { sum = $2 }
    /^$/ {
      if (index(wanted, " " name " ") && file != "") print name, file, sum
      name = file = sum = ""
    }')
[[ $(wc -l <<<"$list") -eq ${#packages[@]} ]] || {
  echo "fetch-libei: Debian's package list names not all of ${packages[*]}" >&2
  exit 1
}

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
while read -r name file sum; do
  deb=$folder/debs/$(basename "$file")
  if ! echo "$sum  $deb" | sha256sum -c --status 2>/dev/null; then
    curl -fsSL --retry 2 --max-time 120 -o "$deb.part" "$archive/$file"
    echo "$sum  $deb.part" | sha256sum -c --status || {
      rm -f "$deb.part"
      echo "fetch-libei: $file does not have the SHA256 the package list gives" >&2
      exit 1
    }
    mv "$deb.part" "$deb"
  fi
  dpkg-deb -x "$deb" "$unpacked"
  echo "fetch-libei: $name from $(basename "$file")"
done <<<"$list"

mkdir -p "$folder/lib"
cp -L "$unpacked"/usr/lib/*/libei.so.1 "$unpacked"/usr/lib/*/libeis.so.1 "$folder/lib/"
