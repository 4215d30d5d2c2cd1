#!/bin/bash
# ansible-test sanity on the collection trevna.cards, with nothing fetched from the network.
# Debian's ansible-test runs the tests that need Python packages (validate-modules, pep8,
# yamllint, ansible-doc, import, runtime-metadata, pylint) only in virtual environments it
# fills with pip from the internet, so ansible-test runs every other test, and this script
# runs the same checkers ansible-test would, with the same settings, from Debian's packages:
# validate-modules (python3-voluptuous), pycodestyle, the YAML linter of ansible-test
# (yamllint), ansible-doc and an import of every plugin. pylint is left out.
# Usage: sanity.sh   (exit status 0 when every check passes)
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$here/../../ansible/ansible_collections/trevna/cards"
for program in ansible-test ansible-doc pycodestyle yamllint; do
  command -v "$program" >/dev/null || { echo "sanity: $program not found (scripts/setup-system.sh installs it)" >&2; exit 1; }
done
# The Python that runs Ansible, which has its modules and the checkers' libraries.
python="$(sed -n '1s/^#! *//p' "$(command -v ansible-test)" | awk '{print $1}')"
[ -x "$python" ] || python=/usr/bin/python3
sanity_root="$("$python" -c 'import ansible_test, os; print(os.path.join(os.path.dirname(ansible_test.__file__), "_util/controller/sanity"))')"
version="$(sed -n 's/^version: *//p' "$source_dir/galaxy.yml")"

# ansible-test wants the collection at .../ansible_collections/NAMESPACE/NAME and writes
# tests/output there: a copy keeps the tree clean.
work="$(mktemp -d "${TMPDIR:-/tmp}/trevna-sanity.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ansible_collections/trevna"
cp -r "$source_dir" "$work/ansible_collections/trevna/cards"
cd "$work/ansible_collections/trevna/cards" || exit 1
export ANSIBLE_COLLECTIONS_PATH="$work" ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_HOME="$work/home"

failures=0
check() {  # name command...: runs one checker; its output is shown when it fails
  local name="$1"; shift
  if "$@" >"$work/$name.log" 2>&1; then
    echo "sanity $name: ok"
  else
    failures=$((failures + 1))
    echo "sanity $name: FAILED"
    sed 's/^/    /' "$work/$name.log"
  fi
}
empty_output() { local out; out="$("$@" 2>&1)" || { echo "$out"; return 1; }; [ -z "$out" ] || { echo "$out"; return 1; }; }

venv_tests=ansible-doc,import,pep8,pylint,runtime-metadata,validate-modules,yamllint
skips=()
for test in ${venv_tests//,/ }; do skips+=(--skip-test "$test"); done
check ansible-test ansible-test sanity --local --python-interpreter "$python" --color no "${skips[@]}"

modules=(plugins/modules/*.py)
plugins=("${modules[@]}" plugins/module_utils/*.py plugins/doc_fragments/*.py)
check validate-modules empty_output "$python" "$sanity_root/validate-modules/validate.py" --format plain --arg-spec \
  --collection ansible_collections/trevna/cards --collection-version "$version" "${modules[@]}"
check pep8 pycodestyle --max-line-length 160 \
  --ignore "$(grep -v '^#' "$sanity_root/pep8/current-ignore.txt" | grep . | sort | paste -sd,)" "${plugins[@]}"
yaml_lint() {  # the linter prints {"messages": [...]}
  "$python" "$sanity_root/yamllint/yamllinter.py" "$@" >"$work/yamllint.json" || return 1
  "$python" -c 'import json, sys; m = json.load(open(sys.argv[1]))["messages"]; print(*m, sep="\n"); sys.exit(1 if m else 0)' \
    "$work/yamllint.json"
}
check yamllint yaml_lint galaxy.yml meta/runtime.yml playbooks/*.yml "${plugins[@]}"
docs() {
  local module
  for module in "${modules[@]}"; do
    module="$(basename "$module" .py)"
    ansible-doc -t module "trevna.cards.$module" >/dev/null || return 1
  done
}
check ansible-doc docs
imports() {
  local plugin
  for plugin in "${plugins[@]}"; do
    plugin="${plugin%.py}"
    PYTHONPATH="$work" "$python" -c "import ansible_collections.trevna.cards.${plugin//\//.}" || return 1
  done
}
check import imports
[ "$failures" -eq 0 ]
