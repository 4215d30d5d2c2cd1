#!/bin/bash
# Starts one simulated card ("Symulator 1" on 127.0.0.2) and TrevnaConf.exe under Wine; stops
# the simulator when the program ends.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix-run}"
export WINEDEBUG="${WINEDEBUG:--all}"

sim="$root/build/release/trevna-cardsim"
sim_pid=""
if [ -x "$sim" ]; then
  ssh_port=22
  stream_port=25100
  if [ "$(id -u)" -ne 0 ]; then ssh_port=2222; fi
  user="serwis"
  password="trevna"
  mkdir -p "$root/build/run"
  "$sim" --address 127.0.0.2 --state "$root/build/run/cardsim" --user "$user" --password "$password" \
    --ssh-port "$ssh_port" --stream-port "$stream_port" >"$root/build/run/cardsim.log" 2>&1 &
  sim_pid=$!
  echo "Card simulator: Symulator 1 at 127.0.0.2 (SSH port $ssh_port), user \"$user\", password \"$password\""
  echo "  its log: build/run/cardsim.log"
fi

stop_simulator() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
}
trap stop_simulator EXIT

# Made on the first start, with Wine's own fonts (caption buttons, the editor's symbols).
"$root/scripts/wine-prefix.sh" || exit 1

exe="$root/build/windows/TrevnaConf.exe"
if [ -n "${DISPLAY:-}" ]; then
  wine "$exe"
else
  echo "No X display: running under Xvfb (nothing will be visible)."
  xvfb-run -a wine "$exe"
fi
