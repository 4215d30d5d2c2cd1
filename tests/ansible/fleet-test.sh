#!/bin/bash
# The collection trevna.cards driven by ansible-playbook against simulated cards: one
# trevna-cardsim process with 20 cards (inventory group fleet) and a second one with a spare
# card (group spare) that gets a new host key and is then stopped. The cases run in table
# order, each on the state the ones before left: ansible-playbook's recap must show the
# expected number of changes and exactly the expected failed hosts, its output the expected
# text, and a case's own check (a function) what the cards and the disk hold afterwards.
# Every trevnactl call goes through a wrapper that records its command line, so a password
# on a command line is caught.
# Usage: fleet-test.sh TREVNACTL TREVNA_CARDSIM
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
trevnactl="$(readlink -f "$1")" cardsim="$(readlink -f "$2")"
for program in ansible-playbook "$trevnactl" "$cardsim"; do
  command -v "$program" >/dev/null || { echo "fleet-test: $program not found (scripts/setup-system.sh installs ansible-core)" >&2; exit 1; }
done
work="$(mktemp -d "${TMPDIR:-/tmp}/trevna-ansible.XXXXXX")"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

old_password="trevna-$RANDOM$RANDOM"
new_password="rotated-$RANDOM$RANDOM"
state="$work/state"
fleet=() spare_address=127.0.0.141
for i in $(seq 121 140); do fleet+=("127.0.0.$i"); done
# Announcements go to a port nobody listens on, so no other test's discovery sees these cards.
announce="127.0.0.1:$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"

