#!/bin/bash
# The simulated cards of the main frame's Wine tests: two trevna-cardsim processes on loopback,
# started and stopped by ctest (fixture "frame_cards") around shell_win_tests.
#
#   cardsim-fixture.sh start DIR SIMULATOR   start them; DIR/info then says, one per line,
#                                            "normal 127.0.0.2 PORT", "stalled 127.0.0.3 PORT"
#                                            (SCP never answered), "state FOLDER", "user U",
#                                            "password P", "stream PORT" (the normal card's
#                                            live stream), "announce PORT" (where the normal card,
#                                            "Symulator 1", announces itself)
#   cardsim-fixture.sh stop DIR              stop them (DIR and the cards' logs stay)
set -euo pipefail
action=${1:?start or stop}
dir=${2:?folder}
user=serwis
password=trevna22

stop() {
  local f pid
  for f in "$dir"/*.pid; do
    [ -f "$f" ] || continue
    pid=$(cat "$f")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$f"
  done
}

free_udp_port() {
  python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("", 0)); print(s.getsockname()[1])'
}

# start_card NAME ADDRESS ANNOUNCE_PORT [simulator options...]: prints the card's SSH port once
# it is ready.
start_card() {
  local name=$1 address=$2 announce=$3
  shift 3
  "$sim" --address "$address" --state "$dir/state" --user "$user" --password "$password" --ssh-port 0 \
    --stream-port 0 --restart-seconds 1 --announce-to "127.0.0.1:$announce" "$@" >"$dir/$name.out" 2>&1 &
  echo $! >"$dir/$name.pid"
  for _ in $(seq 1 1200); do
    if grep -q "^ready $address" "$dir/$name.out"; then
      sed -n "s/^ready $address ssh=\([0-9]*\).*/\1/p" "$dir/$name.out" | head -n 1
      return 0
    fi
    kill -0 "$(cat "$dir/$name.pid")" 2>/dev/null || break
    sleep 0.1
  done
  echo "cardsim-fixture: $name card did not start; its output:" >&2
  cat "$dir/$name.out" >&2
  return 1
}

case "$action" in
  start)
    sim=${3:?simulator program}
    [ -x "$sim" ] || { echo "cardsim-fixture: $sim missing (make native builds it)" >&2; exit 1; }
    stop
    rm -rf "$dir"
    mkdir -p "$dir/state"
    announce=$(free_udp_port)
    normal=$(start_card normal 127.0.0.2 "$announce")
    stalled=$(start_card stalled 127.0.0.3 9 --fault stall-command=scp)
    stream=$(sed -n 's/^ready 127.0.0.2 .*stream=\([0-9]*\).*/\1/p' "$dir/normal.out" | head -n 1)
    printf 'normal 127.0.0.2 %s\nstalled 127.0.0.3 %s\nstate %s\nuser %s\npassword %s\nstream %s\nannounce %s\n' \
      "$normal" "$stalled" "$dir/state" "$user" "$password" "$stream" "$announce" >"$dir/info"
    ;;
  stop) stop ;;
  *) echo "cardsim-fixture: start or stop" >&2; exit 2 ;;
esac
