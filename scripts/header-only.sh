#!/bin/bash
# The MinGW build sees the header-only libraries (CLI11, nlohmann-json) through a folder that
# holds only them, never the whole host include tree.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
target="$root/.cache/header-only/include"
mkdir -p "$target"
for dir in CLI nlohmann; do
  if [ ! -d "/usr/include/$dir" ]; then
    echo "header-only: /usr/include/$dir missing (run scripts/setup-system.sh)" >&2
    exit 1
  fi
  if ! diff -rq "/usr/include/$dir" "$target/$dir" >/dev/null 2>&1; then
    rm -rf "${target:?}/$dir"
    cp -r "/usr/include/$dir" "$target/$dir"
  fi
done
