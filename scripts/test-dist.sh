#!/bin/bash
# Tests of the release files: makes them twice (same sizes and listings), installs the installer
# silently into a fresh Wine prefix (files, Start-menu links, uninstall entry, the program
# starts, trevnactl.exe selftest, an upgrade over itself, the uninstaller removes everything),
# checks the manual's pages, pictures and chapter titles, unpacks the Debian package into a
# scratch root and runs its programs, and installs the Ansible collection with ansible-galaxy. Needs an X display (xvfb-run) for the program's window.
# Usage: scripts/test-dist.sh WINDOWS_BUILD TOOLS_BUILD ARTIFACTS JUNIT_XML
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
win="$1" tools="$2" artifacts="$3" junit="$4"
version="$(sed -n 's/^project(TrevnaConf VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
work="$(mktemp -d)"
cleanup() {
  WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cases=()
fail() { echo "test-dist: $*" >&2; status=1; }
record() {  # name: appends the case with the status of its checks
  if [ "$status" -eq 0 ]; then cases+=("  <testcase name=\"$1\" status=\"run\"/>"); echo "dist $1: ok"
  else cases+=("  <testcase name=\"$1\" status=\"fail\"><failure/></testcase>"); echo "dist $1: FAILED"; fi
}
listing() {  # the names and sizes of a release folder's files and of what they hold
  (cd "$1" && for f in *; do echo "$f $(stat -c %s "$f")"; done
   unzip -Z1 ./*.zip; dpkg-deb -c ./*.deb | awk '{print $3, $6}')
}

# --- made twice, the same files ----------------------------------------------------------
status=0
"$root/scripts/dist.sh" "$win" "$tools" "$artifacts" "$work/a" >/dev/null || fail "dist.sh failed"
"$root/scripts/dist.sh" "$win" "$tools" "$artifacts" "$work/b" >/dev/null || fail "dist.sh failed the second time"
for f in "TrevnaConf-$version-setup.exe" "TrevnaConf-$version-portable.zip" "trevna-tools_${version}_amd64.deb" \
         "trevna-cards-$version.tar.gz"; do
  [ -s "$work/a/$f" ] || fail "$f was not made"
done
if [ "$status" -eq 0 ]; then
  diff <(listing "$work/a") <(listing "$work/b") || fail "two runs gave different files"
  cmp -s "$work/a/TrevnaConf-$version-portable.zip" "$work/b/TrevnaConf-$version-portable.zip" ||
    fail "the portable zip differs between two runs"
  cmp -s "$work/a/trevna-cards-$version.tar.gz" "$work/b/trevna-cards-$version.tar.gz" ||
    fail "the collection tarball differs between two runs"
fi
record dist_reproducible
[ -s "$work/a/TrevnaConf-$version-setup.exe" ] || { printf '%s\n' "<testsuite name=\"dist\">" "${cases[@]}" "</testsuite>" >"$junit"; exit 1; }

# --- the manual --------------------------------------------------------------------------
status=0
unzip -q "$work/a/TrevnaConf-$version-portable.zip" -d "$work/zip"
pdf="$work/zip/TrevnaConf/Help.pdf"
pages="$(pdfinfo "$pdf" 2>/dev/null | awk '/^Pages:/ {print $2}')"
pictures="$(pdfimages -list "$pdf" 2>/dev/null | tail -n +3 | wc -l)"
expected_pictures="$(grep -c '^SHOT_' "$root/docs/manual/screenshots.txt")"
[ "${pages:-0}" -ge 12 ] || fail "the manual has ${pages:-0} pages, expected at least 12"
[ "$pictures" -ge "$expected_pictures" ] || fail "the manual has $pictures pictures, expected $expected_pictures"
text="$(pdftotext -enc UTF-8 "$pdf" - 2>/dev/null)"
while IFS= read -r title; do
  grep -qF "$title" <<<"$text" || fail "the manual lacks the chapter \"$title\""
done < <(sed -n 's/^# //p' "$root/docs/manual/help.md")
record manual_pdf

# --- the Debian package ------------------------------------------------------------------
status=0
deb="$work/a/trevna-tools_${version}_amd64.deb"
dpkg-deb -x "$deb" "$work/debroot" || fail "dpkg-deb -x failed"
"$work/debroot/usr/bin/trevnactl" --version | grep -qF "$version" || fail "trevnactl --version does not print $version"
"$work/debroot/usr/bin/trevna-cardsim" --help | grep -q -- "--address" || fail "trevna-cardsim --help failed"
for page in trevnactl trevna-cardsim; do
  [ -s "$work/debroot/usr/share/man/man1/$page.1.gz" ] || fail "no man page for $page"
done
dpkg-deb -f "$deb" Depends | grep -q "libc6" || fail "the package declares no dependency on libc6"
record deb_package

# --- the Ansible collection --------------------------------------------------------------
status=0
galaxy="$work/galaxy"
ansible-galaxy collection install "$work/a/trevna-cards-$version.tar.gz" -p "$galaxy" >"$work/galaxy.log" 2>&1 ||
  { cat "$work/galaxy.log" >&2; fail "ansible-galaxy collection install failed"; }
installed="$galaxy/ansible_collections/trevna/cards"
[ "$(sed -n 's/.*"version": *"\([^"]*\)".*/\1/p' "$installed/MANIFEST.json" | head -1)" = "$version" ] ||
  fail "the installed collection is not version $version"
for module in card_facts card_program card_password card_time card_network card_restart card_archive card_download; do
  ANSIBLE_COLLECTIONS_PATH="$galaxy" ansible-doc -t module "trevna.cards.$module" >/dev/null 2>&1 ||
    fail "ansible-doc does not find trevna.cards.$module in the installed collection"
done
for playbook in rollout backup; do
  [ -s "$installed/playbooks/$playbook.yml" ] || fail "the installed collection has no playbooks/$playbook.yml"
done
record ansible_collection

# --- the installer under Wine ------------------------------------------------------------
status=0
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
"$root/scripts/wine-prefix.sh" --no-window-manager >/dev/null || fail "no Wine prefix"
setup="$work/a/TrevnaConf-$version-setup.exe"
dir="$WINEPREFIX/drive_c/Program Files/TrevnaConf"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/TrevnaConf"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TrevnaConf'
installed_files() { (cd "$dir" 2>/dev/null && ls -1 | sort | paste -sd' '); }
wine "$setup" /S || fail "the installer failed"
for round in install upgrade; do
  [ "$(installed_files)" = "Help.pdf TrevnaConf.exe trevnactl.exe uninstall.exe" ] ||
    fail "$round: installed files are '$(installed_files)'"
  [ -f "$menu/TrevnaConf.lnk" ] || fail "$round: no Start-menu link"
  wine reg query "$key" /v DisplayVersion /reg:64 2>/dev/null | grep -qF "$version" || fail "$round: no uninstall entry"
  wine reg query "$key" /v UninstallString /reg:64 2>/dev/null | grep -q "uninstall.exe" || fail "$round: no UninstallString"
  [ "$round" = install ] && { wine "$setup" /S || fail "the upgrade failed"; }
done
wine "$dir/trevnactl.exe" selftest >/dev/null 2>&1 || fail "trevnactl.exe selftest failed"
# The installed program starts and shows its main window.
smoke_helper="$win/tests/close_window.exe"
[ -f "$smoke_helper" ] || smoke_helper="$(find "$win" -name close_window.exe | head -1)"
wine "$dir/TrevnaConf.exe" &
app=$!
wine "$smoke_helper" MainFrame TrevnaConf 90 --close >/dev/null 2>&1 || fail "the installed program showed no window"
for _ in $(seq 1 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null
# The uninstaller runs a copy of itself from the temporary folder: wait until it is done.
wine "$dir/uninstall.exe" /S
for _ in $(seq 1 600); do [ -e "$dir" ] || break; sleep 0.1; done
[ ! -e "$dir" ] || fail "the uninstaller left '$(installed_files)'"
[ ! -e "$menu" ] || fail "the uninstaller left the Start-menu folder"
wine reg query "$key" /reg:64 >/dev/null 2>&1 && fail "the uninstaller left the registry entry"
record installer_wine

{
  echo '<testsuite name="dist">'
  printf '%s\n' "${cases[@]}"
  echo '</testsuite>'
} >"$junit"
echo "dist: sizes: $(cd "$work/a" && stat -c '%n %s' * | paste -sd';')"
grep -q 'status="fail"' "$junit" && exit 1
exit 0
