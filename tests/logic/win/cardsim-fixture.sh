#!/bin/bash
# The simulated card of the logic window tests (output test and tuning against a live stream):
# the native trevna-cardsim on its own loopback address and free ports, started and stopped by
# ctest (fixture "logic_cardsim") around logic_win_tests.
#
#   cardsim-fixture.sh start DIR SIMULATOR   start it; DIR/info then holds address=, ssh=,
#                                            stream=, log= (key=value lines)
#   cardsim-fixture.sh stop DIR              stop it (DIR and its log stay for a look)
set -euo pipefail
action=${1:?start or stop}
dir=${2:?folder}
address=127.0.0.13

stop() {
  if [ -f "$dir/fixture.pid" ]; then
    local pid
    pid=$(cat "$dir/fixture.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$dir/fixture.pid"
  fi
}

start() {
  local simulator=${1:?simulator program}
  [ -x "$simulator" ] || { echo "cardsim-fixture: $simulator missing (build the native preset's trevna-cardsim)" >&2; exit 1; }
  stop
  rm -rf "$dir"
  mkdir -p "$dir/state"
  "$simulator" --address "$address" --state "$dir/state" --user serwis --password trevna22 --ssh-port 0 \
    --stream-port 0 --restart-seconds 1 --announce-to 127.0.0.1:9 >"$dir/out" 2>&1 &
  echo $! >"$dir/fixture.pid"
  local line=""
  for _ in $(seq 1 1200); do
    line=$(grep -m1 "^ready $address " "$dir/out" || true)
    [ -n "$line" ] && break
    kill -0 "$(cat "$dir/fixture.pid")" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$line" ]; then
    echo "cardsim-fixture: the simulator did not become ready:" >&2
    cat "$dir/out" >&2
    stop
    exit 1
  fi
  local stream=${line#*stream=} ssh=${line#*ssh=}
  stream=${stream%% *}
  ssh=${ssh%% *}
  printf 'address=%s\nssh=%s\nstream=%s\nlog=%s\n' "$address" "$ssh" "$stream" "$dir/state/$address/log.jsonl" \
    >"$dir/info"
}

case "$action" in
  start) start "${3:-}" ;;
  stop) stop ;;
  *) echo "cardsim-fixture: start or stop" >&2; exit 2 ;;
esac
