#!/bin/bash
# Makes the release files in dist/ from the built programs:
#   TrevnaConf-<version>-setup.exe     installer (NSIS)
#   TrevnaConf-<version>-portable.zip  the same files for a laptop where nothing may be installed
#   trevna-tools_<version>_amd64.deb   the optimised Linux trevnactl and trevna-cardsim
#   trevna-cards-<version>.tar.gz      the Ansible collection trevna.cards (ansible-galaxy collection install)
# Usage: scripts/dist.sh WINDOWS_BUILD TOOLS_BUILD ARTIFACTS OUT_DIR
# The file dates are the last commit's, so two runs on one commit give the same files.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
win="$1" tools="$2" artifacts="$3" out="$4"
version="$(sed -n 's/^project(TrevnaConf VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
[ -n "$version" ] || { echo "dist: no version in CMakeLists.txt" >&2; exit 1; }
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}"
stamp="@$SOURCE_DATE_EPOCH"
for f in "$win/TrevnaConf.exe" "$win/trevnactl.exe" "$tools/trevnactl" "$tools/trevna-cardsim"; do
  [ -x "$f" ] || { echo "dist: $f is missing (build it first)" >&2; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# --- the Windows files -------------------------------------------------------------------
stage="$work/TrevnaConf"
mkdir -p "$stage"
"$root/scripts/manual.sh" "$version" "$artifacts" "$stage/Help.pdf"
for exe in TrevnaConf.exe trevnactl.exe; do
  x86_64-w64-mingw32-strip -o "$stage/$exe" "$win/$exe"
done
touch -d "$stamp" "$stage"/*

rm -f "$out/TrevnaConf-$version-portable.zip"
(cd "$work" && TZ=UTC zip -q -X -9 "$out/TrevnaConf-$version-portable.zip" \
  TrevnaConf/Help.pdf TrevnaConf/TrevnaConf.exe TrevnaConf/trevnactl.exe)

# The installer's icon is the program's own when the build made one.
icon="$win/generated/artwork/trevnaconf.ico"
[ -f "$icon" ] || icon="/usr/share/nsis/Contrib/Graphics/Icons/modern-install.ico"
cp "$icon" "$stage/setup.ico"
makensis -V2 -NOCD -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$out/TrevnaConf-$version-setup.exe" \
  "$root/packaging/windows/trevnaconf.nsi" >"$work/makensis.log" || { cat "$work/makensis.log" >&2; exit 1; }

# --- the Debian package of the Linux tools --------------------------------------------------
pkg="$work/deb"
mkdir -p "$pkg/DEBIAN" "$pkg/usr/bin" "$pkg/usr/share/man/man1" "$pkg/usr/share/doc/trevna-tools"
install -m 755 -s "$tools/trevnactl" "$tools/trevna-cardsim" "$pkg/usr/bin/"
help2man --no-info --no-discard-stderr --version-string="$version" --section=1 \
  --name="skrypty i obsługa wielu kart detekcji Trevna-2.2" "$pkg/usr/bin/trevnactl" >"$pkg/usr/share/man/man1/trevnactl.1"
help2man --no-info --no-discard-stderr --version-string="$version" --section=1 \
  --name="symulator kart detekcji Trevna-2.2 do testów i szkoleń" "$pkg/usr/bin/trevna-cardsim" \
  >"$pkg/usr/share/man/man1/trevna-cardsim.1"
gzip -9n "$pkg/usr/share/man/man1/"*.1
cat >"$pkg/usr/share/doc/trevna-tools/copyright" <<TEXT
trevna-tools $version: trevnactl and trevna-cardsim, the Linux command-line tools of TrevnaConf.
TEXT
# Dependencies: the package of every shared library the programs load, at least the installed version.
depends="$(for lib in $(objdump -p "$pkg/usr/bin/trevnactl" "$pkg/usr/bin/trevna-cardsim" | awk '/NEEDED/ {print $2}' | sort -u); do
  path="$(ldconfig -p | awk -v l="$lib" '$1 == l && /x86-64/ {print $NF; exit}')"
  [ -n "$path" ] || { echo "dist: $lib not found" >&2; exit 1; }
  pkgname="$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -1 | cut -d: -f1)"
  [ -n "$pkgname" ] || pkgname="$(dpkg -S "$path" | head -1 | cut -d: -f1)"
  echo "$pkgname (>= $(dpkg-query -W -f='${Version}' "$pkgname" | sed 's/-[^-]*$//'))"
done | sort -u | paste -sd, | sed 's/,/, /g')"
cat >"$pkg/DEBIAN/control" <<TEXT
Package: trevna-tools
Version: $version
Architecture: amd64
Maintainer: TrevnaConf <trevna@trevna.example>
Section: net
Priority: optional
Depends: $depends
Installed-Size: $(du -sk "$pkg/usr" | cut -f1)
Description: command-line tools for Trevna-2.2 video detection cards
 trevnactl programs, inspects and services Trevna-2.2 detection cards from scripts,
 one card or a fleet at a time; trevna-cardsim simulates cards (SSH, announcements,
 live stream, archive) for tests and training.
TEXT
find "$pkg" -exec touch -h -d "$stamp" {} +
dpkg-deb --root-owner-group -Zxz --build "$pkg" "$out/trevna-tools_${version}_amd64.deb" >/dev/null

# --- the Ansible collection ----------------------------------------------------------------
# ansible-galaxy builds it; the tarball is then packed again with the commit's date and a fixed
# order and owner, so two runs give the same bytes (the file list and checksums inside stay
# ansible-galaxy's).
collection="$root/ansible/ansible_collections/trevna/cards"
collection_version="$(sed -n 's/^version: *//p' "$collection/galaxy.yml")"
[ "$collection_version" = "$version" ] ||
  { echo "dist: the collection's galaxy.yml has version $collection_version, the project $version" >&2; exit 1; }
tarball="trevna-cards-$version.tar.gz"
ansible-galaxy collection build "$collection" --output-path "$work/galaxy" >"$work/galaxy.log" 2>&1 ||
  { cat "$work/galaxy.log" >&2; exit 1; }
mkdir -p "$work/collection"
tar -xzf "$work/galaxy/$tarball" -C "$work/collection"
find "$work/collection" -exec touch -h -d "$stamp" {} +
(cd "$work/collection" &&
  tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="$stamp" -cf - MANIFEST.json FILES.json \
    $(ls -A | grep -v -x -e MANIFEST.json -e FILES.json)) | gzip -9n >"$out/$tarball"
ls -l "$out"
