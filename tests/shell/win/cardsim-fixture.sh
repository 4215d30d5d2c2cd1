#!/bin/bash
# The simulated cards of the main frame's Wine tests: two trevna-cardsim processes on loopback,
# started and stopped by ctest (fixture "frame_cards") around shell_win_tests.
#
#   cardsim-fixture.sh start DIR SIMULATOR   start them; DIR/info then says, one per line,
#                                            "normal 127.0.0.2 PORT", "stalled 127.0.0.3 PORT"
#                                            (SCP never answered), "state FOLDER", "user U",
#                                            "password P"
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

# start_card NAME ADDRESS [simulator options...]: prints the card's SSH port once it is ready.
start_card() {
  local name=$1 address=$2
  shift 2
  "$sim" --address "$address" --state "$dir/state" --user "$user" --password "$password" --ssh-port 0 \
    --stream-port 0 --restart-seconds 1 --announce-to 127.0.0.1:9 "$@" >"$dir/$name.out" 2>&1 &
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
    normal=$(start_card normal 127.0.0.2)
    stalled=$(start_card stalled 127.0.0.3 --fault stall-command=scp)
    printf 'normal 127.0.0.2 %s\nstalled 127.0.0.3 %s\nstate %s\nuser %s\npassword %s\n' "$normal" "$stalled" \
      "$dir/state" "$user" "$password" >"$dir/info"
    ;;
  stop) stop ;;
  *) echo "cardsim-fixture: start or stop" >&2; exit 2 ;;
esac
