#!/bin/bash
# The simulated cards of the window tests: programs under Wine cannot start the native
# trevna-cardsim themselves, so ctest starts the cards around them with this script and the
# test programs read what they need from DIR/info (tests/support/card_fixture.h).
#
#   cardsim-fixture.sh start DIR SIMULATOR --card NAME ADDRESS [OPTION...] [--card ...]
#   cardsim-fixture.sh stop DIR      stop every card (DIR, the cards' folders and logs stay)
#
# Each card is a simulator process of its own on ADDRESS, so a fault (--fault ...) touches that
# card alone; OPTIONs go to its simulator as they are (--alias, --fault, --announce-to ...). All
# cards answer SSH on one port and stream on one port, as real cards do, and announce themselves
# to one UDP port unless a card names its own --announce-to. DIR/info, key=value lines:
#   ssh=PORT  stream=PORT  announce=PORT  user=U  password=P  state=FOLDER (DIR/state: one
#   folder per card address, with its log.jsonl)  card.NAME=ADDRESS (one line per card)
# $TREVNA_CARDSIM names another simulator program than SIMULATOR.
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
    for _ in $(seq 1 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$f"
  done
}

# A port free on every address at the moment (tcp or udp).
free_port() {
  python3 -c 'import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM if sys.argv[1] == "udp" else socket.SOCK_STREAM)
s.bind(("", 0)); print(s.getsockname()[1])' "$1"
}

# Starts every card on the given ports and waits until each is ready: 0 when all are, 1 when a
# card's simulator ended first (for instance because another program took a port in between),
# 2 when one did not answer in time.
start_cards() {
  local i name address announce_option pid
  for i in "${!names[@]}"; do
    name=${names[$i]}
    address=${addresses[$i]}
    # shellcheck disable=SC2206  # the options were stored one per element, with \x1f between
    IFS=$'\x1f' read -r -a card_options <<<"${options[$i]}"
    announce_option=(--announce-to "127.0.0.1:$announce")
    for o in "${card_options[@]}"; do [ "$o" = --announce-to ] && announce_option=(); done
    "$simulator" --address "$address" --state "$dir/state" --user "$user" --password "$password" \
      --ssh-port "$ssh" --stream-port "$stream" --restart-seconds 1 "${announce_option[@]}" \
      ${card_options[@]+"${card_options[@]}"} >"$dir/$name.out" 2>&1 &
    echo $! >"$dir/$name.pid"
  done
  for _ in $(seq 1 1200); do
    local ready=0
    for i in "${!names[@]}"; do
      name=${names[$i]}
      if grep -q "^ready ${addresses[$i]} " "$dir/$name.out"; then
        ready=$((ready + 1))
      elif ! kill -0 "$(cat "$dir/$name.pid")" 2>/dev/null; then
        echo "cardsim-fixture: card $name (${addresses[$i]}) ended; its output:" >&2
        cat "$dir/$name.out" >&2
        return 1
      fi
    done
    [ "$ready" -eq "${#names[@]}" ] && return 0
    sleep 0.1
  done
  for i in "${!names[@]}"; do
    echo "cardsim-fixture: card ${names[$i]} is not ready; its output:" >&2
    cat "$dir/${names[$i]}.out" >&2
  done
  return 2
}

start() {
  simulator=${TREVNA_CARDSIM:-${1:?simulator program}}
  shift
  [ -x "$simulator" ] || { echo "cardsim-fixture: $simulator missing (the native build makes it)" >&2; exit 1; }
  names=() addresses=() options=()
  while [ $# -gt 0 ]; do
    [ "$1" = --card ] && [ $# -ge 3 ] || { echo "cardsim-fixture: expected --card NAME ADDRESS, got: $*" >&2; exit 2; }
    case "$2" in ''|*[!A-Za-z0-9_]*) echo "cardsim-fixture: card name '$2' is not a word" >&2; exit 2 ;; esac
    [[ "$3" =~ ^127\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "cardsim-fixture: $3 is not a loopback address" >&2; exit 2; }
    for n in "${names[@]}"; do [ "$n" != "$2" ] || { echo "cardsim-fixture: card $2 twice" >&2; exit 2; }; done
    names+=("$2")
    addresses+=("$3")
    shift 3
    local card_options=()
    while [ $# -gt 0 ] && [ "$1" != --card ]; do card_options+=("$1"); shift; done
    options+=("$(IFS=$'\x1f'; echo "${card_options[*]-}")")
  done
  [ ${#names[@]} -gt 0 ] || { echo "cardsim-fixture: no --card given" >&2; exit 2; }
  stop
  rm -rf "$dir"
  mkdir -p "$dir/state"
  # Another program may take a free port before the cards bind it: then start again on new ones.
  local attempt status
  for attempt in 1 2 3; do
    ssh=$(free_port tcp)
    stream=$(free_port tcp)
    announce=$(free_port udp)
    status=0
    start_cards || status=$?
    [ "$status" -eq 0 ] && break
    stop
    [ "$status" -eq 1 ] && [ "$attempt" -lt 3 ] || exit 1
  done
  {
    printf 'ssh=%s\nstream=%s\nannounce=%s\nuser=%s\npassword=%s\nstate=%s\n' \
      "$ssh" "$stream" "$announce" "$user" "$password" "$dir/state"
    for i in "${!names[@]}"; do printf 'card.%s=%s\n' "${names[$i]}" "${addresses[$i]}"; done
  } >"$dir/info.new"
  mv "$dir/info.new" "$dir/info"
}

case "$action" in
  start) shift 2; start "$@" ;;
  stop) stop ;;
  *) echo "cardsim-fixture: start or stop" >&2; exit 2 ;;
esac