# start_cards NAME COUNT SSH_PORT ARGS...: starts a simulator and waits (at most 180 s) for its
# COUNT ready lines. Known keys are remembered per address and port, so a card that comes back
# keeps its port.
start_cards() {
  local name="$1" count="$2" port="$3"; shift 3
  rm -f "$work/$name.out"  # a restarted card's old ready line does not count
  "$cardsim" --state "$state" --user serwis --password "$old_password" --ssh-port "$port" --stream-port 0 \
    --announce-to "$announce" --restart-seconds 1 "$@" >"$work/$name.out" 2>"$work/$name.err" &
  local pid=$!
  pids+=("$pid")
  eval "${name}_pid=$pid"
  local deadline=$((SECONDS + 180))
  local ready
  # The simulator's output file appears when the child has started, maybe after the first look.
  while ready="$(grep -c '^ready ' "$work/$name.out" 2>/dev/null)"; [ "${ready:-0}" -lt "$count" ]; do
    if ! kill -0 "$pid" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
      echo "fleet-test: simulator $name did not get ready" >&2; cat "$work/$name.err" >&2; exit 1
    fi
    sleep 0.2
  done
}
port_of() { awk -v a="$1" '$1 == "ready" && $2 == a {sub("ssh=", "", $3); p = $3} END {print p}' "$work"/*.out.current; }

# The inventory, written again whenever the spare card comes back on another port.
write_inventory() {
  cat "$work/fleet.out" >"$work/fleet.out.current"
  cat "$work/spare.out" >"$work/spare.out.current" 2>/dev/null
  {
    echo "spare:"
    echo "  hosts:"
    printf '    card21: {ansible_host: %s, card_ssh_port: %s}\n' "$spare_address" "$(port_of "$spare_address")"
    echo "fleet:"
    echo "  hosts:"
    local n=1
    for address in "${fleet[@]}"; do
      printf '    card%02d: {ansible_host: %s, card_ssh_port: %s}\n' "$n" "$address" "$(port_of "$address")"
      n=$((n + 1))
    done
    echo "all:"
    echo "  vars:"
    echo "    ansible_connection: local"
    echo "    ansible_python_interpreter: \"{{ ansible_playbook_python }}\""
    echo "    card_user: serwis"
    echo "    card_password: $old_password"
    echo "    card_timeout: 20"
    echo "    card_restart_step_ms: 30"
    echo "    trevnactl: $work/trevnactl"
    echo "    known_cards: $work/known_cards"
  } >"$work/inventory.yml"
}

cat >"$work/trevnactl" <<SCRIPT
#!/bin/bash
# Records each command line (and the mode of a new-password file) before running trevnactl.
{
  echo "ARGV \$*"
  previous=""
  for arg; do
    [ "\$previous" = --new-password-file ] && echo "SECRETFILE \$arg \$(stat -c %a "\$arg")"
    previous="\$arg"
  done
} >>"$work/argv.log"
exec "$trevnactl" "\$@"
SCRIPT
chmod 755 "$work/trevnactl"

# Two documents whose programs differ in one output definition.
python3 - "$here/document.json" "$work" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
json.dump(doc, open(sys.argv[2] + '/a.json', 'w'))
doc['outputs'][3] = 'D2'
json.dump(doc, open(sys.argv[2] + '/b.json', 'w'))
PY
for d in a b; do
  "$trevnactl" import-json "$work/$d.json" "$work/$d.trv" >/dev/null || { echo "fleet-test: import-json failed" >&2; exit 1; }
done

start_cards fleet 20 0 $(printf -- '--address %s ' "${fleet[@]}")
start_cards spare 1 0 --address "$spare_address" --clock-offset 120
write_inventory

export ANSIBLE_COLLECTIONS_PATH="$root/ansible" ANSIBLE_FORKS=21 ANSIBLE_PIPELINING=1 ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 \
  ANSIBLE_LOCAL_TEMP="$work/ansible-tmp" ANSIBLE_HOME="$work/ansible-home" ANSIBLE_STDOUT_CALLBACK=default \
  ANSIBLE_DEPRECATION_WARNINGS=0 ANSIBLE_LOCALHOST_WARNING=0 ANSIBLE_INVENTORY_UNPARSED_WARNING=0
rollout="$root/ansible/ansible_collections/trevna/cards/playbooks/rollout.yml"
backup="$root/ansible/ansible_collections/trevna/cards/playbooks/backup.yml"
cards="$here/cards.yml"

# --- the checks of single cases ---------------------------------------------------------------
programs_are() {  # every fleet card holds document $1
  local address
  for address in "${fleet[@]}"; do cmp -s "$state/$address/program.doz" "$work/$1.trv" || return 1; done
}
snapshot() { (cd "$state" && md5sum ./*/program.doz) >"$work/$1.md5"; }
fleet_holds_a() { programs_are a; }
snapshot_fleet() { programs_are a && snapshot before-check; }
fleet_unchanged() { snapshot after-check && cmp -s "$work/before-check.md5" "$work/after-check.md5" && programs_are a; }
restart_spare() {  # ARGS...: the spare card again, on its port, with these options
  kill "$spare_pid"; wait "$spare_pid" 2>/dev/null
  start_cards spare 1 "$(port_of "$spare_address")" --address "$spare_address" --clock-offset 120 "$@"
  write_inventory
}
new_key_on_spare() { restart_spare --new-host-key; }
spare_refuses_rename() { restart_spare --fault fail-command=mv; }
stop_spare() { kill "$spare_pid"; wait "$spare_pid" 2>/dev/null; return 0; }
secrets_kept() {  # no password on a command line; the new one went through a 0600 file, now removed
  ! grep -F -e "$old_password" -e "$new_password" "$work/argv.log" &&
    ! grep -F -e "$old_password" -e "$new_password" "$work/rotate.log" &&
    grep -q '^SECRETFILE .* 600$' "$work/argv.log" &&
    ! ls "$(awk '/^SECRETFILE/ {print $2; exit}' "$work/argv.log")" 2>/dev/null
}
recordings() {  # $1 files under backup/card02 and backup/card03
  [ "$(find "$work/backup/card02" "$work/backup/card03" -name '*.avi' -size +0 | wc -l)" -eq "$1" ]
}
all_recordings() { recordings 12; }  # three days of two recordings per card
program_backups() {
  for card in card02 card03; do
    ls "$work/backup/$card"/program-*.trv >/dev/null 2>&1 || return 1
    cmp -s "$work/backup/$card"/program-*.trv "$work/a.trv" || return 1
  done
}
restarts() { [ "$(grep -c '"event":"restart"' "$state/${fleet[4]}/log.jsonl")" -eq "$1" ]; }  # of card05
restarts_1() { restarts 1; }
restarts_2() { restarts 2; }
restarts_3() { restarts 3; }
net="-e net_ipaddr=${fleet[4]} -e net_netmask=255.0.0.0"
none() { return 0; }

