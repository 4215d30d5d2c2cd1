#!/bin/bash
# Installs the Debian packages the project needs, when any is missing. Idempotent and quick
# when everything is there already.
set -euo pipefail

packages=(
  # native build, tests, benchmarks and fuzzing
  cmake ninja-build pkg-config g++ clang libclang-rt-14-dev python3
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libssl-dev libjpeg62-turbo-dev libcli11-dev nlohmann-json3-dev libssh-dev
  # static libssh2 and the Windows libraries: scripts/deps.sh builds them from Debian sources
  # (libssh2 from trixie's, through its own apt state)
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  libz-mingw-w64-dev nasm dpkg-dev make perl patch xz-utils
  # running and testing the Windows programs
  wine wine64 fonts-wine xvfb xauth imagemagick
  # the card simulator's tests and the archive tests
  openssh-client ffmpeg
  # the SSH client's tests against OpenSSH's sshd and dropbear (tests/openssh/): the servers
  # (dropbear-bin is dropbear's program alone, without its service), a password hash for their
  # test accounts (openssl passwd) and nss_wrapper, which gives each server its account without
  # adding it to the system
  openssh-server dropbear-bin openssl libnss-wrapper
  # release files (make dist): the installer, the manual (Markdown -> PDF), the Linux package's
  # man pages, the zip, and the manual's checks
  nsis pandoc weasyprint fonts-dejavu-core help2man zip unzip poppler-utils
  # the Ansible collection (ansible/): ansible-playbook, ansible-galaxy and ansible-test, and the
  # checkers its sanity test runs without fetching anything (tests/ansible/sanity.sh)
  ansible-core yamllint pycodestyle python3-voluptuous
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup-system: all packages present"
  exit 0
fi

echo "setup-system: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# The tests need only the servers' programs. A server installed here is neither started nor
# enabled, so port 22 stays free for the simulated card of `make run`.
new_sshd=""
new_dropbear=""
blocked=""
if printf '%s\n' "${missing[@]}" | grep -qx openssh-server; then new_sshd=1; fi
if printf '%s\n' "${missing[@]}" | grep -qx dropbear-bin; then new_dropbear=1; fi
if [ -n "$new_sshd$new_dropbear" ]; then
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d >/dev/null
    $sudo chmod 755 /usr/sbin/policy-rc.d
    blocked=1
  fi
fi
status=0
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}" || status=$?
[ -n "$blocked" ] && $sudo rm -f /usr/sbin/policy-rc.d
if [ -n "$new_sshd" ] && [ -d /run/systemd/system ]; then
  $sudo systemctl disable --now ssh.service ssh.socket >/dev/null 2>&1 || true
fi
# dropbear-bin has no service of its own; one that came with it (dropbear-run) is stopped the same way.
if [ -n "$new_dropbear" ] && [ -d /run/systemd/system ]; then
  $sudo systemctl disable --now dropbear.service >/dev/null 2>&1 || true
fi
exit $status
