#!/bin/bash
# Starts trevna-cardsim for the window tests run under Wine (which cannot start the native
# simulator themselves) and stops it afterwards.
#   cardsim-fixture.sh start DIR SIMULATOR   two cards on 127.0.0.2 and 127.0.0.3; DIR/info holds
#                                            their ports and folders for the tests
#   cardsim-fixture.sh stop DIR
set -euo pipefail
command="$1"
dir="$2"

free_port() {
  python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM if "'"$1"'" == "udp" else socket.SOCK_STREAM); s.bind(("", 0)); print(s.getsockname()[1])'
}

case "$command" in
  start)
    simulator="${TREVNA_CARDSIM:-$3}"
    "$0" stop "$dir" || true
    rm -rf "$dir"
    mkdir -p "$dir/state"
    ssh_port=$(free_port tcp)
    stream_port=$(free_port tcp)
    announce_port=$(free_port udp)
    # The second card announces a 70-character alias, which the device list cuts at 63.
    long_alias="Brama wjazdowa numer dwa przy ulicy Kolejowej 12 od strony parkingu XY"
    "$simulator" --address 127.0.0.2 --address 127.0.0.3 --alias "Symulator 1" --alias "$long_alias" \
      --state "$dir/state" --user serwis --password trevna22 --ssh-port "$ssh_port" --stream-port "$stream_port" \
      --announce-to "127.0.0.1:$announce_port" --restart-seconds 1 >"$dir/output.txt" 2>&1 &
    echo $! >"$dir/pid"
    for _ in $(seq 1 600); do
      if [ "$(grep -c '^ready ' "$dir/output.txt" || true)" -ge 2 ]; then
        cat >"$dir/info" <<INFO
ssh_port=$ssh_port
stream_port=$stream_port
announce_port=$announce_port
user=serwis
password=trevna22
state=$dir/state
INFO
        exit 0
      fi
      kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
      sleep 0.2
    done
    echo "trevna-cardsim did not become ready:" >&2
    cat "$dir/output.txt" >&2
    exit 1
    ;;
  stop)
    if [ -f "$dir/pid" ]; then
      pid=$(cat "$dir/pid")
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 1 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
      kill -9 "$pid" 2>/dev/null || true
      rm -f "$dir/pid"
    fi
    ;;
esac
