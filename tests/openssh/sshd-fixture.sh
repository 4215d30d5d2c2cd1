#!/bin/bash
# The OpenSSH server of the openssh tests: Debian's sshd on 127.0.0.1, a free port, started and
# stopped by ctest (fixture "sshd") around openssh_tests, natively and for the Wine run alike.
#
#   sshd-fixture.sh start DIR     start it; DIR/info then says host, port, user, password, log,
#                                 upload folder and the host key's SHA256 fingerprint as ssh-keygen
#                                 shows it (key=value lines)
#   sshd-fixture.sh stop DIR      stop it (DIR and its log stay for a look after a failure)
#
# Everything lives in DIR: config, RSA host key (RSA only, so that a login proves rsa-sha2),
# log (LogLevel DEBUG3, written to the file with -E: on stderr, a session's own debug lines would
# reach the commands' standard error), pid. No PAM. The one account it admits, trevna-sshtest,
# exists only for this sshd: nss_wrapper (LD_PRELOAD) gives it a passwd and group file of its
# own, copies of the system's plus that account, whose password hash sshd checks as it would a
# shadow entry. The account has the uid of whoever runs the tests, so a login can do no more
# than the test run itself can; nothing is added to the system's accounts.
set -euo pipefail
action=${1:?start or stop}
dir=${2:?folder}
user=trevna-sshtest
password="Trevna-ssh-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"

fixture=sshd-fixture
# shellcheck source=fixture-lib.sh
source "$(dirname "$0")/fixture-lib.sh"

start() {
  [ -x /usr/sbin/sshd ] || { echo "sshd-fixture: /usr/sbin/sshd missing (scripts/setup-system.sh)" >&2; exit 1; }
  local wrapper port hash
  wrapper=$(nss_wrapper)
  stop
  rm -rf "$dir"
  mkdir -p "$dir/home" "$dir/upload"
  ssh-keygen -q -t rsa -b 3072 -N '' -C trevna-test-host -f "$dir/host_rsa_key"
  hash=$(openssl passwd -6 "$password")
  { grep -v "^$user:" /etc/passwd; echo "$user:$hash:$(id -u):$(id -g):TrevnaConf test account:$dir/home:/bin/sh"; } >"$dir/passwd"
  cp /etc/group "$dir/group"
  # sshd, started as root, keeps its unprivileged half in this (empty) folder; the package's
  # boot-time set-up makes it, which a container may never have run.
  if [ "$(id -u)" -eq 0 ] && [ ! -d /run/sshd ]; then mkdir -m 0755 /run/sshd; fi

  for _ in 1 2 3; do
    port=$(free_port)
    cat >"$dir/sshd_config" <<CONFIG
ListenAddress 127.0.0.1:$port
HostKey $dir/host_rsa_key
PidFile $dir/sshd.pid
LogLevel DEBUG3
UsePAM no
AllowUsers $user
PasswordAuthentication yes
PermitEmptyPasswords no
KbdInteractiveAuthentication no
PubkeyAuthentication no
AuthorizedKeysFile none
PermitRootLogin yes
StrictModes no
UseDNS no
PrintMotd no
PrintLastLog no
X11Forwarding no
AllowTcpForwarding no
AllowAgentForwarding no
PermitTunnel no
CONFIG
    : >"$dir/sshd.log"
    LD_PRELOAD="$wrapper" NSS_WRAPPER_PASSWD="$dir/passwd" NSS_WRAPPER_GROUP="$dir/group" \
      setsid /usr/sbin/sshd -D -E "$dir/sshd.log" -f "$dir/sshd_config" </dev/null >>"$dir/sshd.log" 2>&1 &
    echo $! >"$dir/fixture.pid"
    for _ in $(seq 1 200); do
      if grep -q "Server listening on 127.0.0.1 port $port" "$dir/sshd.log"; then
        printf 'host=127.0.0.1\nport=%s\nuser=%s\npassword=%s\nlog=%s\nupload=%s\nfingerprint=%s\n' \
          "$port" "$user" "$password" "$dir/sshd.log" "$dir/upload" \
          "$(ssh-keygen -l -E sha256 -f "$dir/host_rsa_key.pub" | awk '{print $2}')" >"$dir/info"
        echo "sshd-fixture: $(/usr/sbin/sshd -V 2>&1 | head -n 1) on 127.0.0.1:$port, log $dir/sshd.log"
        return 0
      fi
      kill -0 "$(cat "$dir/fixture.pid")" 2>/dev/null || break
      sleep 0.1
    done
    stop
    echo "sshd-fixture: sshd did not start on port $port:" >&2
    tail -n 20 "$dir/sshd.log" >&2
  done
  exit 1
}

case $action in
start) start ;;
stop) stop ;;
*) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