# --- the cases, in order ------------------------------------------------------------------------
# name | before | playbook | hosts | ansible-playbook arguments | changes | failed hosts | output text | check
cases=(
  "first_run|none|$rollout|fleet|-e document=$work/a.trv -e batch=19|20|||fleet_holds_a"
  "one_card_per_task|none|$cards|card01|-e op=facts -e ansible_host=${fleet[0]},${fleet[1]}|0|card01|host must be one card address|none"
  "first_contact|none|$cards|spare|-e op=facts|0|||none"
  "changed_key|new_key_on_spare|$cards|card01:card02:spare|-e op=facts|0|card21|\"step\": \"hostkey\"|none"
  "changed_key_message|none|$cards|spare|-e op=facts|0|card21|Klucz karty się zmienił|none"
  "accept_new_key|none|$cards|spare|-e op=facts -e card_host_key=accept_new|0|||none"
  "new_key_known|none|$cards|spare|-e op=facts|0|||none"
  "time_sync|none|$cards|spare|-e op=time|1|||none"
  "time_in_step|none|$cards|spare|-e op=time|0|||none"
  "failed_canary_stops_rollout|spare_refuses_rename|$rollout|all|-e document=$work/b.trv|0|card21|\"step\": \"rename\"|fleet_holds_a"
  "second_run_one_card_stopped|stop_spare|$cards|all|-e op=program -e document=$work/a.trv|0|card21|\"step\": \"connect\"|snapshot_fleet"
  "check_mode|none|$cards|fleet|-e op=program -e document=$work/b.trv --check --diff|20||+Y4 = D2|fleet_unchanged"
  "rotate|none|$cards|card01|-e op=password -e new_password=$new_password -vvv|1|||secrets_kept"
  "new_password_logs_in|none|$cards|card01|-e op=facts -e card_password=$new_password|0|||none"
  "old_password_refused|none|$cards|card01|-e op=facts|0|card01|\"step\": \"login\"|none"
  "rotate_again|none|$cards|card01|-e op=password -e new_password=$new_password|0|||none"
  "network_same|none|$cards|card05|-e op=network $net -e net_gateway=127.0.0.1|0|||restarts_1"
  "network_check|none|$cards|card05|-e op=network $net -e net_gateway=127.0.0.254 --check --diff|1||+    \"gateway\": \"127.0.0.254\"|restarts_1"
  "network_set|none|$cards|card05|-e op=network $net -e net_gateway=127.0.0.254|1|||restarts_2"
  "network_again|none|$cards|card05|-e op=network $net -e net_gateway=127.0.0.254|0|||restarts_2"
  "restart_check|none|$cards|card05|-e op=restart --check|1|||restarts_2"
  "restart|none|$cards|card05|-e op=restart|1|||restarts_3"
  "archive_check|none|$cards|card02:card03|-e op=archive -e backup_dir=$work/backup --check|2|||none"
  "archive_first|none|$cards|card02:card03|-e op=archive -e backup_dir=$work/backup|2|||all_recordings"
  "archive_again|none|$cards|card02:card03|-e op=archive -e backup_dir=$work/backup|0|||all_recordings"
  "archive_check_again|none|$cards|card02:card03|-e op=archive -e backup_dir=$work/backup --check|0|||none"
  "backup_play|none|$backup|card02:card03|-e backup_dir=$work/backup|2|||program_backups"
  "backup_again|none|$backup|card02:card03|-e backup_dir=$work/backup|0|||program_backups"
)

failures=0
for row in "${cases[@]}"; do
  IFS='|' read -r name before playbook hosts args want_changed want_failed want_text check <<<"$row"
  "$before"
  started=$SECONDS
  # shellcheck disable=SC2086  # the arguments column is split on purpose
  ansible-playbook -i "$work/inventory.yml" -e "cards=$hosts" $args "$playbook" >"$work/$name.log" 2>&1
  changed="$(awk '/ : ok=/ {for (i = 1; i <= NF; i++) if ($i ~ /^changed=/) {sub("changed=", "", $i); n += $i}} END {print n + 0}' "$work/$name.log")"
  failed="$(awk '/ : ok=/ {for (i = 1; i <= NF; i++) if ($i ~ /^(failed|unreachable)=[1-9]/) {print $1; break}}' "$work/$name.log" | sort | paste -sd,)"
  problems=()
  [ "$changed" = "$want_changed" ] || problems+=("changed $changed, expected $want_changed")
  [ "$failed" = "$want_failed" ] || problems+=("failed hosts '$failed', expected '$want_failed'")
  grep -q ' : ok=' "$work/$name.log" || problems+=("no recap")
  if [ -n "$want_text" ] && ! grep -qF -- "$want_text" "$work/$name.log"; then problems+=("no '$want_text' in the output"); fi
  "$check" || problems+=("check $check failed")
  if [ ${#problems[@]} -eq 0 ]; then
    echo "ansible $name: ok ($((SECONDS - started)) s)"
  else
    failures=$((failures + 1))
    echo "ansible $name: FAILED ($((SECONDS - started)) s): ${problems[*]}"
    sed 's/^/    /' "$work/$name.log" | tail -40
  fi
done
echo "ansible: $(( ${#cases[@]} - failures )) passed, $failures failed"
[ "$failures" -eq 0 ]
