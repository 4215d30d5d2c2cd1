#!/bin/bash
# The dropbear server of the openssh tests: Debian's dropbear (dropbear-bin) on 127.0.0.1, a free
# port, started and stopped by ctest (fixture "dropbear") around openssh_tests, natively and for the
# Wine run alike. Many cards run dropbear, whose channels and SCP timing differ from OpenSSH's.
#
#   dropbear-fixture.sh start DIR     start it; DIR/info then says host, port, user, password, log,
#                                     upload folder and the host key's SHA256 fingerprint (key=value
#                                     lines, as the sshd fixture writes them)
#   dropbear-fixture.sh stop DIR      stop it (DIR and its log stay for a look after a failure)
#
# Everything lives in DIR: RSA host key, log (-E: on stderr), pid. The one account it admits,
# trevna-dbtest, exists only for this server: nss_wrapper (LD_PRELOAD) gives dropbear a passwd and
# group file of its own, copies of the system's plus that account, whose password hash stands in
# the passwd entry itself (dropbear checks it as it would a shadow entry). The account has the uid
# of whoever runs the tests, so a login can do no more than the test run itself can; nothing is
# added to the system's accounts. The commands of a login run without the wrapper.
set -euo pipefail
action=${1:?start or stop}
dir=${2:?folder}
user=trevna-dbtest
password="Trevna-db-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"

fixture=dropbear-fixture
# shellcheck source=fixture-lib.sh
source "$(dirname "$0")/fixture-lib.sh"

listening() {
  python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1).close()' "$1" 2>/dev/null
}

start() {
  [ -x /usr/sbin/dropbear ] || { echo "dropbear-fixture: /usr/sbin/dropbear missing (dropbear-bin: scripts/setup-system.sh)" >&2; exit 1; }
  local wrapper port hash fingerprint
  wrapper=$(nss_wrapper)
  stop
  rm -rf "$dir"
  mkdir -p "$dir/home" "$dir/upload"
  dropbearkey -t rsa -s 2048 -f "$dir/host_rsa_key" >"$dir/host_key.txt" 2>&1
  fingerprint=$(sed -n 's/^Fingerprint: //p' "$dir/host_key.txt")
  hash=$(openssl passwd -6 "$password")
  { grep -v "^$user:" /etc/passwd; echo "$user:$hash:$(id -u):$(id -g):TrevnaConf test account:$dir/home:/bin/sh"; } >"$dir/passwd"
  cp /etc/group "$dir/group"

  for _ in 1 2 3; do
    port=$(free_port)
    : >"$dir/dropbear.log"
    # -F -E: in the foreground, logging to stderr; -m: no message of the day; -j -k: no port
    # forwarding; -P: its pid file.
    LD_PRELOAD="$wrapper" NSS_WRAPPER_PASSWD="$dir/passwd" NSS_WRAPPER_GROUP="$dir/group" \
      setsid /usr/sbin/dropbear -F -E -m -j -k -p "127.0.0.1:$port" -r "$dir/host_rsa_key" -P "$dir/dropbear.pid" \
      </dev/null >>"$dir/dropbear.log" 2>&1 &
    echo $! >"$dir/fixture.pid"
    for _ in $(seq 1 200); do
      if grep -q "Not backgrounding" "$dir/dropbear.log" && listening "$port"; then
        printf 'host=127.0.0.1\nport=%s\nuser=%s\npassword=%s\nlog=%s\nupload=%s\nfingerprint=%s\n' \
          "$port" "$user" "$password" "$dir/dropbear.log" "$dir/upload" "$fingerprint" >"$dir/info"
        echo "dropbear-fixture: $(/usr/sbin/dropbear -V 2>&1 | head -n 1) on 127.0.0.1:$port, log $dir/dropbear.log"
        return 0
      fi
      kill -0 "$(cat "$dir/fixture.pid")" 2>/dev/null || break
      sleep 0.1
    done
    stop
    echo "dropbear-fixture: dropbear did not start on port $port:" >&2
    tail -n 20 "$dir/dropbear.log" >&2
  done
  exit 1
}

case $action in
start) start ;;
stop) stop ;;
*) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
